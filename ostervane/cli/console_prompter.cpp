// The console prompter: boxes drawn with ASCII rules, answered OK.
#include "ostervane/cli/console_prompter.h"

#include <algorithm>

namespace ostervane {

std::string ConsolePrompter::FormatBox(const std::string &caption, const std::string &text,
                                       PromptIcon icon) {
    std::string title = (icon == PromptIcon::Exclamation ? "! " : "") + caption;
    size_t width = std::max(title.size() + 4, text.size() + 2);
    std::string box = "+- " + title + " " + std::string(width - title.size() - 3, '-') + "+\n";
    box += "| " + text + std::string(width - text.size() - 1, ' ') + "|\n";
    box += "+" + std::string(width - 4, '-') + " OK +\n";
    return box;
}

PromptAnswer ConsolePrompter::Ask(const std::string &caption, const std::string &text,
                                  PromptButtons, PromptIcon icon) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::fputs(FormatBox(caption, text, icon).c_str(), out_);
    std::fflush(out_);
    return PromptAnswer::Ok;
}

} // namespace ostervane
