// The rules of the Device, RAM, expansion-ROM, Config and Remove pages and the size summary.
#include <gtest/gtest.h>

#include "pages_test_support.h"
#include "tarnhollow/pages/config_page.h"
#include "tarnhollow/pages/database_lists.h"
#include "tarnhollow/pages/device_page.h"
#include "tarnhollow/pages/remove_page.h"
#include "tarnhollow/pages/size_summary.h"

namespace tarnhollow {
namespace {

using namespace testing;

class PagesTest : public ::testing::Test {
protected:
    void Use(DeviceCatalogue catalogue) {
        catalogue_ = std::move(catalogue);
        doc_ = std::make_unique<CTarnhollowDoc>(&catalogue_, folder_.Path() / "no-components");
        doc_->OnNewDocument();
    }
    ScratchFolder folder_;
    DeviceCatalogue catalogue_;
    std::unique_ptr<CTarnhollowDoc> doc_;
};

TEST_F(PagesTest, DeviceRowsSelectDevicesIdsAndTheSmallestAvailableValue) {
    Use(CatalogueOf({EntryText("Big", "BIG1", "E", 16777216, 65536, {"A %1000"}, {}, {}),
                     EntryText("Small", "SML1", "E", 8388608, 65536, {"A %4000000"}, {}, {}),
                     EntryText("Big", "BIG2", "E", 16777216, 65536, {"A %1000"}, {}, {})}));
    DevicePageRules page(*doc_);
    EXPECT_EQ(page.RowTexts(), (std::vector<std::string>{"Big", "Small", "Big"}));
    page.Initialise();
    EXPECT_EQ(doc_->m_allDevicesMinKB, 4224);
    EXPECT_FALSE(page.CanLeave());

    doc_->m_removeList = {"Clock"};
    doc_->m_languageCode = "E";
    EXPECT_EQ(page.OnRowsChanged({true, false, false}), "16320K");
    EXPECT_EQ(doc_->m_deviceIds, (std::vector<std::string>{"BIG1", "BIG2"}))
        << "same name, both ids";
    EXPECT_TRUE(doc_->m_removeList.empty());
    EXPECT_EQ(doc_->m_languageCode, "0");
    EXPECT_TRUE(doc_->m_deviceSelectionChanged);
    EXPECT_TRUE(page.CanLeave());

    EXPECT_EQ(page.OnRowsChanged({true, true, false}), "4224K");
    EXPECT_EQ(doc_->m_expansionRomKB, 4224);
    EXPECT_EQ(doc_->m_baseAvailableKB, 4224);
    EXPECT_EQ(page.OnRowsChanged({false, false, false}), "") << "nothing checked";
    EXPECT_EQ(doc_->m_expansionRomKB, 4224) << "keeps its value";
}

TEST_F(PagesTest, ADocumentFromAFileChecksItsDevicesAgain) {
    Use(CatalogueOf(
        {ExampleHandheld(), EntryText("Other", "OTHR", "E", 8388608, 65536, {"A %1"}, {}, {})}));
    doc_->m_deviceIds = {"EXMP"};
    doc_->m_expansionRomKB = 16128;
    DevicePageRules page(*doc_);
    EXPECT_EQ(page.Initialise(), (std::vector<bool>{true, false}));
    EXPECT_EQ(doc_->m_selectedDevices, (std::vector<std::string>{"Example Handheld"}));
    EXPECT_EQ(page.OnPaintWithEmptyAvailable(), "16128K");
    EXPECT_EQ(doc_->m_baseAvailableKB, doc_->m_allDevicesMinKB);
}

TEST_F(PagesTest, NegativeAvailableSpaceShowsNothing) {
    Use(CatalogueOf({EntryText("Full", "FULL", "E", 65536, 65536, {"A %70000"}, {}, {})}));
    DevicePageRules page(*doc_);
    page.Initialise();
    EXPECT_EQ(page.OnRowsChanged({true}), "");
}

TEST_F(PagesTest, ListsAddDeleteAndRefuseDuplicatesAcrossBothLists) {
    Use({});
    auto app = folder_.Database("Notes", kAppl, 10000);
    auto data = folder_.Database("Memo", kData, 3000);
    EXPECT_EQ(AddDatabases(*doc_, DatabaseList::Ram, {app, app, folder_.Path() / "missing.prc"}),
              1u);
    EXPECT_EQ(AddDatabases(*doc_, DatabaseList::Rom, {app, data}), 1u)
        << "Notes is on the RAM list";
    EXPECT_EQ(doc_->m_ramBytes, 10000);
    EXPECT_EQ(doc_->m_ramBackupBytes, 10000);
    EXPECT_EQ(doc_->m_romBytes, 3000);
    const PackageEntry &ram = doc_->m_ramList[0];
    EXPECT_EQ(ram.Name(), "Notes");
    EXPECT_EQ(ram.flags, 5);
    EXPECT_EQ(ram.location, 3);
    EXPECT_EQ(ram.headerWord, PRC_FLAGS_RESOURCE);
    EXPECT_EQ(doc_->m_romList[0].flags, 18);
    EXPECT_EQ(doc_->m_romList[0].location, 2);
    EXPECT_TRUE(doc_->IsModified());

    SizeSummary summary = ComputeSizeSummary(*doc_);
    EXPECT_EQ(summary.ramRequired, "9K");
    EXPECT_EQ(summary.expansionRomRequired, "12K");

    EXPECT_EQ(ApplyRamChecks(*doc_, {false}), (std::vector<bool>{false}));
    EXPECT_EQ(doc_->m_ramBytes, 0);
    EXPECT_EQ(doc_->m_ramList[0].flags, 4);
    EXPECT_TRUE(DeleteEntry(*doc_, DatabaseList::Ram, 0));
    EXPECT_EQ(doc_->m_ramBytes, 0) << "an unchecked row took nothing off";
    EXPECT_TRUE(DeleteEntry(*doc_, DatabaseList::Rom, 0));
    EXPECT_EQ(doc_->m_romBytes, 0);
    EXPECT_FALSE(DeleteEntry(*doc_, DatabaseList::Rom, 0));
}

TEST_F(PagesTest, ARamRowWithoutItsFileCannotBeChecked) {
    Use({});
    AddDatabases(*doc_, DatabaseList::Ram,
                 {folder_.Database("A", kAppl, 2048), folder_.Database("B", kAppl, 4096)});
    doc_->m_ramList[1].file.reset();
    EXPECT_EQ(ApplyRamChecks(*doc_, {true, true}), (std::vector<bool>{true, false}));
    EXPECT_EQ(doc_->m_ramBytes, 2048);
    EXPECT_EQ(doc_->m_ramList[1].flags, 4);
    EXPECT_EQ(doc_->m_ramList[1].location, 2);
}

TEST_F(PagesTest, PackageSizeCountsComponentsAndRoundsUp) {
    Use({});
    doc_->m_flashInitSize = 300;
    doc_->m_payloadSize = 225;
    doc_->m_flashRestoreSize = 5000;
    EXPECT_EQ(ComputeSizeSummary(*doc_).packageSize, "2k") << "1,025 bytes, no FlashRestore";
    doc_->m_payloadSize = 224;
    SizeSummary summary = ComputeSizeSummary(*doc_);
    EXPECT_EQ(summary.packageSize, "1k") << "exactly 1,024 bytes";
    EXPECT_EQ(doc_->m_packageKB, 1);
    EXPECT_EQ(summary.ramRequired, "");
    AddDatabases(*doc_, DatabaseList::Ram, {folder_.Database("A", kAppl, 1000)});
    EXPECT_EQ(ComputeSizeSummary(*doc_).packageSize, "7k")
        << "FlashRestore joins with a list entry";
    EXPECT_EQ(ComputeSizeSummary(*doc_).ramRequired, "") << "below 1 K";
}

TEST_F(PagesTest, LaunchListOffersApplicationsAndFindsTheStoredChoice) {
    Use({});
    AddDatabases(*doc_, DatabaseList::Ram,
                 {folder_.Database("Notes", kAppl, 500), folder_.Database("Memo", kData, 500)});
    AddDatabases(*doc_, DatabaseList::Rom, {folder_.Database("Games", kAppl, 500)});
    std::vector<std::string> items = LaunchListItems(*doc_);
    EXPECT_EQ(items, (std::vector<std::string>{"None", "Notes", "Games"}));
    EXPECT_EQ(LaunchSelection(*doc_, items), 0u);
    doc_->m_launchSet = true;
    doc_->m_launchAfterReset = "gam";
    EXPECT_EQ(LaunchSelection(*doc_, items), 2u) << "begins with, without regard to case";
    doc_->m_launchAfterReset = "Chess";
    EXPECT_EQ(LaunchSelection(*doc_, items), std::nullopt);
    doc_->m_ramList[0].file.reset();
    EXPECT_EQ(LaunchListItems(*doc_), (std::vector<std::string>{"None", "Games"}));

    SetPackageName(*doc_, std::string(40, 'n'));
    EXPECT_EQ(doc_->m_packageName.size(), 32u);
    EXPECT_EQ(ChoosePreinstall(*doc_, folder_.Database("Setup", kAppl, 800)), "Setup");
    EXPECT_TRUE(doc_->m_hasPreinstall);
    std::FILE *junk = std::fopen((folder_.Path() / "junk").c_str(), "w");
    std::fputs("not a database", junk);
    std::fclose(junk);
    EXPECT_EQ(ChoosePreinstall(*doc_, folder_.Path() / "junk"), "Setup")
        << "a non-database is not kept";
    EXPECT_EQ(doc_->m_preinstallName, "Setup");
}

TEST_F(PagesTest, RemovePageOffersTheCommonLanguagesAndFreesTheirSpace) {
    Use(CatalogueOf({ExampleHandheld()}));
    DevicePageRules devices(*doc_);
    devices.Initialise();
    devices.OnRowsChanged({true});
    RemovePageRules page(*doc_);
    page.Initialise();
    EXPECT_TRUE(doc_->m_installStubs);
    ASSERT_TRUE(page.OnSetActive());
    EXPECT_FALSE(page.OnSetActive()) << "built once per device selection";
    EXPECT_EQ(page.View().rows, (std::vector<std::string>{"Clock"}));
    EXPECT_EQ(page.View().languages,
              (std::vector<std::string>{"All", "Current", "English", "French", "German"}));
    EXPECT_EQ(page.AvailableText(), "16064K");
    page.OnLanguageChosen(2);
    EXPECT_EQ(doc_->m_languageCode, "E");
    EXPECT_EQ(page.AvailableText(), "16128K");
    page.OnRowsChanged({true});
    EXPECT_EQ(page.AvailableText(), "16192K");
    EXPECT_EQ(doc_->m_removeList, (std::vector<std::string>{"Clock"}));
}

TEST_F(PagesTest, RemovePageRestoresAStoredChoiceAfterAnotherSelection) {
    Use(CatalogueOf({EntryText("One", "ONE1", "EFGIS", 8388608, 65536, {"A %1"}, {"Clock %A"}, {}),
                     EntryText("Two", "TWO2", "FGE", 8388608, 65536, {"A %1"}, {}, {})}));
    DevicePageRules devices(*doc_);
    devices.Initialise();
    devices.OnRowsChanged({true, true});
    doc_->m_languageCode = "G";
    doc_->m_removeList = {"Clock"};
    RemovePageRules page(*doc_);
    page.OnSetActive();
    EXPECT_EQ(page.View().languages,
              (std::vector<std::string>{"All", "Current", "French", "German", "English"}));
    EXPECT_EQ(page.View().selectedLanguage, 3u);
    EXPECT_EQ(page.View().checked, (std::vector<bool>{true}));
}

} // namespace
} // namespace tarnhollow
