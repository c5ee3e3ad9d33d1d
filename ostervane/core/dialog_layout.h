// Where the windows' controls lie, in dialog units, and how dialog units become pixels: a
// horizontal unit is a quarter of the font's average character width, a vertical unit an eighth
// of its height.
#pragma once

#include <array>

namespace ostervane {

struct DialogRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const DialogRect &) const = default;
};

struct DialogUnitBase {
    int averageCharWidth = 0; // pixels
    int fontHeight = 0;       // pixels
};

// The average character width from the width of "A".."Z" followed by "a".."z", rounded.
int AverageCharWidth(int widthOfTheAlphabets);

// `units` in pixels, each value rounded to the nearest pixel.
DialogRect ToPixels(const DialogRect &units, const DialogUnitBase &base);

struct SlotControls {
    DialogRect label, status, bar;
};

namespace layout {

inline constexpr DialogRect kModeDialog{0, 0, 237, 116};
inline constexpr DialogRect kModeBanner{10, 5, 213, 53};
inline constexpr DialogRect kBackupButton{160, 65, 65, 14};
inline constexpr DialogRect kRestoreButton{160, 90, 65, 14};
inline constexpr DialogRect kUsbRadio{20, 70, 31, 10};
inline constexpr DialogRect kSerialRadio{20, 90, 33, 10};

inline constexpr DialogRect kPortDialog{0, 0, 186, 62};
inline constexpr DialogRect kPortPrompt{5, 10, 110, 8};
inline constexpr DialogRect kPortList{5, 25, 105, 65}; // the height includes the opened list
inline constexpr DialogRect kPortOk{129, 7, 50, 14};
inline constexpr DialogRect kPortCancel{129, 24, 50, 14};

inline constexpr DialogRect kMainDialog{0, 0, 312, 196};
inline constexpr DialogRect kMainBanner{10, 5, 213, 53};
inline constexpr DialogRect kDoneButton{275, 5, 32, 14};

inline constexpr DialogRect kAboutDialog{0, 0, 237, 46};
inline constexpr DialogRect kAboutIcon{10, 15, 20, 20};
inline constexpr DialogRect kAboutText{40, 15, 119, 8};
inline constexpr DialogRect kAboutOk{180, 5, 50, 14};

// Slots 1 to 8: four down the left column, four down the right.
inline constexpr std::array<SlotControls, 8> kSlots{{
    {{10, 69, 32, 8}, {45, 69, 100, 8}, {45, 79, 100, 10}},
    {{10, 99, 32, 8}, {45, 99, 100, 8}, {45, 109, 100, 10}},
    {{10, 129, 32, 8}, {45, 129, 100, 8}, {45, 139, 100, 10}},
    {{10, 159, 32, 8}, {45, 159, 100, 8}, {45, 169, 100, 10}},
    {{160, 69, 32, 8}, {195, 69, 100, 8}, {195, 79, 100, 10}},
    {{160, 99, 32, 8}, {195, 99, 100, 8}, {195, 109, 100, 10}},
    {{160, 129, 32, 8}, {195, 129, 100, 8}, {195, 139, 100, 10}},
    {{160, 159, 32, 8}, {195, 159, 100, 8}, {195, 169, 100, 10}},
}};

} // namespace layout

} // namespace ostervane
