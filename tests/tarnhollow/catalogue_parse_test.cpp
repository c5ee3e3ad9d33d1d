// Cutting catalogue entries by position, the entry's computed sizes, and loading the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "catalogue_test_support.h"
#include "tarnhollow/catalogue/device_catalogue.h"

namespace tarnhollow {
namespace {

using testing::CatalogueText;
using testing::EntryFields;
using testing::kExampleFile;
using testing::Lines;
using testing::ParseCatalogue;
using testing::RecordingBoxes;
using Strings = std::vector<std::string>;

TEST(ParseDeviceEntry, ReadsTheExampleEntry) {
    std::string text = kExampleFile;
    std::unique_ptr<DeviceEntry> entry = ParseDeviceEntry(text);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->name, "Example Handheld");
    EXPECT_EQ(entry->value2, 1);
    EXPECT_EQ(entry->value3, "spare");
    EXPECT_EQ(entry->languageLetters, "EFG");
    EXPECT_EQ(entry->deviceId, "EXMP");
    EXPECT_EQ(entry->flashBytes, 16777216);
    EXPECT_EQ(entry->value7, 0);
    EXPECT_EQ(entry->blockBytes, 65536);
    EXPECT_EQ(entry->romDatabases,
              (Strings{"AddressDB %81920", "DatebookDB %65536", "Clock %12000", "EnglishDB %40000",
                       "FrenchDB %40000", "GermanDB %40000"}));
    EXPECT_EQ(entry->usedBytes, 279456);
    EXPECT_EQ(entry->availableKB, 16064);
    EXPECT_EQ(entry->removeItems, Strings{"Clock %Clock"});
    // Every item but a section's last keeps its carriage return; readers trim it.
    EXPECT_EQ(entry->languageItems,
              (Strings{"English %FrenchDB %GermanDB\r", "French %EnglishDB %GermanDB"}));
    EXPECT_EQ(text, "##\r\n");
    EXPECT_EQ(ParseDeviceEntry(text), nullptr);
}

TEST(ParseDeviceEntry, EntriesNeedTheClosingMarks) {
    std::string unterminated = kExampleFile.substr(0, kExampleFile.size() - 4);
    EXPECT_EQ(ParseDeviceEntry(unterminated), nullptr);
    EXPECT_EQ(unterminated, kExampleFile.substr(0, kExampleFile.size() - 4));

    std::string second = kExampleFile;
    second.replace(second.find("Example Handheld"), 16, "Second Handheld");
    std::string text = kExampleFile.substr(0, kExampleFile.size() - 4) + second + "trailing junk";
    std::unique_ptr<DeviceEntry> first = ParseDeviceEntry(text);
    std::unique_ptr<DeviceEntry> next = ParseDeviceEntry(text);
    ASSERT_TRUE(first && next);
    EXPECT_EQ(first->name, "Example Handheld");
    EXPECT_EQ(next->name, "Second Handheld");
    EXPECT_EQ(next->availableKB, 16064);
    EXPECT_EQ(ParseDeviceEntry(text), nullptr);
}

TEST(ParseDeviceEntry, ValuesAreCutByPosition) {
    std::string text =
        Lines({"##", "*Device Name - Handheld - Model-X", "*Value Two -", "*Value Three -",
               "*Languages - EFGISPBEFGISP", "*Device Id - AB", "*Flash Size -8388608",
               "*Value Seven -   -12kB", "*Block Size - 65536", "*ROM", "$A %1", "##"});
    std::unique_ptr<DeviceEntry> entry = ParseDeviceEntry(text);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->name, "Handheld - Model-X");
    EXPECT_EQ(entry->value2, 0);
    EXPECT_EQ(entry->value3, "");
    EXPECT_EQ(entry->languageLetters, "EFGISPBEFGI");
    EXPECT_EQ(entry->flashBytes, 388608); // the first digit was taken for the separator
    EXPECT_EQ(entry->value7, -12);
    EXPECT_EQ(entry->romDatabases, Strings{"A %1"});
}

TEST(ParseDeviceEntry, RomItemSizes) {
    EntryFields fields;
    fields.roms = {"Orphan", "  4096  ", "Name With Spaces %  100 ", "Padded %000000000012000",
                   "Negative %-96"};
    DeviceCatalogue catalogue = ParseCatalogue(CatalogueText({fields}));
    ASSERT_EQ(catalogue.size(), 1u);
    // 0 + 4096 + 100 + 1 (only eleven characters are read) - 96.
    EXPECT_EQ(catalogue[0]->usedBytes, 4101);
    EXPECT_EQ(catalogue[0]->romDatabases[1], "4096");

    fields.roms = {"Huge %99999999999", "Huge2 %2147483647"};
    catalogue = ParseCatalogue(CatalogueText({fields}));
    EXPECT_EQ(catalogue[0]->usedBytes, INT32_MAX);
    EXPECT_LT(catalogue[0]->availableKB, 0);
}

TEST(ParseDeviceEntry, AvailableKBRoundsUpToWholeBlocks) {
    const std::pair<const char *, int32_t> cases[] = {
        {"4000000", 4224}, {"4063232", 4224}, {"4063233", 4160},
        {"0", 8192},       {"9000000", -640}, {"-65536", 8256},
    };
    for (auto [used, kb] : cases) {
        EntryFields fields;
        fields.roms = {std::string("Db %") + used};
        DeviceCatalogue catalogue = ParseCatalogue(CatalogueText({fields}));
        ASSERT_EQ(catalogue.size(), 1u);
        EXPECT_EQ(catalogue[0]->availableKB, kb) << used;
    }
}

TEST(ParseDeviceEntry, RemoveAndLanguageItemsLoseLineEndsAndDoubleSpaces) {
    EntryFields fields;
    fields.removes = {"Note  Pad   %NotePadDB", "Clock %Clock"};
    fields.languages = {"English    %FrenchDB"};
    DeviceCatalogue catalogue = ParseCatalogue(CatalogueText({fields}));
    ASSERT_EQ(catalogue.size(), 1u);
    EXPECT_EQ(catalogue[0]->removeItems, (Strings{"NotePad %NotePadDB\r", "Clock %Clock"}));
    EXPECT_EQ(catalogue[0]->languageItems, Strings{"English%FrenchDB"});
}

TEST(ParseDeviceEntry, MissingSectionMarkersGiveEmptySections) {
    std::string withAll = CatalogueText([] {
        EntryFields fields;
        fields.roms = {"Clock %12000"};
        fields.removes = {"Clock %Clock"};
        fields.languages = {"English %FrenchDB"};
        return std::vector<EntryFields>{fields};
    }());
    auto without = [&](std::string marker) {
        std::string text = withAll;
        text.erase(text.find(marker), marker.size() + 2);
        DeviceCatalogue catalogue = ParseCatalogue(text);
        if (catalogue.size() != 1) {
            ADD_FAILURE() << "without " << marker;
            return DeviceEntry{};
        }
        return std::move(*catalogue[0]);
    };

    DeviceEntry noLanguages = without("*Language List");
    EXPECT_EQ(noLanguages.romDatabases, Strings{"Clock %12000"});
    EXPECT_EQ(noLanguages.removeItems, (Strings{"Clock %Clock\r", "English %FrenchDB"}));
    EXPECT_TRUE(noLanguages.languageItems.empty());

    DeviceEntry noRemovals = without("*Remove List");
    EXPECT_EQ(noRemovals.romDatabases, (Strings{"Clock %12000", "Clock %Clock"}));
    EXPECT_EQ(noRemovals.usedBytes, 12000);
    EXPECT_TRUE(noRemovals.removeItems.empty());
    EXPECT_EQ(noRemovals.languageItems, Strings{"English %FrenchDB"});
}

TEST(AppendDeviceEntries, SkipsEntriesWithoutAPositiveBlockSize) {
    EntryFields zero, negative, good;
    zero.name = "Zero Block";
    zero.block = "0";
    negative.name = "Negative Block";
    negative.block = "-65536";
    good.name = "Good";
    RecordingBoxes boxes;
    DeviceCatalogue catalogue;
    AppendDeviceEntries(CatalogueText({zero, negative, good}), catalogue, boxes);
    ASSERT_EQ(catalogue.size(), 1u);
    EXPECT_EQ(catalogue[0]->name, "Good");
    EXPECT_EQ(boxes.texts,
              (Strings{"Device entry \"Zero Block\" has no valid block size and was skipped",
                       "Device entry \"Negative Block\" has no valid block size and was skipped"}));
}

class LoadDeviceCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("catalogue_test_" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    void Write(const std::filesystem::path &name, const std::string &text) {
        std::ofstream(folder_ / name, std::ios::binary) << text;
    }
    static std::string Named(const std::string &name) {
        EntryFields fields;
        fields.name = name;
        return CatalogueText({fields});
    }
    std::filesystem::path folder_;
    RecordingBoxes boxes_;
};

TEST_F(LoadDeviceCatalogueTest, MissingFolderGivesAnEmptyCatalogue) {
    EXPECT_TRUE(LoadDeviceCatalogue(folder_ / "absent", boxes_).empty());
    EXPECT_TRUE(LoadDeviceCatalogue(folder_, boxes_).empty());
    EXPECT_TRUE(boxes_.texts.empty());
}

TEST_F(LoadDeviceCatalogueTest, ReadsFilesByNameSkipsFoldersAndReportsUnreadableFiles) {
    Write("b.dev", Named("From B"));
    Write("a", kExampleFile.substr(0, kExampleFile.size() - 4) + Named("Also From A"));
    std::filesystem::create_directory(folder_ / "sub");
    Write("sub/c.dev", Named("From Sub"));
    std::filesystem::create_symlink(folder_ / "gone", folder_ / "0_dangling");

    DeviceCatalogue catalogue = LoadDeviceCatalogue(folder_, boxes_);
    std::vector<std::string> names;
    for (const auto &entry : catalogue) {
        names.push_back(entry->name);
    }
    EXPECT_EQ(names, (Strings{"Example Handheld", "Also From A", "From B"}));
    EXPECT_EQ(boxes_.texts, Strings{"Failed to open input Device file"});
}

TEST(SampleCatalogue, LoadsWithoutMessages) {
    auto samples = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                   "samples" / "Devices";
    RecordingBoxes boxes;
    DeviceCatalogue catalogue = LoadDeviceCatalogue(samples, boxes);
    EXPECT_TRUE(boxes.texts.empty());
    ASSERT_GE(catalogue.size(), 4u);
    for (const auto &entry : catalogue) {
        EXPECT_GT(entry->availableKB, 0) << entry->name;
        EXPECT_EQ(entry->deviceId.size(), 4u) << entry->name;
        EXPECT_FALSE(entry->removeItems.empty()) << entry->name;
        EXPECT_FALSE(entry->languageItems.empty()) << entry->name;
    }
    std::vector<const DeviceEntry *> example = EntriesNamed(catalogue, "Example Handheld");
    ASSERT_EQ(example.size(), 1u);
    EXPECT_EQ(example[0]->availableKB, 16064);
}

} // namespace
} // namespace tarnhollow
