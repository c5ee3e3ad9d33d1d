// QtPrompter: the program's message boxes, owned by no window and shown on the UI thread, also
// when a worker asks (the worker waits for the answer).  A worker's box holds only that worker:
// it is shown without blocking the windows, so the main window's buttons, Escape and its close
// box keep working, and several jobs' boxes may be up at once and answered in any order.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QPointer>

#include "ostervane/core/prompter.h"
#include "ostervane/ui/ui_thread_call.h"

namespace ostervane::ui {

struct PromptBox {
    std::string caption, text;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
};

// Answers a box on the UI thread; tests give one that records and answers without a window.
using BoxAnswerer = std::function<PromptAnswer(const PromptBox &box)>;

class QtPrompter final : public Prompter {
public:
    // Without an answerer the boxes are real QMessageBox windows.
    explicit QtPrompter(UiThreadCall &calls, BoxAnswerer answerer = nullptr);
    ~QtPrompter() override; // closes the boxes still open, releasing their workers

    // A box that cannot be shown any more, or is closed without a button (the window is
    // closing), is answered OK when it offers only OK, Cancel otherwise.  Asked on the UI
    // thread itself, the box waits in a modal loop of its own.
    PromptAnswer Ask(const std::string &caption, const std::string &text, PromptButtons buttons,
                     PromptIcon icon) override;

    // UI thread: closes the boxes still open, each answered as above.
    void CloseOpenBoxes();

private:
    // The answer a worker waits for.
    struct Waiting {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        PromptAnswer answer = PromptAnswer::Cancel;
        void Give(PromptAnswer given);
        PromptAnswer Wait();
    };

    QMessageBox *MakeBox(const PromptBox &box);
    void ShowForWorker(const PromptBox &box, const std::shared_ptr<Waiting> &waiting);
    PromptAnswer ShowModal(const PromptBox &box);

    UiThreadCall &calls_;
    BoxAnswerer answerer_;
    std::vector<QPointer<QMessageBox>> openBoxes_; // UI thread only
};

} // namespace ostervane::ui
