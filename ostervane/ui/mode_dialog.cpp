// ModeDialog's controls and their results.
#include "ostervane/ui/mode_dialog.h"

#include "ostervane/ui/dialog_frame.h"
#include "ostervane/ui/dialog_units.h"

namespace ostervane::ui {

ModeDialog::ModeDialog(QWidget *parent) : QDialog(parent) {
    DialogUnitBase base;
    QWidget *body = SetUpDialog(this, layout::kModeDialog, &base);
    AddHelpMenu(this);
    setWindowTitle(QStringLiteral("Ostervane"));
    AddBanner(body, layout::kModeBanner, base);

    backup_ = new QPushButton(QStringLiteral("Backup ROM"), body);
    backup_->setObjectName(QStringLiteral("backup"));
    Place(backup_, layout::kBackupButton, base);
    restore_ = new QPushButton(QStringLiteral("Restore ROM"), body);
    restore_->setObjectName(QStringLiteral("restore"));
    Place(restore_, layout::kRestoreButton, base);
    usb_ = new QRadioButton(QStringLiteral("USB"), body);
    usb_->setObjectName(QStringLiteral("usb"));
    Place(usb_, layout::kUsbRadio, base);
    usb_->setChecked(true);
    serial_ = new QRadioButton(QStringLiteral("Serial"), body);
    serial_->setObjectName(QStringLiteral("serial"));
    Place(serial_, layout::kSerialRadio, base);

    connect(usb_, &QRadioButton::clicked, this, [this] { link_ = LinkKind::Usb; });
    connect(serial_, &QRadioButton::clicked, this, [this] { link_ = LinkKind::Serial; });
    connect(backup_, &QPushButton::clicked, this, [this] { done(kModeBackup); });
    connect(restore_, &QPushButton::clicked, this, [this] { done(kModeRestore); });
}

} // namespace ostervane::ui
