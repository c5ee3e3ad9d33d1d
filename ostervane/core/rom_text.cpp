// Windows-1252 to UTF-8 by table (the set is fixed, so no conversion library is needed), and
// the other texts a ROM's contents are shown with.
#include "ostervane/core/rom_text.h"

#include <cstdio>

namespace ostervane {
namespace {

// The characters of bytes 0x80 to 0x9F; the unassigned ones keep their own number.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t CodePointOf(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte);
}

void AppendUtf8(std::string &out, char16_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

std::string Escaped(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    return text;
}

bool IsControl(char16_t code) {
    return code < 0x20 || (code >= 0x7F && code < 0xA0);
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t &year, unsigned &month, unsigned &day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = int64_t(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

std::string Utf8FromWindows1252(std::string_view palm) {
    std::string out;
    out.reserve(palm.size());
    for (unsigned char byte : palm) {
        AppendUtf8(out, CodePointOf(byte));
    }
    return out;
}

std::string ShownPalmText(std::string_view palm) {
    std::string out;
    for (unsigned char byte : palm) {
        const char16_t code = CodePointOf(byte);
        if (IsControl(code)) {
            out += Escaped(byte);
        } else {
            AppendUtf8(out, code);
        }
    }
    return out;
}

std::string FourCharText(uint32_t code) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned char byte = uint8_t(code >> shift);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += char(byte);
        } else {
            out += Escaped(byte);
        }
    }
    return out;
}

std::string PalmDateText(uint32_t palmSeconds) {
    if (palmSeconds == 0) {
        return "never";
    }
    constexpr int64_t kPalmToUnix = 2082844800;
    const int64_t seconds = int64_t(palmSeconds) - kPalmToUnix;
    const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const int64_t inDay = seconds - days * 86400;
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld", (long long)year,
                  month, day, (long long)(inDay / 3600), (long long)(inDay / 60 % 60),
                  (long long)(inDay % 60));
    return text;
}

std::string PalmVersionText(uint32_t version) {
    const unsigned major = version >> 24, minor = version >> 20 & 0xF, fix = version >> 16 & 0xF,
                   stage = version >> 12 & 0xF, build = version & 0xFFF;
    std::string text = std::to_string(major) + "." + std::to_string(minor);
    if (fix != 0) {
        text += "." + std::to_string(fix);
    }
    static const char *const kStages[] = {" development", " alpha", " beta"};
    if (stage < 3) {
        text += kStages[stage] + (" " + std::to_string(build));
    }
    return text;
}

} // namespace ostervane
