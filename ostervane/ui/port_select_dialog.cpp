// PortSelectDialog's controls.
#include "ostervane/ui/port_select_dialog.h"

#include <QLabel>

#include "ostervane/ui/dialog_frame.h"
#include "ostervane/ui/dialog_units.h"

namespace ostervane::ui {

PortSelectDialog::PortSelectDialog(const std::vector<PortEntry> &ports, QWidget *parent)
    : QDialog(parent), ports_(SortedByName(ports)) {
    DialogUnitBase base;
    QWidget *body = SetUpDialog(this, layout::kPortDialog, &base);
    setWindowTitle(QStringLiteral("Serial Port Selection"));

    auto *prompt = new QLabel(QStringLiteral("Select Serial Port for Backup:"), body);
    Place(prompt, layout::kPortPrompt, base);
    list_ = new QComboBox(body);
    list_->setObjectName(QStringLiteral("ports"));
    for (const PortEntry &port : ports_) {
        list_->addItem(QString::fromStdString(port.displayName));
    }
    DialogRect listAt = ToPixels(layout::kPortList, base);
    list_->setGeometry(listAt.x, listAt.y, listAt.width, list_->sizeHint().height());
    ok_ = new QPushButton(QStringLiteral("OK"), body);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    ok_->setEnabled(!ports_.empty());
    Place(ok_, layout::kPortOk, base);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), body);
    cancel_->setObjectName(QStringLiteral("cancel"));
    Place(cancel_, layout::kPortCancel, base);

    connect(ok_, &QPushButton::clicked, this, &PortSelectDialog::Confirm);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void PortSelectDialog::Confirm() {
    int index = list_->currentIndex();
    if (index < 0 || index >= static_cast<int>(ports_.size())) {
        return;
    }
    chosen_ = ports_[static_cast<size_t>(index)];
    accept();
}

} // namespace ostervane::ui
