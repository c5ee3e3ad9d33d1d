// The Remove page's computations: language letters and texts, remove rows, freed bytes and the
// expansion ROM left on the selected devices.
#include <gtest/gtest.h>

#include "catalogue_test_support.h"
#include "tarnhollow/catalogue/available_space.h"

namespace tarnhollow {
namespace {

using testing::CatalogueText;
using testing::EntryFields;
using testing::kExampleFile;
using testing::ParseCatalogue;
using Strings = std::vector<std::string>;

EntryFields Device(std::string name, std::string letters) {
    EntryFields fields;
    fields.name = std::move(name);
    fields.letters = std::move(letters);
    return fields;
}

TEST(LanguageList, OneDeviceOffersItsLanguagesInOrder) {
    DeviceCatalogue catalogue = ParseCatalogue(CatalogueText({Device("One", "EFG")}));
    std::string letters = CommonLanguageLetters(catalogue, {"One"});
    EXPECT_EQ(letters, "EFG");
    EXPECT_EQ(LanguageListTexts(letters),
              (Strings{"All", "Current", "English", "French", "German"}));
}

TEST(LanguageList, SeveralDevicesOfferTheCommonLettersInTheLaterOrder) {
    DeviceCatalogue catalogue = ParseCatalogue(
        CatalogueText({Device("First", "EFGIS"), Device("Second", "FGE"), Device("Third", "EF"),
                       Device("Fourth", "GI"), Device("Fifth", "SP")}));
    EXPECT_EQ(LanguageListTexts(CommonLanguageLetters(catalogue, {"First", "Second"})),
              (Strings{"All", "Current", "French", "German", "English"}));
    // An empty intersection starts again from the next device's letters.
    EXPECT_EQ(CommonLanguageLetters(catalogue, {"Third", "Fourth", "Fifth"}), "SP");
    EXPECT_EQ(CommonLanguageLetters(catalogue, {"Unknown"}), "");
    EXPECT_EQ(LanguageListTexts("EXBP?"),
              (Strings{"All", "Current", "English", "Portuguese", "Portuguese"}));
}

TEST(LanguageList, CodesAndTextsMapBothWays) {
    EXPECT_EQ(LanguageCodeForText("All"), "0");
    EXPECT_EQ(LanguageCodeForText("Current"), "-");
    EXPECT_EQ(LanguageCodeForText("German"), "G");
    EXPECT_EQ(LanguageCodeForText("Portuguese"), "P");
    EXPECT_EQ(LanguageCodeForText(""), "");
    EXPECT_EQ(LanguageTextForCode("-"), "Current");
    EXPECT_EQ(LanguageTextForCode("S"), "Spanish");
    EXPECT_EQ(LanguageTextForCode("B"), "Portuguese");
    EXPECT_EQ(LanguageTextForCode("P"), "Portuguese");
    EXPECT_EQ(LanguageTextForCode("0"), "All");
    EXPECT_EQ(LanguageTextForCode("Z"), "All");
    EXPECT_EQ(LanguageTextForCode("EF"), "All");
    EXPECT_FALSE(LanguageNameForLetter('e'));
}

TEST(RemoveListRows, DisplayNamesInOrderWithoutDuplicates) {
    EntryFields first = Device("First", "E"), second = Device("Second", "E");
    first.removes = {" Clock %Clock", "Note Pad %NotePadDB %SketchLib", "%Odd %OddDB",
                     "No Databases"};
    second.removes = {"Clock  %ClockDB", "Mail %MailDB"};
    DeviceCatalogue catalogue = ParseCatalogue(CatalogueText({first, second}));
    EXPECT_EQ(RemoveListRows(catalogue, {"Second", "First"}),
              (Strings{"Clock", "Mail", "Note Pad", "%Odd", "No Databases"}));
    EXPECT_TRUE(RemoveListRows(catalogue, {}).empty());
}

class ExampleEntry : public ::testing::Test {
protected:
    int32_t Available(const Strings &rows, const std::string &language) {
        return ComputeAvailableKB(catalogue_, {"Example Handheld"}, rows, language, 7);
    }
    DeviceCatalogue catalogue_ = ParseCatalogue(kExampleFile);
};

TEST_F(ExampleEntry, LanguagesAndApplicationsFreeWholeBlocks) {
    EXPECT_EQ(Available({}, ""), 16064);
    EXPECT_EQ(Available({}, "All"), 16064);
    EXPECT_EQ(Available({}, "English"), 16128);
    EXPECT_EQ(Available({}, "Current"), 16128); // the first language item is English's
    EXPECT_EQ(Available({"Clock"}, "English"), 16192);
    EXPECT_EQ(Available({"Clock"}, ""), 16064); // 12,000 bytes free no whole block
    EXPECT_EQ(Available({"Not There"}, "Italian"), 16064);
}

TEST_F(ExampleEntry, FreedBytesDropsTheKeysFirstWord) {
    const DeviceEntry &entry = *catalogue_[0];
    std::set<std::string> counted;
    EXPECT_EQ(FreedBytes(entry.languageItems[0], "English", entry, counted), 80000);
    EXPECT_EQ(counted, (std::set<std::string>{"FrenchDB ", "GermanDB "}));
    // Already counted for this entry: GermanDB is not freed twice.
    EXPECT_EQ(FreedBytes(entry.languageItems[1], "French", entry, counted), 40000);
    counted.clear();
    EXPECT_EQ(FreedBytes(" Clock %Clock", "Clock", entry, counted), 12000);
}

TEST(ComputeAvailableKB, SharedDatabasesAreCountedOncePerDevice) {
    EntryFields fields = Device("Mailer", "EF");
    fields.roms = {"MailDB %100000",   "NetLib %200000",  "ClipDB %100000",
                   "EnglishDB %60000", "FrenchDB %60000", "SystemLib %4000000"};
    fields.removes = {"Mail %MailDB %NetLib", "Web Clips %ClipDB %NetLib"};
    fields.languages = {"English %FrenchDB %NetLib"};
    DeviceCatalogue catalogue = ParseCatalogue(CatalogueText({fields}));
    // used 4,520,000; freeing 400,000 leaves 4,120,000 in 63 blocks.
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Mailer"}, {"Mail", "Web Clips"}, "", 1), 4160);
    // The language frees FrenchDB; NetLib was already counted: 4,060,000 in 62 blocks.
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Mailer"}, {"Mail", "Web Clips"}, "English", 1), 4224);
}

TEST(ComputeAvailableKB, ARowTakesTheFirstItemContainingIt) {
    EntryFields fields = Device("Clocks", "E");
    fields.roms = {"ClockDB %65536", "PhotoClockDB %131072", "SystemLib %4000000"};
    fields.removes = {"Photo Clock %PhotoClockDB", "Clock %ClockDB"};
    DeviceCatalogue catalogue = ParseCatalogue(CatalogueText({fields}));
    // used 4,196,608 (65 blocks, 4,032 K); "Clock" frees PhotoClockDB, two blocks.
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Clocks"}, {}, "", 1), 4032);
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Clocks"}, {"Clock"}, "", 1), 4160);
}

TEST(ComputeAvailableKB, SmallestDeviceWinsAndNothingUsefulFallsBack) {
    EntryFields small = Device("Small", "E"), big = Device("Big", "E"), full = Device("Full", "E");
    small.roms = {"SystemLib %4000000"};
    big.flash = "16777216";
    big.roms = {"SystemLib %4000000"};
    full.roms = {"SystemLib %8388608"};
    EntryFields twin = big;
    twin.flash = "9437184";
    DeviceCatalogue catalogue = ParseCatalogue(CatalogueText({small, big, full, twin}));
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Big", "Small"}, {}, "", 99), 4224);
    // Both entries named "Big" count; the second has 1 MB more flash than Small.
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Big"}, {}, "", 99), 5248);
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Full"}, {}, "", 99), 99);
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Full", "Small"}, {}, "", 99), 99);
    EXPECT_EQ(ComputeAvailableKB(catalogue, {}, {}, "", 99), 99);
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Unknown"}, {}, "", 99), 99);
}

TEST(ComputeAvailableKB, EntriesWithoutAPositiveBlockSizeGiveNoResult) {
    DeviceCatalogue catalogue = ParseCatalogue(kExampleFile);
    auto broken = std::make_unique<DeviceEntry>(*catalogue[0]);
    broken->blockBytes = 0;
    broken->flashBytes = 1024;
    catalogue.push_back(std::move(broken));
    EXPECT_EQ(ComputeAvailableKB(catalogue, {"Example Handheld"}, {"Clock"}, "English", 5), 16192);
}

} // namespace
} // namespace tarnhollow
