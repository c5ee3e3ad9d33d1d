// A small JSON writer for tarnhollow-cli inspect: objects, arrays, strings, numbers, booleans.
#pragma once

#include <cstdio>
#include <string>

namespace tarnhollow {

// Escapes a text as a JSON string; bytes outside ASCII are written as \u00XX (Latin-1).
inline std::string JsonString(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

} // namespace tarnhollow
