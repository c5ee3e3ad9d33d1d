// PortSelectDialog: the serial ports sorted by name, the first one selected; OK yields the
// selected port.  With no port OK stays disabled, so the dialog can only be cancelled.
#pragma once

#include <optional>
#include <vector>

#include <QComboBox>
#include <QDialog>
#include <QPushButton>

#include "ostervane/core/slot_plan.h"

namespace ostervane::ui {

class PortSelectDialog : public QDialog {
    Q_OBJECT

public:
    explicit PortSelectDialog(const std::vector<PortEntry> &ports, QWidget *parent = nullptr);

    // The port selected when OK was pressed; nullopt otherwise.
    std::optional<PortEntry> Chosen() const { return chosen_; }

    QComboBox *portList() const { return list_; }
    QPushButton *okButton() const { return ok_; }
    QPushButton *cancelButton() const { return cancel_; }

private:
    void Confirm();

    std::vector<PortEntry> ports_; // in the list's order
    std::optional<PortEntry> chosen_;
    QComboBox *list_;
    QPushButton *ok_;
    QPushButton *cancel_;
};

} // namespace ostervane::ui
