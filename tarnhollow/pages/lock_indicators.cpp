// Keyboard lock states from the LED class of the kernel.
#include "tarnhollow/pages/lock_indicators.h"

#include <fstream>
#include <system_error>

namespace tarnhollow {

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string &text, const std::string &end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsLit(const fs::path &led) {
    std::ifstream in(led / "brightness");
    int brightness = 0;
    return in >> brightness && brightness > 0;
}

} // namespace

LockStates ReadLockStates(const fs::path &ledsFolder) {
    LockStates states;
    std::error_code error;
    for (fs::directory_iterator it(ledsFolder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (EndsWith(name, "::capslock")) {
            states.capsLock = states.capsLock || IsLit(it->path());
        } else if (EndsWith(name, "::numlock")) {
            states.numLock = states.numLock || IsLit(it->path());
        } else if (EndsWith(name, "::scrolllock")) {
            states.scrollLock = states.scrollLock || IsLit(it->path());
        }
    }
    return states;
}

std::string CapsLockText(const LockStates &states) {
    return states.capsLock ? "CAP" : "";
}

std::string NumLockText(const LockStates &states) {
    return states.numLock ? "NUM" : "";
}

std::string ScrollLockText(const LockStates &states) {
    return states.scrollLock ? "SCRL" : "";
}

} // namespace tarnhollow
