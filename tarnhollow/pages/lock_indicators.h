// The Caps Lock, Num Lock and Scroll Lock indicators of the status bar.  The states come from
// the kernel's keyboard LEDs (/sys/class/leds/<device>::capslock and so on), which any local
// keyboard has whatever the display server; without such LEDs the indicators stay blank.
#pragma once

#include <filesystem>
#include <string>

namespace tarnhollow {

inline constexpr const char *kKeyboardLedsFolder = "/sys/class/leds";

struct LockStates {
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
};

// A lock is on when any LED of that kind has a brightness above 0.
LockStates ReadLockStates(const std::filesystem::path &ledsFolder = kKeyboardLedsFolder);

// The indicator texts: "CAP", "NUM", "SCRL" while the lock is on, empty otherwise.
std::string CapsLockText(const LockStates &states);
std::string NumLockText(const LockStates &states);
std::string ScrollLockText(const LockStates &states);

} // namespace tarnhollow
