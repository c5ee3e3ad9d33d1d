// Palm text: database names, launcher names and the device catalogue are 8-bit text in the
// handhelds' Western character set, Windows-1252.  The programs keep that text as stored and
// convert only where people read or type it (windows, messages, the command line), in UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnhollow {

// Windows-1252 bytes as UTF-8, for showing.  Every byte converts: the five bytes the set leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number,
// so PalmTextFromUtf8 gives back exactly the bytes shown.
std::string Utf8FromPalmText(std::string_view palm);

// Typed UTF-8 text as Windows-1252, one byte per character (so a cut of the bytes is a cut
// between characters).
struct PalmTextEncoding {
    std::optional<std::string> palm; // none when some character has no Windows-1252 form
    std::string refused;             // the first such character, in UTF-8; bytes that are no
                                     // UTF-8 at all are given as "\xNN"
};
PalmTextEncoding PalmTextFromUtf8(std::string_view utf8);

// The message that refuses a typed character without a Windows-1252 form.
std::string NoPalmFormText(const std::string &refused);

} // namespace tarnhollow
