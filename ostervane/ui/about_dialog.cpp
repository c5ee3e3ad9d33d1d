// AboutDialog's controls.
#include "ostervane/ui/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "ostervane/ui/artwork.h"
#include "ostervane/ui/dialog_frame.h"
#include "ostervane/ui/dialog_units.h"

namespace ostervane::ui {

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent) {
    DialogUnitBase base;
    QWidget *body = SetUpDialog(this, layout::kAboutDialog, &base);
    setWindowTitle(QStringLiteral("About Ostervane"));

    auto *icon = new QLabel(body);
    icon->setPixmap(IconPixmap(32));
    DialogRect iconAt = ToPixels(layout::kAboutIcon, base);
    icon->setGeometry(iconAt.x, iconAt.y, 32, 32);
    auto *text = new QLabel(QString::fromLatin1(kVersionText), body);
    Place(text, layout::kAboutText, base);
    auto *ok = new QPushButton(QStringLiteral("OK"), body);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    Place(ok, layout::kAboutOk, base);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace ostervane::ui
