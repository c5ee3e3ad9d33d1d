// Message boxes on the console: each box is drawn on the error output and answered at once, so
// that a job run from a script never waits for a person.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "ostervane/core/prompter.h"

namespace ostervane {

class ConsolePrompter final : public Prompter {
public:
    // Boxes with OK only are answered OK; boxes that offer Cancel get `choiceAnswer`.
    explicit ConsolePrompter(std::FILE *out, PromptAnswer choiceAnswer = PromptAnswer::Ok)
        : out_(out), choiceAnswer_(choiceAnswer) {}

    PromptAnswer Ask(const std::string &caption, const std::string &text, PromptButtons buttons,
                     PromptIcon icon) override;

    // The box as drawn, its last line naming the answer.
    static std::string FormatBox(const std::string &caption, const std::string &text,
                                 PromptIcon icon, PromptAnswer answer = PromptAnswer::Ok);

private:
    std::FILE *out_;
    PromptAnswer choiceAnswer_;
    std::mutex mutex_; // boxes from several jobs never interleave
};

} // namespace ostervane
