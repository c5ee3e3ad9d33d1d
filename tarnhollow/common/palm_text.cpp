// Windows-1252 and UTF-8 through the C library's iconv.  The five bytes Windows-1252 leaves
// unassigned are mapped by hand, since iconv refuses them both ways.
#include "tarnhollow/common/palm_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace tarnhollow {

namespace {

constexpr const char *kPalmCharsets[] = {"WINDOWS-1252", "CP1252"};
constexpr const char *kReplacementCharacter = "\xEF\xBF\xBD";

// One conversion for the life of a call; iconv's state is not shared between threads.
class Conversion {
public:
    Conversion(bool toPalm) {
        for (const char *palm : kPalmCharsets) {
            m_cd = toPalm ? iconv_open(palm, "UTF-8") : iconv_open("UTF-8", palm);
            if (Usable()) {
                return;
            }
        }
    }
    ~Conversion() {
        if (Usable()) {
            iconv_close(m_cd);
        }
    }
    Conversion(const Conversion &) = delete;
    Conversion &operator=(const Conversion &) = delete;

    bool Usable() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of `in` as it can, appending to `out`; `in` keeps what is left, which
    // starts at the first sequence iconv refuses.
    void Convert(std::string_view &in, std::string &out) {
        char buffer[256];
        while (!in.empty()) {
            char *from = const_cast<char *>(in.data());
            size_t fromLeft = in.size();
            char *to = buffer;
            size_t toLeft = sizeof buffer;
            const size_t result = iconv(m_cd, &from, &fromLeft, &to, &toLeft);
            out.append(buffer, static_cast<size_t>(to - buffer));
            in.remove_prefix(in.size() - fromLeft);
            if (result == static_cast<size_t>(-1) && errno != E2BIG) {
                return;
            }
        }
    }

private:
    iconv_t m_cd = reinterpret_cast<iconv_t>(-1);
};

bool IsUnassigned(unsigned char byte) {
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// U+0080 to U+009F in UTF-8.
std::string ControlCharacter(unsigned char byte) {
    return {'\xC2', static_cast<char>(byte)};
}

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
size_t SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (length == 0 || lead > 0xF4 || length > text.size()) {
        return 0;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; i++) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

std::string Escaped(unsigned char byte) {
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02x", byte);
    return text;
}

} // namespace

std::string Utf8FromPalmText(std::string_view palm) {
    Conversion conversion(false);
    std::string shown;
    while (!palm.empty()) {
        if (conversion.Usable()) {
            conversion.Convert(palm, shown);
        }
        if (palm.empty()) {
            break;
        }
        const auto byte = static_cast<unsigned char>(palm.front());
        if (IsUnassigned(byte)) {
            shown += ControlCharacter(byte);
        } else if (byte < 0x80) {
            shown += static_cast<char>(byte); // only without a usable conversion
        } else {
            shown += kReplacementCharacter;
        }
        palm.remove_prefix(1);
    }
    return shown;
}

PalmTextEncoding PalmTextFromUtf8(std::string_view utf8) {
    Conversion conversion(true);
    std::string palm;
    while (!utf8.empty()) {
        if (conversion.Usable()) {
            conversion.Convert(utf8, palm);
        }
        if (utf8.empty()) {
            break;
        }
        const size_t length = SequenceLength(utf8);
        const auto lead = static_cast<unsigned char>(utf8[0]);
        const auto second = utf8.size() > 1 ? static_cast<unsigned char>(utf8[1]) : 0;
        if (length == 2 && lead == 0xC2 && IsUnassigned(second)) {
            palm += static_cast<char>(second);
        } else if (length == 1 && !conversion.Usable()) {
            palm += utf8[0];
        } else {
            return {std::nullopt,
                    length == 0 ? Escaped(lead) : std::string(utf8.substr(0, length))};
        }
        utf8.remove_prefix(length);
    }
    return {std::move(palm), {}};
}

std::string NoPalmFormText(const std::string &refused) {
    return "The character \"" + refused +
           "\" cannot be used: names on the handheld are in the Western (Windows-1252) "
           "character set.";
}

} // namespace tarnhollow
