// Message boxes carried over to the UI thread.
#include "ostervane/ui/qt_prompter.h"

#include <QAbstractButton>

namespace ostervane::ui {

namespace {
PromptAnswer UnansweredAnswer(PromptButtons buttons) {
    return buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
}

// The button the user pressed, or the box's unanswered answer when it closed without one.
PromptAnswer AnswerOf(QMessageBox &dialog, PromptButtons buttons) {
    QAbstractButton *clicked = dialog.clickedButton();
    if (clicked == nullptr) {
        return UnansweredAnswer(buttons);
    }
    return dialog.standardButton(clicked) == QMessageBox::Ok ? PromptAnswer::Ok
                                                             : PromptAnswer::Cancel;
}
} // namespace

void QtPrompter::Waiting::Give(PromptAnswer given) {
    {
        std::lock_guard lock(mutex);
        if (done) {
            return;
        }
        answer = given;
        done = true;
    }
    answered.notify_all();
}

PromptAnswer QtPrompter::Waiting::Wait() {
    std::unique_lock lock(mutex);
    answered.wait(lock, [this] { return done; });
    return answer;
}

QtPrompter::QtPrompter(UiThreadCall &calls, BoxAnswerer answerer)
    : calls_(calls), answerer_(std::move(answerer)) {}

QtPrompter::~QtPrompter() {
    CloseOpenBoxes();
}

// The box and the answer live in shared state, not on the asking thread's stack: a worker
// released while its box is still being made must leave nothing behind that the box writes to.
PromptAnswer QtPrompter::Ask(const std::string &caption, const std::string &text,
                             PromptButtons buttons, PromptIcon icon) {
    PromptBox box{caption, text, buttons, icon};
    if (calls_.OnUiThread()) {
        if (calls_.IsInert()) {
            return UnansweredAnswer(buttons);
        }
        return answerer_ ? answerer_(box) : ShowModal(box);
    }
    auto waiting = std::make_shared<Waiting>();
    waiting->answer = UnansweredAnswer(buttons);
    bool shown = calls_.Run([this, box, waiting] {
        if (answerer_) {
            waiting->Give(answerer_(box));
        } else {
            ShowForWorker(box, waiting);
        }
    });
    if (!shown) {
        return UnansweredAnswer(buttons);
    }
    return waiting->Wait();
}

QMessageBox *QtPrompter::MakeBox(const PromptBox &box) {
    QMessageBox::StandardButtons buttons =
        box.buttons == PromptButtons::Ok ? QMessageBox::Ok : QMessageBox::Ok | QMessageBox::Cancel;
    QMessageBox::Icon icon =
        box.icon == PromptIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
    auto *dialog = new QMessageBox(icon, QString::fromStdString(box.caption),
                                   QString::fromStdString(box.text), buttons);
    dialog->setEscapeButton(box.buttons == PromptButtons::Ok ? QMessageBox::Ok
                                                             : QMessageBox::Cancel);
    openBoxes_.push_back(dialog);
    return dialog;
}

// UI thread: shows the box and returns at once; the worker is released when it closes.
void QtPrompter::ShowForWorker(const PromptBox &box, const std::shared_ptr<Waiting> &waiting) {
    QMessageBox *dialog = MakeBox(box);
    dialog->setWindowModality(Qt::NonModal);
    PromptButtons buttons = box.buttons;
    QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog, buttons, waiting] {
        std::erase(openBoxes_, dialog);
        waiting->Give(AnswerOf(*dialog, buttons));
        dialog->deleteLater();
    });
    dialog->show();
}

PromptAnswer QtPrompter::ShowModal(const PromptBox &box) {
    QPointer<QMessageBox> dialog = MakeBox(box);
    dialog->exec();
    PromptAnswer answer = dialog ? AnswerOf(*dialog, box.buttons) : UnansweredAnswer(box.buttons);
    std::erase(openBoxes_, dialog);
    delete dialog.data();
    return answer;
}

void QtPrompter::CloseOpenBoxes() {
    std::vector<QPointer<QMessageBox>> open = openBoxes_;
    for (const QPointer<QMessageBox> &box : open) {
        if (box) {
            box->done(QMessageBox::Cancel);
        }
    }
}

} // namespace ostervane::ui
