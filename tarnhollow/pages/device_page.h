// The Device page's rules: one row per catalogue entry; checking rows selects devices, sets the
// available expansion ROM and the device identifiers, and resets the Remove page's choices.
#pragma once

#include <string>
#include <vector>

#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

inline constexpr const char *kSelectDeviceMessage =
    "Please select a device class or a device from from the Device tab";

class DevicePageRules {
public:
    explicit DevicePageRules(CTarnhollowDoc &doc) : doc_(doc) {}

    // The rows: each catalogue entry's name, in catalogue order.
    std::vector<std::string> RowTexts() const;

    // Fills the page: m_allDevicesMinKB, and for a document read from a file the rows of its
    // devices checked and m_selectedDevices and m_deviceIds rebuilt.  Returns the boxes.
    std::vector<bool> Initialise();

    // Any change of the rows: the selection, m_deviceIds and the available expansion ROM
    // follow the checked rows, and the Remove page starts afresh.  Returns the view's
    // "Available Expansion ROM" text: "%dK", or empty with no row checked or a negative value.
    std::string OnRowsChanged(const std::vector<bool> &boxes);

    // The first paint of a document read from a file, while the available text is empty.
    // Returns the text to show.
    std::string OnPaintWithEmptyAvailable();

    // Leaving the page needs a checked device.
    bool CanLeave() const { return !doc_.m_selectedDevices.empty(); }

private:
    void RebuildDeviceIds(const std::vector<bool> &boxes);
    CTarnhollowDoc &doc_;
};

// "%dK" of the value.
std::string KiloText(int32_t kilobytes);

} // namespace tarnhollow
