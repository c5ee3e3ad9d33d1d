// A small JSON writer for tarnhollow-cli inspect: strings from UTF-8 text or from the
// handhelds' 8-bit text, which JSON cannot carry as it is.
#pragma once

#include <cstdio>
#include <string>

#include "tarnhollow/common/palm_text.h"

namespace tarnhollow {

// Escapes UTF-8 text as a JSON string: quotes, backslashes and control characters (C1 ones
// included) as escapes, every other character as it is.
inline std::string JsonString(const std::string &utf8) {
    std::string out = "\"";
    for (size_t i = 0; i < utf8.size(); i++) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        unsigned control = 0x100;
        if (c < 0x20 || c == 0x7F) {
            control = c;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            control = next;
            i++;
        }
        if (control < 0x100) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", control);
            out += escaped;
        } else {
            if (c == '"' || c == '\\') {
                out += '\\';
            }
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A name as the handhelds store it, shown as its characters.
inline std::string PalmJsonString(const std::string &palm) {
    return JsonString(Utf8FromPalmText(palm));
}

} // namespace tarnhollow
