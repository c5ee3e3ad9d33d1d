// The texts a ROM's contents are shown with: Windows-1252 names against the iconv conversion
// Tarnhollow uses, escapes for a terminal, codes, dates and version numbers.
#include <gtest/gtest.h>

#include "ostervane/core/rom_text.h"
#include "tarnhollow/common/palm_text.h"

namespace ostervane {
namespace {

TEST(RomText, EveryWindows1252ByteConvertsAsIconvDoes) {
    for (int byte = 1; byte < 256; byte++) {
        const std::string palm(1, char(byte));
        EXPECT_EQ(Utf8FromWindows1252(palm), tarnhollow::Utf8FromPalmText(palm)) << byte;
    }
    EXPECT_EQ(Utf8FromWindows1252("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(RomText, ShownTextEscapesControlCharacters) {
    EXPECT_EQ(ShownPalmText("a\tb\x7F\x81\x9F\xA0"), "a\\x09b\\x7F\\x81\xC5\xB8\xC2\xA0");
    EXPECT_EQ(ShownPalmText("Memo Pad_enUS"), "Memo Pad_enUS");
}

TEST(RomText, FourCharacterCodes) {
    EXPECT_EQ(FourCharText(0x70737973), "psys");
    EXPECT_EQ(FourCharText(0), "\\x00\\x00\\x00\\x00");
    EXPECT_EQ(FourCharText(0x615C62FF), "a\\x5Cb\\xFF");
}

TEST(RomText, PalmDates) {
    EXPECT_EQ(PalmDateText(0), "never");
    EXPECT_EQ(PalmDateText(1), "1904-01-01 00:00:01");
    EXPECT_EQ(PalmDateText(0xB6757900), "2001-01-01 00:00:00");
    EXPECT_EQ(PalmDateText(0xFFFFFFFF), "2040-02-06 06:28:15");
    EXPECT_EQ(PalmDateText(2082844800u + 951782400u), "2000-02-29 00:00:00");
}

TEST(RomText, VersionNumbers) {
    EXPECT_EQ(PalmVersionText(0x04003000), "4.0");
    EXPECT_EQ(PalmVersionText(0x03303000), "3.3");
    EXPECT_EQ(PalmVersionText(0x05453000), "5.4.5");
    EXPECT_EQ(PalmVersionText(0x0400200C), "4.0 beta 12");
    EXPECT_EQ(PalmVersionText(0x03500001), "3.5 development 1");
}

} // namespace
} // namespace ostervane
