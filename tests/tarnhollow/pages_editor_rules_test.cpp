// The boot-logo page's rules, the database property texts and the keyboard lock indicators.
#include <gtest/gtest.h>

#include <fstream>

#include "bitmap_files.h"
#include "pages_test_support.h"
#include "tarnhollow/document/boot_logo_database.h"
#include "tarnhollow/document/stream_files.h"
#include "tarnhollow/pages/boot_logo_page.h"
#include "tarnhollow/pages/config_page.h"
#include "tarnhollow/pages/database_info.h"
#include "tarnhollow/pages/database_lists.h"
#include "tarnhollow/pages/lock_indicators.h"

namespace tarnhollow {
namespace {

namespace fs = std::filesystem;
using namespace testing;

class BootLogoPageTest : public ::testing::Test {
protected:
    void SetUp() override { doc_.OnNewDocument(); }
    fs::path Bitmap(const std::string &name, int32_t width, int32_t height, uint16_t bits) {
        return WriteBytes(folder_.Path() / name, BitmapFile(width, height, bits));
    }
    ScratchFolder folder_;
    CTarnhollowDoc doc_{nullptr, "no-components"};
};

TEST_F(BootLogoPageTest, A160By160LogoOfAnyShortDepthIsTakenWhole) {
    EXPECT_EQ(doc_.m_bitmapHolder.source(), BitmapHolder::Source::DefaultLogo);
    for (uint16_t bits : {1, 4, 8, 16}) {
        doc_.SetModifiedFlag(false);
        const fs::path file = Bitmap("logo.bmp", 160, 160, bits);
        ASSERT_EQ(SetBootLogo(doc_, file, folder_.Path()), SetLogoResult::Set) << bits;
        ASSERT_TRUE(doc_.m_bootLogoFile);
        EXPECT_TRUE(doc_.IsModified());
        EXPECT_EQ(doc_.m_bitmapHolder.source(), BitmapHolder::Source::File);
        EXPECT_EQ(doc_.m_bitmapHolder.fileBytes().size(), fs::file_size(file));
        EXPECT_EQ(DatabaseNameIn(doc_.m_bootLogoFile.get()), "InstallBootBitmaps");
    }
}

TEST_F(BootLogoPageTest, RefusalsLeaveTheDocumentAsItWas) {
    ASSERT_EQ(SetBootLogo(doc_, Bitmap("first.bmp", 160, 160, 1), folder_.Path()),
              SetLogoResult::Set);
    std::FILE *first = doc_.m_bootLogoFile.get();
    const std::vector<uint8_t> shown = doc_.m_bitmapHolder.fileBytes();
    doc_.SetModifiedFlag(false);

    EXPECT_EQ(SetBootLogo(doc_, Bitmap("tall.bmp", 160, 161, 1), folder_.Path()),
              SetLogoResult::WrongSize);
    EXPECT_EQ(SetBootLogo(doc_, Bitmap("wide.bmp", 161, 160, 1), folder_.Path()),
              SetLogoResult::WrongSize);
    EXPECT_EQ(
        SetBootLogo(doc_, WriteBytes(folder_.Path() / "text.bmp", {'h', 'i'}), folder_.Path()),
        SetLogoResult::NotValid);
    EXPECT_EQ(SetBootLogo(doc_, folder_.Path() / "missing.bmp", folder_.Path()),
              SetLogoResult::NotValid);
    EXPECT_EQ(SetBootLogo(doc_, Bitmap("deep.bmp", 160, 160, 24), folder_.Path()),
              SetLogoResult::TooLarge)
        << "76,854 bytes do not fit one resource";
    EXPECT_EQ(SetBootLogo(doc_, Bitmap("fine.bmp", 160, 160, 8), folder_.Path() / "gone"),
              SetLogoResult::NotCreated);
    EXPECT_EQ(doc_.m_bootLogoFile.get(), first);
    EXPECT_EQ(doc_.m_bitmapHolder.fileBytes(), shown);
    EXPECT_FALSE(doc_.IsModified());

    EXPECT_EQ(*SetLogoMessage(SetLogoResult::WrongSize), "Logo must be 160x160.");
    EXPECT_EQ(*SetLogoMessage(SetLogoResult::NotValid), "Not a valid bitmap file.");
    EXPECT_FALSE(SetLogoMessage(SetLogoResult::NotCreated));
}

TEST_F(BootLogoPageTest, ClearDropsTheLogoOnlyWhenThereIsOne) {
    doc_.m_bitmapHolder.Clear();
    EXPECT_FALSE(ClearBootLogo(doc_));
    EXPECT_EQ(doc_.m_bitmapHolder.source(), BitmapHolder::Source::None) << "nothing changed";
    EXPECT_FALSE(doc_.IsModified());
    ASSERT_EQ(SetBootLogo(doc_, Bitmap("logo.bmp", 160, 160, 1), folder_.Path()),
              SetLogoResult::Set);
    doc_.SetModifiedFlag(false);
    EXPECT_TRUE(ClearBootLogo(doc_));
    EXPECT_FALSE(doc_.m_bootLogoFile);
    EXPECT_EQ(doc_.m_bitmapHolder.source(), BitmapHolder::Source::DefaultLogo);
    EXPECT_TRUE(doc_.IsModified());
}

TEST_F(BootLogoPageTest, AReopenedPackageShowsTheLogoItCarries) {
    const std::vector<uint8_t> bitmap = BitmapFile(160, 160, 4);
    CTarnhollowDoc opened(nullptr, "no-components");
    opened.m_bootLogoFile = MakeBootLogoDatabase(bitmap, folder_.Path());
    ShowStoredBootLogo(opened);
    EXPECT_EQ(opened.m_bitmapHolder.fileBytes(), bitmap);
    EXPECT_FALSE(opened.IsModified());

    doc_.m_bootLogoFile = MakeBootLogoDatabase(bitmap, folder_.Path());
    ShowStoredBootLogo(doc_);
    EXPECT_EQ(doc_.m_bitmapHolder.source(), BitmapHolder::Source::DefaultLogo)
        << "a holder with a picture keeps it";
    CTarnhollowDoc empty(nullptr, "no-components");
    ShowStoredBootLogo(empty);
    EXPECT_EQ(empty.m_bitmapHolder.source(), BitmapHolder::Source::None);
}

TEST(LaunchChoice, AChosenApplicationIsSelectedAgainAndNoneSelectsNone) {
    CTarnhollowDoc doc(nullptr, "no-components");
    doc.OnNewDocument();
    const std::vector<std::string> items{"None", "Notes", "Games"};
    ChooseLaunch(doc, "Games");
    EXPECT_TRUE(doc.m_launchSet);
    EXPECT_EQ(LaunchSelection(doc, items), 2u);
    ChooseLaunch(doc, "None");
    EXPECT_EQ(LaunchSelection(doc, items), 0u);
    doc.m_launchAfterReset = "";
    EXPECT_EQ(LaunchSelection(doc, items), 0u) << "a reopened package that launches nothing";
}

TEST(DatabaseInfo, ShowsCodesAsCharactersAndNumbersInDecimal) {
    PackageEntry entry;
    entry.SetName("Notes");
    entry.creator = 0x4E6F7465; // 'Note'
    entry.type = kAppl;
    entry.size = 10000;
    entry.headerWord = 0x0009;
    DatabaseInfoTexts texts = DatabaseInfoFor(entry);
    EXPECT_EQ(texts.caption, "Notes");
    EXPECT_EQ(texts.name, "Notes");
    EXPECT_EQ(texts.creator, "Note");
    EXPECT_EQ(texts.type, "appl");
    EXPECT_EQ(texts.size, "10000");
    EXPECT_EQ(texts.attributes, "9");
    EXPECT_TRUE(HasDatabaseInfo(entry, false));
    EXPECT_FALSE(HasDatabaseInfo(entry, true)) << "a RAM entry without its file";
}

TEST(LockIndicators, ReadFromTheKeyboardLeds) {
    ScratchFolder leds;
    auto led = [&](const std::string &name, const char *brightness) {
        fs::create_directories(leds.Path() / name);
        std::ofstream(leds.Path() / name / "brightness") << brightness << "\n";
    };
    EXPECT_EQ(CapsLockText(ReadLockStates(leds.Path())), "");
    led("input3::capslock", "0");
    led("input7::capslock", "1");
    led("input3::numlock", "1");
    led("input3::scrolllock", "0");
    led("phy0-led", "1");
    LockStates states = ReadLockStates(leds.Path());
    EXPECT_EQ(CapsLockText(states), "CAP") << "any keyboard with the lock on";
    EXPECT_EQ(NumLockText(states), "NUM");
    EXPECT_EQ(ScrollLockText(states), "");
    EXPECT_EQ(NumLockText(ReadLockStates(leds.Path() / "missing")), "");
}

} // namespace
} // namespace tarnhollow
