// The device catalogue: every entry of every file in the "Devices" folder, in reading order,
// and the position-based cutting of one entry off a catalogue file's text.  The text is the
// handhelds' 8-bit text (common/palm_text.h) and is kept as read.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tarnhollow/catalogue/device_entry.h"
#include "tarnhollow/common/data_folders.h"
#include "tarnhollow/common/message_boxes.h"

namespace tarnhollow {

using DeviceCatalogue = std::vector<std::unique_ptr<DeviceEntry>>;

// Cuts the next entry off the front of a catalogue file's text and returns it, or nullptr
// when no complete entry is left (loading of the file then stops).
//
// Values and items are taken by position; malformed entries are not diagnosed.  The list
// sections are looked for in their order: "*Remove List", then "*Language List" after it.  A
// missing marker makes its own section empty, and the section before it runs to the next marker
// that is present (or to the end of the entry), so no item lands in the wrong list.  An entry
// whose blockBytes is 0 or less is returned with availableKB 0; loading skips it.
std::unique_ptr<DeviceEntry> ParseDeviceEntry(std::string &text);

// Parses every entry of one catalogue file's text and appends it to the catalogue.  An entry
// with a block size of 0 or less is skipped with the message
// "Device entry \"NAME\" has no valid block size and was skipped".
void AppendDeviceEntries(std::string text, DeviceCatalogue &catalogue, MessageBoxes &boxes);

// Reads every file of the folder (not sub-folders) and appends its entries; a file that
// cannot be opened shows "Failed to open input Device file" and loading goes on.  A missing
// folder gives an empty catalogue.  Files are read in the order of their names.
DeviceCatalogue LoadDeviceCatalogue(const std::filesystem::path &folder, MessageBoxes &boxes);

// All entries whose name equals `name`, in catalogue order.
std::vector<const DeviceEntry *> EntriesNamed(const DeviceCatalogue &catalogue,
                                              const std::string &name);

} // namespace tarnhollow
