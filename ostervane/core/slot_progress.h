// The progress bar of a slot: shown with a range of blocks at the start of a transfer, moved one
// step per block, set back and hidden at its end.
#pragma once

#include <algorithm>
#include <cstdint>

namespace ostervane {

struct SlotProgress {
    int maximum = 100; // a bar that was never started has the default range
    int position = 0;
    bool visible = false;

    void Start(uint16_t blocks) {
        maximum = blocks;
        position = 0;
        visible = true;
    }
    // A step beyond the end leaves the bar full.
    void Step() { position = std::min(position + 1, maximum); }
    void End() {
        position = 0;
        visible = false;
    }
};

} // namespace ostervane
