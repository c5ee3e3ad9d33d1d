// Message boxes carried over to the UI thread.
#include "ostervane/ui/qt_prompter.h"

#include <memory>

namespace ostervane::ui {

QtPrompter::QtPrompter(UiThreadCall &calls, BoxAnswerer answerer)
    : calls_(calls), answerer_(std::move(answerer)) {}

PromptAnswer QtPrompter::Ask(const std::string &caption, const std::string &text,
                             PromptButtons buttons, PromptIcon icon) {
    // The box and its answer live in shared state, not on the asking thread's stack: a worker
    // released while the box is still up must leave nothing behind that the box writes to.
    auto box = std::make_shared<PromptBox>(PromptBox{caption, text, buttons, icon});
    auto answer = std::make_shared<PromptAnswer>(
        buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel);
    calls_.Run(
        [this, box, answer] { *answer = answerer_ ? answerer_(*box) : ShowMessageBox(*box); });
    return *answer;
}

PromptAnswer QtPrompter::ShowMessageBox(const PromptBox &box) {
    QMessageBox::StandardButtons buttons =
        box.buttons == PromptButtons::Ok ? QMessageBox::Ok : QMessageBox::Ok | QMessageBox::Cancel;
    QMessageBox::Icon icon =
        box.icon == PromptIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
    QPointer<QMessageBox> dialog = new QMessageBox(icon, QString::fromStdString(box.caption),
                                                   QString::fromStdString(box.text), buttons);
    dialog->setEscapeButton(box.buttons == PromptButtons::Ok ? QMessageBox::Ok
                                                             : QMessageBox::Cancel);
    openBoxes_.push_back(dialog);
    int result = dialog->exec();
    std::erase_if(openBoxes_, [&](const QPointer<QMessageBox> &open) { return open == dialog; });
    delete dialog.data();
    return result == QMessageBox::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
}

void QtPrompter::CloseOpenBoxes() {
    for (const QPointer<QMessageBox> &open : openBoxes_) {
        if (open) {
            open->done(QMessageBox::Cancel);
        }
    }
}

} // namespace ostervane::ui
