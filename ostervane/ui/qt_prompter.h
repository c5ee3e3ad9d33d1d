// QtPrompter: the program's message boxes, owned by no window and shown on the UI thread, also
// when a worker asks (the worker waits for the answer).
#pragma once

#include <functional>
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

    // A box that cannot be shown any more (the window is closing) is answered OK when it offers
    // only OK, Cancel otherwise.
    PromptAnswer Ask(const std::string &caption, const std::string &text, PromptButtons buttons,
                     PromptIcon icon) override;

    // UI thread: closes the boxes still open, as Cancel.
    void CloseOpenBoxes();

private:
    PromptAnswer ShowMessageBox(const PromptBox &box);

    UiThreadCall &calls_;
    BoxAnswerer answerer_;
    std::vector<QPointer<QMessageBox>> openBoxes_; // UI thread only
};

} // namespace ostervane::ui
