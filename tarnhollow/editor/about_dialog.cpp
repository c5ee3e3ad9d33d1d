// About box layout.
#include "tarnhollow/editor/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "tarnhollow/editor/editor_resources.h"

namespace tarnhollow::editor {

QIcon ApplicationIcon() {
    EnsureEditorResources();
    QIcon icon;
    for (int size : {32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/tarnhollow/icons/tarnhollow-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

AboutDialog::AboutDialog(const QString &catalogueFolderText, QWidget *parent) : QDialog(parent) {
    setWindowTitle(tr("About Tarnhollow"));
    auto *icon = new QLabel(this);
    icon->setObjectName("aboutIcon");
    icon->setPixmap(ApplicationIcon().pixmap(48, 48));
    auto *name = new QLabel(tr("Tarnhollow"), this);
    name->setObjectName("aboutName");
    QFont nameFont = name->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.3);
    name->setFont(nameFont);
    auto *version = new QLabel(QString::fromLatin1(kVersionText), this);
    version->setObjectName("aboutVersion");
    auto *catalogue = new QLabel(catalogueFolderText, this);
    catalogue->setObjectName("aboutCatalogue");
    catalogue->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addSpacing(6);
    texts->addWidget(catalogue);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(300);
}

} // namespace tarnhollow::editor
