// Showing what a ROM image holds: its 8-bit Windows-1252 names in UTF-8, four-character codes,
// Palm dates and version numbers, as plain text without the C library's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostervane {

// Windows-1252 bytes as UTF-8.  Every byte converts: the five bytes the set leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number.
std::string Utf8FromWindows1252(std::string_view palm);

// The same, with control characters (below 0x20, 0x7F and 0x80 to 0x9F) written as "\xNN", for
// a terminal.
std::string ShownPalmText(std::string_view palm);

// A four-character code as its four characters, first character most significant; bytes that
// are not printable ASCII are written as "\xNN" (so "\x00\x00\x00\x00" for 0).
std::string FourCharText(uint32_t code);

// A Palm date (seconds since 1904-01-01 00:00, the handheld's local time) as
// "YYYY-MM-DD hh:mm:ss"; "never" for 0.
std::string PalmDateText(uint32_t palmSeconds);

// An OS or ROM version number (bits 31-24 major, 23-20 minor, 19-16 fix, 15-12 stage, 11-0
// build) as "4.0", "3.5.2", "5.4.5"; a stage before release adds " development", " alpha" or
// " beta" and the build ("4.0 beta 12").
std::string PalmVersionText(uint32_t version);

} // namespace ostervane
