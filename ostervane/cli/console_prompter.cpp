// The console prompter: boxes drawn with ASCII rules, answered at once.
#include "ostervane/cli/console_prompter.h"

#include <algorithm>

namespace ostervane {

std::string ConsolePrompter::FormatBox(const std::string &caption, const std::string &text,
                                       PromptIcon icon, PromptAnswer answer) {
    std::string title = (icon == PromptIcon::Exclamation ? "! " : "") + caption;
    std::string button = answer == PromptAnswer::Ok ? " OK " : " Cancel ";
    size_t width = std::max({title.size() + 4, text.size() + 2, button.size()});
    std::string box = "+- " + title + " " + std::string(width - title.size() - 3, '-') + "+\n";
    box += "| " + text + std::string(width - text.size() - 1, ' ') + "|\n";
    box += "+" + std::string(width - button.size(), '-') + button + "+\n";
    return box;
}

PromptAnswer ConsolePrompter::Ask(const std::string &caption, const std::string &text,
                                  PromptButtons buttons, PromptIcon icon) {
    PromptAnswer answer = buttons == PromptButtons::OkCancel ? choiceAnswer_ : PromptAnswer::Ok;
    std::lock_guard<std::mutex> hold(mutex_);
    std::fputs(FormatBox(caption, text, icon, answer).c_str(), out_);
    std::fflush(out_);
    return answer;
}

} // namespace ostervane
