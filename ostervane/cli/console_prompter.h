// Message boxes on the console: each box is drawn on the error output and answered OK at once,
// so that a job run from a script never waits for a person.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "ostervane/core/prompter.h"

namespace ostervane {

class ConsolePrompter final : public Prompter {
public:
    explicit ConsolePrompter(std::FILE *out) : out_(out) {}

    PromptAnswer Ask(const std::string &caption, const std::string &text, PromptButtons buttons,
                     PromptIcon icon) override;

    // The box as drawn, its last line naming the answer.
    static std::string FormatBox(const std::string &caption, const std::string &text,
                                 PromptIcon icon);

private:
    std::FILE *out_;
    std::mutex mutex_; // boxes from several jobs never interleave
};

} // namespace ostervane
