// ModeDialog: the banner, the link (USB or Serial) and the operation; "Backup ROM" ends it with
// 1011, "Restore ROM" with 1010, Escape and the close box cancel.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QRadioButton>

#include "ostervane/core/startup.h"

namespace ostervane::ui {

class ModeDialog : public QDialog {
    Q_OBJECT

public:
    explicit ModeDialog(QWidget *parent = nullptr);

    // The link as last clicked (USB until then).
    LinkKind Link() const { return link_; }

    QRadioButton *usbButton() const { return usb_; }
    QRadioButton *serialButton() const { return serial_; }
    QPushButton *backupButton() const { return backup_; }
    QPushButton *restoreButton() const { return restore_; }

private:
    // The closing buttons do not read the radio buttons: a click stores the choice at once.
    LinkKind link_ = LinkKind::Usb;
    QRadioButton *usb_;
    QRadioButton *serial_;
    QPushButton *backup_;
    QPushButton *restore_;
};

} // namespace ostervane::ui
