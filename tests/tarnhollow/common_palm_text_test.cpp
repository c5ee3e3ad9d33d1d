// The handhelds' 8-bit text and UTF-8: showing stored bytes, encoding typed text, refusing
// what the handhelds cannot hold.
#include <gtest/gtest.h>

#include "tarnhollow/common/palm_text.h"

namespace tarnhollow {
namespace {

TEST(PalmText, WesternLettersShowAsTheirCharacters) {
    EXPECT_EQ(Utf8FromPalmText("Caf\xE9"), "Caf\u00E9");
    EXPECT_EQ(Utf8FromPalmText("\x80 \x8A \x9F"), "\u20AC \u0160 \u0178"); // euro, S caron, Y
    EXPECT_EQ(Utf8FromPalmText("Clock"), "Clock");
    EXPECT_EQ(Utf8FromPalmText(""), "");
}

// Showing and typing back what was shown gives the stored bytes, every byte included.
TEST(PalmText, EveryByteShowsAndComesBackUnchanged) {
    std::string all;
    for (int byte = 1; byte < 256; byte++) {
        all += static_cast<char>(byte);
    }
    const std::string shown = Utf8FromPalmText(all);
    EXPECT_EQ(Utf8FromPalmText("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
    const PalmTextEncoding back = PalmTextFromUtf8(shown);
    ASSERT_TRUE(back.palm.has_value()) << back.refused;
    EXPECT_EQ(*back.palm, all);
}

TEST(PalmText, TypedTextBecomesOneBytePerCharacter) {
    const PalmTextEncoding typed = PalmTextFromUtf8("Caf\u00E9 \u20AC\u00FF");
    ASSERT_TRUE(typed.palm.has_value());
    EXPECT_EQ(*typed.palm, "Caf\xE9 \x80\xFF");
    EXPECT_TRUE(typed.refused.empty());
}

TEST(PalmText, CharactersWithoutAWesternFormAreRefusedByName) {
    const PalmTextEncoding snowman = PalmTextFromUtf8("Snow\u2603man\u65E5");
    EXPECT_FALSE(snowman.palm.has_value());
    EXPECT_EQ(snowman.refused, "\u2603");
    EXPECT_EQ(NoPalmFormText(snowman.refused),
              "The character \"\u2603\" cannot be used: names on the handheld are in the "
              "Western (Windows-1252) character set.");
    EXPECT_EQ(PalmTextFromUtf8("Clef \U0001D11E").refused, "\U0001D11E");

    // Bytes that are no UTF-8 (a file name from elsewhere, say) are named by their value.
    EXPECT_EQ(PalmTextFromUtf8("Caf\xE9").refused, "\\xe9");
    EXPECT_EQ(PalmTextFromUtf8("\xC0\x80").refused, "\\xc0");
    EXPECT_EQ(PalmTextFromUtf8("\xED\xA0\x80").refused, "\\xed"); // a surrogate
    EXPECT_EQ(PalmTextFromUtf8("end\xE2\x82").refused, "\\xe2");  // cut short
}

} // namespace
} // namespace tarnhollow
