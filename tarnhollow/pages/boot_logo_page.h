// The Boot Logo page's rules: choosing a 160 x 160 .bmp file as the package's boot logo, and
// clearing it again.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

inline constexpr const char *kNotValidBitmapText = "Not a valid bitmap file.";
inline constexpr const char *kLogoSizeText = "Logo must be 160x160.";
inline constexpr const char *kLogoTooLargeText =
    "The logo file is too large for the boot-logo database.";
inline constexpr const char *kClearLogoQuestion = "Are you sure you want to clear the logo?";
inline constexpr const char *kClearLogoCaption = "Clear Logo";
inline constexpr int32_t kLogoSide = 160;

enum class SetLogoResult {
    Set,
    NotValid,   // unreadable, not "BM", or shorter than its header says
    WrongSize,  // not exactly 160 x 160
    TooLarge,   // more bytes than one resource can hold
    NotCreated, // the boot-logo database could not be built; nothing changed
};

// Reads the file once, checks it and wraps it in the boot-logo database, which replaces the
// document's m_bootLogoFile; the document's bitmap holder then shows the file.
SetLogoResult
SetBootLogo(CTarnhollowDoc &doc, const std::filesystem::path &bitmapFile,
            const std::filesystem::path &temporaryRoot = std::filesystem::temp_directory_path());

// The message a result shows; nothing for Set and NotCreated.
std::optional<std::string> SetLogoMessage(SetLogoResult result);

// A document read from a package shows the logo the package carries, when its holder has
// nothing to show yet.
void ShowStoredBootLogo(CTarnhollowDoc &doc);

// After the user confirmed: drops the boot logo and shows the default logo again.  False (and
// nothing changed) when the document holds no boot logo.
bool ClearBootLogo(CTarnhollowDoc &doc);

} // namespace tarnhollow
