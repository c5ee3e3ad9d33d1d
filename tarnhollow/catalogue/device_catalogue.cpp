// Cutting device entries off catalogue texts by position, and loading the catalogue folder.
#include "tarnhollow/catalogue/device_catalogue.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>

#include "tarnhollow/catalogue/catalogue_text.h"
#include "tarnhollow/common/palm_text.h"

namespace tarnhollow {

using namespace catalogue_text;

namespace {

constexpr size_t kMaxLanguageLetters = 11;
constexpr std::string_view kRemoveMarker = "*Remove List";
constexpr std::string_view kLanguageMarker = "*Language List";

// Cuts `entry` after its next "-" (the label's end) and returns the value: the separator
// character after the "-" is skipped, and the value ends at the CR LF before the next "*".
std::string_view TakeValue(std::string_view &entry) {
    entry = Mid(entry, Find(entry, "-", 1) + 1);
    return Mid(entry, 1, Find(entry, "*", 1) - 3);
}

// Moves `entry` past the "*" that opens the next line.
void SkipToNextLine(std::string_view &entry) {
    entry = Mid(entry, Find(entry, "*", 1) + 1);
}

// The "$" items of a list section.  Every item but the last stops one character short of the
// next "$": the line feed is dropped, the carriage return before it is kept.
std::vector<std::string_view> ListItems(std::string_view section) {
    std::vector<std::string_view> items;
    for (Pos at = Find(section, "$", 1); at >= 0; at = Find(section, "$", 0)) {
        section = Mid(section, at + 1);
        Pos next = Find(section, "$", 0);
        items.push_back(next <= 0 ? section : Mid(section, 0, next - 1));
        section = Mid(section, next);
    }
    return items;
}

// Remove and language items lose their CR LF pairs and then their double spaces.
std::vector<std::string> TextItems(std::string_view section) {
    std::vector<std::string> items;
    for (std::string_view item : ListItems(section)) {
        items.push_back(DeleteAll(DeleteAll(item, "\r\n"), "  "));
    }
    return items;
}

struct Sections {
    std::string_view rom;
    std::string_view remove;
    std::string_view language;
};

// Splits the text after the list header into its three sections.  A section ends two
// characters (the CR LF) before the marker that follows it.
Sections SplitSections(std::string_view lists) {
    Pos removeAt = Find(lists, kRemoveMarker, 1);
    Pos languageAt = Find(lists, kLanguageMarker, removeAt >= 0 ? removeAt + 1 : 1);
    auto upTo = [&](Pos from, Pos marker) {
        return marker >= 0 ? Mid(lists, from, marker - 2 - from) : Mid(lists, from);
    };
    Sections sections;
    sections.rom = upTo(0, removeAt >= 0 ? removeAt : languageAt);
    if (removeAt >= 0) {
        sections.remove = upTo(removeAt, languageAt);
    }
    if (languageAt >= 0) {
        sections.language = Mid(lists, languageAt);
    }
    return sections;
}

void ReadValueLines(std::string_view &entry, DeviceEntry &device) {
    device.name = TakeValue(entry);
    std::string_view values[7];
    for (std::string_view &value : values) {
        SkipToNextLine(entry);
        value = TakeValue(entry);
    }
    device.value2 = ToNumber(values[0]);
    device.value3 = values[1];
    device.languageLetters = values[2].substr(0, kMaxLanguageLetters);
    device.deviceId = values[3];
    device.flashBytes = ToNumber(values[4]);
    device.value7 = ToNumber(values[5]);
    device.blockBytes = ToNumber(values[6]);
}

void ReadLists(std::string_view lists, DeviceEntry &device) {
    Sections sections = SplitSections(lists);
    int64_t used = 0;
    for (std::string_view item : ListItems(sections.rom)) {
        device.romDatabases.emplace_back(Trim(item));
        used += RomItemSize(item);
    }
    // The exact sum, clamped to 32 bits: a nonsensical catalogue shows too little space rather
    // than wrapping round to plenty.
    device.usedBytes = Saturate(used);
    device.removeItems = TextItems(sections.remove);
    device.languageItems = TextItems(sections.language);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path &path) {
    std::error_code error;
    // Only regular files are opened, so a pipe or socket in the folder cannot block loading.
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return std::nullopt;
    }
    return text;
}

// The folder's entries that are not directories.  The listing is sorted by file name so that
// the catalogue has the same order on every file system.
std::vector<std::filesystem::path> CatalogueFiles(const std::filesystem::path &folder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    std::filesystem::directory_iterator listing(folder, error);
    for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
        std::error_code statusError;
        if (!listing->is_directory(statusError)) {
            files.push_back(listing->path());
        }
    }
    std::sort(files.begin(), files.end(),
              [](const auto &a, const auto &b) { return a.filename() < b.filename(); });
    return files;
}

} // namespace

std::unique_ptr<DeviceEntry> ParseDeviceEntry(std::string &text) {
    // The first five characters ("##", CR LF and the first line's "*") are the header.
    Pos next = Find(text, "##", 5);
    std::string_view entry = Mid(text, 5, next - 5);
    std::string entryText(entry);
    text.erase(0, static_cast<size_t>(std::max<Pos>(next, 0)));
    if (entryText.empty()) {
        return nullptr;
    }
    entry = entryText;
    auto device = std::make_unique<DeviceEntry>();
    ReadValueLines(entry, *device);
    SkipToNextLine(entry); // the list header; its label runs up to the first "$"
    ReadLists(entry, *device);
    if (device->blockBytes > 0) {
        device->availableKB =
            AvailableKB(device->flashBytes, device->usedBytes, device->blockBytes);
    }
    return device;
}

void AppendDeviceEntries(std::string text, DeviceCatalogue &catalogue, MessageBoxes &boxes) {
    while (std::unique_ptr<DeviceEntry> device = ParseDeviceEntry(text)) {
        if (device->blockBytes <= 0) {
            boxes.Show("Device entry \"" + Utf8FromPalmText(device->name) +
                           "\" has no valid block size and was skipped",
                       BoxIcon::Warning);
            continue;
        }
        catalogue.push_back(std::move(device));
    }
}

DeviceCatalogue LoadDeviceCatalogue(const std::filesystem::path &folder, MessageBoxes &boxes) {
    DeviceCatalogue catalogue;
    for (const std::filesystem::path &file : CatalogueFiles(folder)) {
        std::optional<std::string> text = ReadWholeFile(file);
        if (!text) {
            boxes.Show("Failed to open input Device file");
            continue;
        }
        AppendDeviceEntries(std::move(*text), catalogue, boxes);
    }
    return catalogue;
}

std::vector<const DeviceEntry *> EntriesNamed(const DeviceCatalogue &catalogue,
                                              const std::string &name) {
    std::vector<const DeviceEntry *> named;
    for (const std::unique_ptr<DeviceEntry> &device : catalogue) {
        if (device->name == name) {
            named.push_back(device.get());
        }
    }
    return named;
}

} // namespace tarnhollow
