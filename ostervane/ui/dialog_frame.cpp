// The shared frame of the dialogs.
#include "ostervane/ui/dialog_frame.h"

#include <QVBoxLayout>

#include "ostervane/ui/about_dialog.h"
#include "ostervane/ui/artwork.h"
#include "ostervane/ui/dialog_units.h"

namespace ostervane::ui {

QWidget *SetUpDialog(QDialog *dialog, const DialogRect &size, DialogUnitBase *base) {
    QFont font = DialogFont();
    dialog->setFont(font);
    *base = UnitBase(font);
    dialog->setWindowIcon(ProgramIcon());
    auto *layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto *body = new QWidget(dialog);
    body->setFixedSize(PixelSize(size, *base));
    layout->addWidget(body);
    return body;
}

QMenuBar *AddHelpMenu(QDialog *dialog) {
    auto *bar = new QMenuBar(dialog);
    QMenu *help = bar->addMenu(QStringLiteral("Help"));
    QAction *about = help->addAction(QStringLiteral("About Ostervane"));
    about->setObjectName(QStringLiteral("aboutAction"));
    QObject::connect(about, &QAction::triggered, dialog, [dialog] {
        AboutDialog box(dialog);
        box.exec();
    });
    dialog->layout()->setMenuBar(bar);
    return bar;
}

QLabel *AddBanner(QWidget *body, const DialogRect &units, const DialogUnitBase &base) {
    auto *banner = new QLabel(body);
    banner->setObjectName(QStringLiteral("banner"));
    QPixmap picture = BannerPixmap();
    banner->setPixmap(picture);
    DialogRect pixels = ToPixels(units, base);
    banner->setGeometry(pixels.x, pixels.y, picture.width(), picture.height());
    return banner;
}

} // namespace ostervane::ui
