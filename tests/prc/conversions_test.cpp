// Text conversions: error texts, Palm times, attribute words, four-character codes.
#include "prc_test_support.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace prctest;

namespace {

constexpr uint32_t kPalmEpochOffset = 2082844800u;
constexpr uint32_t kFeb3Of2001At0405Utc = 981173100u + kPalmEpochOffset;
constexpr uint32_t kJul15Of2001At0730Utc = 995182200u + kPalmEpochOffset;
constexpr uint32_t kBadTime = 0xFFFFFFFF;
constexpr const char *kUtc = "UTC0", *kPlus3 = "<+03>-3", *kCet = "CET-1CEST,M3.5.0,M10.5.0/3";

// Every time test names its zone; the other tests do not depend on it.
void useZone(const char *tz) {
    setenv("TZ", tz, 1);
    tzset();
}

std::string text(uint32_t time) {
    char buffer[PRC_TIME_TEXT_SIZE];
    return prctimetostr(buffer, time);
}

} // namespace

TEST(TimeText, ZeroIsTheFixedDateInAnyZone) {
    for (const char *zone : {kUtc, kPlus3}) {
        useZone(zone);
        EXPECT_EQ(text(0), "190401010000") << zone;
    }
    EXPECT_EQ(prctimetostr(nullptr, 0), nullptr);
    EXPECT_EQ(prcgeterrno(), PRC_EBADARG);
}

TEST(TimeText, LocalTimeBothWays) {
    const struct {
        const char *zone, *text;
        uint32_t time;
    } cases[] = {{kUtc, "200102030405", kFeb3Of2001At0405Utc},
                 {kPlus3, "200102030705", kFeb3Of2001At0405Utc},
                 {kCet, "200102030505", kFeb3Of2001At0405Utc},
                 {kCet, "200107150930", kJul15Of2001At0730Utc}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.zone << " " << c.text);
        useZone(c.zone);
        EXPECT_EQ(text(c.time), c.text);
        EXPECT_EQ(prcstrtotime(c.text), c.time);
    }
}

TEST(TimeText, ShortFormsTakeCenturyAndYearFromToday) {
    useZone(kUtc);
    const time_t now = time(nullptr);
    tm today{};
    gmtime_r(&now, &today);
    tm feb3{};
    feb3.tm_min = 5;
    feb3.tm_hour = 4;
    feb3.tm_mday = 3;
    feb3.tm_mon = 1;
    feb3.tm_year = today.tm_year;
    EXPECT_EQ(prcstrtotime("02030405"), uint32_t(timegm(&feb3)) + kPalmEpochOffset);
    feb3.tm_year = (1900 + today.tm_year) / 100 * 100 + 1 - 1900;
    EXPECT_EQ(prcstrtotime("0102030405"), uint32_t(timegm(&feb3)) + kPalmEpochOffset);
}

TEST(TimeText, ClockWordsAndMalformedTexts) {
    EXPECT_EQ(prcstrtotime("never"), 0u);
    uint32_t stored = 0;
    const uint32_t before = uint32_t(time(nullptr)) + kPalmEpochOffset;
    const uint32_t returned = prctime(&stored);
    EXPECT_EQ(returned, stored);
    const uint32_t now = prcstrtotime("now");
    EXPECT_GE(stored, before);
    EXPECT_GE(now, stored);
    EXPECT_LE(now, uint32_t(time(nullptr)) + kPalmEpochOffset);
    for (const char *bad : {"NOW", "Never", "", "200102030", "20010203040", "2001020304050"})
        EXPECT_EQ(prcstrtotime(bad), kBadTime) << '"' << bad << '"';
    EXPECT_EQ(prcstrtotime(nullptr), kBadTime);
}

TEST(ErrorText, EveryCodeHasItsText) {
    std::string all;
    for (int code = -1; code <= 12; ++code)
        all += prcstrerror(code) + std::string("|");
    EXPECT_EQ(all, "unexpected error|no error|zero length record|record too big (>64K)|"
                   "seek failed|read failed|memory allocation failed|stat failed|open failed|"
                   "bad argument|stream operation not on stream|end of file|unexpected error|"
                   "unexpected error|");
}

TEST(AttributeText, NamesSetBitsInOrder) {
    char buffer[PRC_ATTR_TEXT_SIZE];
    EXPECT_STREQ(prcstrfattr(buffer, 0x0209), "resource|backup|launchable");
    EXPECT_STREQ(prcstrfattr(buffer, 0x7000), "");
    EXPECT_STREQ(prcstrfattr(nullptr, 0xFFFF),
                 "resource|readonly|dirty|backup|newer|reset|copyprevent|stream|hidden|"
                 "launchable|recyclable|bundle|open");
}

TEST(AttributeText, ParsesNamesAndNumbers) {
    const std::pair<const char *, int> cases[] = {{"Resource|launchable", 0x0201},
                                                  {"resource launchable", -1},
                                                  {"resource|0x100", 0x0101},
                                                  {"backup|newer", 0x0018},
                                                  {"read", -1},
                                                  {"", 0},
                                                  {"010|12", 0x000C},
                                                  {"0X1f|open", 0x801F},
                                                  {"resource,backup", -1}};
    for (const auto &[text, word] : cases)
        EXPECT_EQ(prcstrpattr(text), word) << '"' << text << '"';

    char buffer[PRC_ATTR_TEXT_SIZE];
    for (uint32_t word = 0; word <= 0xFFFF; ++word)
        ASSERT_EQ(prcstrpattr(prcstrfattr(buffer, uint16_t(word))), int(word & 0x8FFF)) << word;
}

TEST(AttributeText, ParsesRecordAttributes) {
    EXPECT_EQ(prcstrprecordattr("secret|dirty"), 0x50);
    EXPECT_EQ(prcstrprecordattr("bogus"), 0xFF);
    EXPECT_EQ(prcstrprecordattr("resource"), 0xFF);
    EXPECT_EQ(prcstrprecordattr("DELETE|busy|3"), 0xA3);
    EXPECT_EQ(prcstrprecordattr("0x104"), 0x04);
}

TEST(TypeText, FourCharacterCodes) {
    char buffer[PRC_TYPE_TEXT_SIZE];
    EXPECT_EQ(prctypetostr(buffer, 0x4A46726D), buffer);
    EXPECT_STREQ(buffer, "JFrm");
    EXPECT_STREQ(prctypetostr(nullptr, 0x6170706C), "appl");
    EXPECT_EQ(prcstrtotype("Jpay"), 0x4A706179u);
    EXPECT_EQ(prcstrtotype("applet"), 0x6170706Cu);
    EXPECT_EQ(prcstrtotype("ab"), 0x61620000u);
    EXPECT_EQ(prcstrtotype(""), 0u);
    const uint8_t high[] = {0xFF, 0xFE}, low[] = {0x01, 0x02};
    EXPECT_EQ(prcbuftouint16(high), 0xFFFE);
    EXPECT_EQ(prcbuftouint16(low), 0x0102);
}
