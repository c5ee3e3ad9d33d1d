// The message texts the document's save and open show, the refusal of a database too large
// for its chunk group, and the warning about an uninstaller the save could not write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace tarnhollow {

inline constexpr const char *kSaveFailedText = "Error created in save document";
inline constexpr const char *kOpenFailedText = "Error in extract palm file ";
inline constexpr const char *kPreinstallFailedText =
    "error in extracting  the Preinstall Application ";
inline constexpr const char *kNotInstallFileText = "Not a Tarnhollow Install File.";
inline constexpr const char *kLaunchFlagRamText = "error in setting the LAUNCH_AFTER_RESET flag";
inline constexpr const char *kLaunchFlagRomText = "error in setting the JSIR_RESET_APP flag";
inline constexpr const char *kTooManyDatabasesText =
    "The package holds too many databases to embed them all.";

// "The database NAME is too large to embed (more than 3,244,032 bytes)."  The name is the
// database's own, in the handhelds' 8-bit text.
std::string TooLargeToEmbedText(const std::string &databaseName, uint64_t limitBytes);

// "The uninstaller file PATH is read-only and was not written." or, for any other reason,
// "The uninstaller file PATH could not be written."
std::string UninstallerNotWrittenText(const std::filesystem::path &path, bool readOnly);

} // namespace tarnhollow
