// The boot-logo database a package carries: a resource database "InstallBootBitmaps" of type
// 'bbmp' and creator 'JFft' whose one resource 'bbmp' 1 holds a .bmp file unchanged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "tarnhollow/document/package_entry.h"

namespace tarnhollow {

inline constexpr const char *kBootLogoDatabaseName = "InstallBootBitmaps";
inline constexpr const char *kBootLogoBuildFile = "tmpbitmap.prc";
inline constexpr uint16_t kBootLogoResourceId = 1;

// Builds the database as "tmpbitmap.prc" in a private folder of its own under `temporaryRoot`
// (so no file of the user's is ever touched), copies it into an anonymous temporary file and
// removes the folder.  Returns the copy, rewound; null when any step fails.
FileHandle MakeBootLogoDatabase(
    std::span<const uint8_t> bitmapFile,
    const std::filesystem::path &temporaryRoot = std::filesystem::temp_directory_path());

// The bitmap file a boot-logo database holds (its resource 'bbmp' 1), read from the stream's
// start; nothing when the stream holds no such resource.
std::optional<std::vector<uint8_t>> BitmapInBootLogoDatabase(std::FILE *database);

} // namespace tarnhollow
