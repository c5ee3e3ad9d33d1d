// The device catalogue: every entry of every file in the "Devices" folder, in reading order,
// and the position-based cutting of one entry off a catalogue file's text.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tarnhollow/catalogue/device_entry.h"
#include "tarnhollow/common/message_boxes.h"

namespace tarnhollow {

using DeviceCatalogue = std::vector<std::unique_ptr<DeviceEntry>>;

inline constexpr const char *kDevicesFolder = "Devices";

// Cuts the next entry off the front of a catalogue file's text and returns it, or nullptr
// when no complete entry is left (loading of the file then stops).
std::unique_ptr<DeviceEntry> ParseDeviceEntry(std::string &text);

// Reads every file of the folder (not sub-folders) and appends its entries; a file that
// cannot be opened shows "Failed to open input Device file" and loading goes on.  A missing
// folder gives an empty catalogue.
DeviceCatalogue LoadDeviceCatalogue(const std::filesystem::path &folder, MessageBoxes &boxes);

// All entries whose name equals `name`, in catalogue order.
std::vector<const DeviceEntry *> EntriesNamed(const DeviceCatalogue &catalogue,
                                              const std::string &name);

} // namespace tarnhollow
