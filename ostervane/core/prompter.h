// Message boxes that jobs and identification raise, owned by no window and asked from any
// thread: the window, the command line and tests each answer them their own way.
#pragma once

#include <string>

namespace ostervane {

enum class PromptButtons { Ok, OkCancel };
enum class PromptIcon { None, Exclamation };
enum class PromptAnswer { Ok, Cancel };

class Prompter {
public:
    virtual ~Prompter() = default;
    // Shows the box and returns the user's answer; the calling thread waits for it.
    virtual PromptAnswer Ask(const std::string &caption, const std::string &text,
                             PromptButtons buttons, PromptIcon icon) = 0;
};

} // namespace ostervane
