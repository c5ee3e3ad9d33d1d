// Dialog units to pixels.
#include "ostervane/core/dialog_layout.h"

namespace ostervane {

namespace {

constexpr int kAlphabetLetters = 52;

// value * numerator / denominator, rounded half away from zero.
int ScaleRounded(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

} // namespace

int AverageCharWidth(int widthOfTheAlphabets) {
    return ScaleRounded(widthOfTheAlphabets, 1, kAlphabetLetters);
}

DialogRect ToPixels(const DialogRect &units, const DialogUnitBase &base) {
    return {ScaleRounded(units.x, base.averageCharWidth, 4),
            ScaleRounded(units.y, base.fontHeight, 8),
            ScaleRounded(units.width, base.averageCharWidth, 4),
            ScaleRounded(units.height, base.fontHeight, 8)};
}

} // namespace ostervane
