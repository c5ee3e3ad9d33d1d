// A ROM image file read whole into memory, for the commands that look inside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostervane::cli {

// The file's bytes; nullopt (with the reason in `why`) when it cannot be opened or read.
std::optional<std::vector<uint8_t>> ReadRomFile(const std::string &path, std::string &why);

// Text as a JSON string; the text is UTF-8 and only quotes, backslashes and control
// characters are escaped.
std::string JsonText(const std::string &utf8);

} // namespace ostervane::cli
