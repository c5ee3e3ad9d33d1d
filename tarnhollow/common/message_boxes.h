// The message boxes Tarnhollow's core raises (all captioned "Tarnhollow"): the window shows
// them, the command line prints them, tests record them.
#pragma once

#include <string>

namespace tarnhollow {

enum class BoxIcon { None, Warning };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // An OK box with the text; returns when the user closed it.
    virtual void Show(const std::string &text, BoxIcon icon = BoxIcon::None) = 0;
};

inline constexpr const char *kMessageCaption = "Tarnhollow";

} // namespace tarnhollow
