// Opening install files: save then open round trips (entries, flags, inverted headers,
// launch choice, preinstall application, options), what the tidying drops, and what is
// refused.
#include "document_test_support.h"

using namespace doctest;

namespace {

struct EntryView {
    std::string name;
    int flags, location;
    bool hasFile;
    bool operator==(const EntryView &) const = default;
};

std::vector<EntryView> View(const std::vector<PackageEntry> &list) {
    std::vector<EntryView> view;
    for (const PackageEntry &entry : list) {
        view.push_back({entry.Name(), entry.flags, entry.location, bool(entry.file)});
    }
    return view;
}

// Removes the chunk group at base from the package file.
void DropGroup(const fs::path &package, uint16_t base) {
    PrcPtr db(prcopen(package.c_str(), PRC_OPEN_UPDATE));
    ASSERT_NE(db, nullptr);
    for (uint16_t id = base; prc_record_t *res = prcgetresource(db.get(), Code("eprc"), id); ++id) {
        prcdestroyresource(prcremoveresource(db.get(), res));
    }
    ASSERT_EQ(prcflush(db.get()), 0);
}

} // namespace

TEST_F(DocumentTest, RoundTripRestoresEntriesAndTheirDatabases) {
    AddRam("Notes", 40000);
    AddRam("Later", 3000, false);
    AddRom("Atlas", 70000);
    AddRom("Maps", 2000);
    doc->m_launchAfterReset = "Atlas";
    ASSERT_TRUE(Save());
    const Bytes saved = ReadFile(root / "MyPkg.prc");

    auto opened = Reopen();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(opened->m_openedFromFile);
    EXPECT_FALSE(opened->m_createUninstaller);
    EXPECT_FALSE(opened->IsModified());
    EXPECT_EQ(View(opened->m_ramList),
              (std::vector<EntryView>{{"Notes", 0x05, 3, true}, {"Later", 0x04, 2, false}}));
    EXPECT_EQ(View(opened->m_romList),
              (std::vector<EntryView>{{"Atlas", 0x1A, 2, true}, {"Maps", 0x12, 2, true}}));
    EXPECT_EQ(opened->m_launchAfterReset, "Atlas");
    EXPECT_TRUE(opened->m_launchSet);
    EXPECT_EQ(opened->m_ramBytes, 40000);
    EXPECT_EQ(opened->m_ramBackupBytes, 40000);
    EXPECT_EQ(opened->m_romBytes, 72000);

    // Expansion-ROM databases come back with the header the user added, in entry and file.
    const PackageEntry &atlas = opened->m_romList[0];
    EXPECT_EQ(atlas.type, Code("appl"));
    EXPECT_EQ(atlas.creator, Code("Srce"));
    EXPECT_EQ(atlas.size, 70000);
    EXPECT_EQ(atlas.headerWord, 7); // the version word
    EXPECT_EQ(StreamBytes(atlas.file.get()), ReadFile(root / "Atlas.prc"));
    EXPECT_EQ(StreamBytes(opened->m_ramList[0].file.get()), ReadFile(root / "Notes.prc"));

    // Saving the opened document embeds the same databases, inverted exactly once.
    fs::remove(root / "MyPkg.prc");
    opened->m_createUninstaller = true;
    ASSERT_TRUE(opened->OnSaveDocument(root / "MyPkg.prc", boxes));
    PrcPtr first = DatabaseFrom(saved);
    PrcPtr again = Package();
    for (uint16_t base : {1400, 1500, 1600}) {
        EXPECT_EQ(Group(again.get(), base), Group(first.get(), base)) << "group " << base;
    }
}

TEST_F(DocumentTest, LaunchChoiceComesBackAsSavedOrNone) {
    AddRam("Notes", 400);
    doc->m_launchAfterReset = "Notes";
    ASSERT_TRUE(Save());
    auto opened = Reopen();
    EXPECT_EQ(opened->m_launchAfterReset, "Notes");
    EXPECT_EQ(opened->m_ramList.at(0).flags, 0x0D);

    doc->m_launchAfterReset = "None";
    ASSERT_TRUE(Save());
    opened = Reopen();
    EXPECT_EQ(opened->m_launchAfterReset, "None");
    EXPECT_TRUE(opened->m_launchSet);

    // No source database matched: no launch choice at all.
    doc->m_ramList.clear();
    ASSERT_TRUE(Save());
    opened = Reopen();
    EXPECT_EQ(opened->m_launchAfterReset, "");
    EXPECT_FALSE(opened->m_launchSet);
    EXPECT_TRUE(opened->m_ramList.empty());
    EXPECT_TRUE(opened->m_romList.empty());
}

TEST_F(DocumentTest, PreinstallOf80000BytesComesBackWhole) {
    const fs::path setup = Source("Setup Helper", 80000);
    doc->m_preinstallFile.reset(std::fopen(setup.c_str(), "rb"));
    doc->m_hasPreinstall = true;
    doc->m_preinstallName = "Setup Helper";
    ASSERT_TRUE(Save());
    PrcPtr package = Package();
    EXPECT_EQ(Chunks(package.get(), 0).size(), 3u);
    EXPECT_EQ(Group(package.get(), 0), ReadFile(setup));

    auto opened = Reopen();
    EXPECT_TRUE(opened->m_hasPreinstall);
    EXPECT_EQ(opened->m_preinstallName, "Setup Helper");
    ASSERT_TRUE(opened->m_preinstallFile);
    EXPECT_EQ(StreamBytes(opened->m_preinstallFile.get()), ReadFile(setup));
}

TEST_F(DocumentTest, OptionsAndListsComeBack) {
    doc->m_installStubs = true;
    doc->m_autoInstall = true;
    doc->m_eraseExpansionRom = true;
    doc->m_languageCode = "-";
    doc->m_removeList = {"Clock", "Expense"};
    doc->m_deviceIds = {"EXMP", "TWO"};
    doc->m_expansionRomKB = 16192;
    doc->m_packageName = "Field Kit";
    AddRom("Atlas", 500);
    ASSERT_TRUE(Save());
    PrcPtr package = Package();
    EXPECT_EQ(package->flags, PRC_FLAGS_RESOURCE | PRC_FLAGS_RESET);
    PrcPtr remove = GroupDatabase(package.get(), 1100);
    EXPECT_EQ(remove->appinfo[0], 0x03);

    auto opened = Reopen();
    EXPECT_TRUE(opened->m_installStubs);
    EXPECT_TRUE(opened->m_autoInstall);
    EXPECT_TRUE(opened->m_eraseExpansionRom);
    EXPECT_EQ(opened->m_languageCode, "-");
    EXPECT_EQ(opened->m_removeList, doc->m_removeList);
    EXPECT_EQ(opened->m_deviceIds, doc->m_deviceIds);
    EXPECT_EQ(opened->m_expansionRomKB, 16192);
    EXPECT_EQ(opened->m_packageName, "Field Kit");

    doc->m_installStubs = false;
    doc->m_autoInstall = false;
    doc->m_languageCode.clear();
    ASSERT_TRUE(Save());
    opened = Reopen();
    EXPECT_FALSE(opened->m_installStubs);
    EXPECT_FALSE(opened->m_autoInstall);
    EXPECT_EQ(opened->m_languageCode, "");
}

TEST_F(DocumentTest, CheckedEntryWithoutItsGroupIsDropped) {
    AddRam("Notes", 400);
    AddRam("Later", 400, false);
    AddRom("Atlas", 400);
    AddRom("Maps", 400);
    ASSERT_TRUE(Save());
    DropGroup(root / "MyPkg.prc", 1600); // Maps: the last group
    auto opened = Reopen();
    EXPECT_EQ(View(opened->m_ramList),
              (std::vector<EntryView>{{"Notes", 0x05, 3, true}, {"Later", 0x04, 2, false}}));
    EXPECT_EQ(View(opened->m_romList), (std::vector<EntryView>{{"Atlas", 0x12, 2, true}}));

    DropGroup(root / "MyPkg.prc", 1400); // Notes: the groups after it are not reached
    opened = Reopen();
    EXPECT_EQ(View(opened->m_ramList), (std::vector<EntryView>{{"Later", 0x04, 2, false}}));
    EXPECT_TRUE(opened->m_romList.empty());
}

TEST_F(DocumentTest, BootLogoIsEmbeddedAfterTheEntriesAndFoundAgain) {
    const fs::path logo = root / "tmpbitmap.prc";
    WriteResourceDb(logo, "InstallBootBitmaps", "JFft", {{"bbmp", Bytes(1000, 0x42)}});
    {
        PrcPtr db(prcopen(logo.c_str(), PRC_OPEN_UPDATE));
        db->type = Code("bbmp");
        ASSERT_EQ(prcflush(db.get()), 0);
    }
    doc->m_bootLogoFile.reset(std::fopen(logo.c_str(), "rb"));
    AddRom("Atlas", 500);
    ASSERT_TRUE(Save());
    EXPECT_EQ(Group(Package().get(), 1400), ReadFile(logo));

    auto opened = Reopen();
    ASSERT_TRUE(opened->m_bootLogoFile);
    EXPECT_EQ(StreamBytes(opened->m_bootLogoFile.get()), ReadFile(logo));
    EXPECT_EQ(opened->m_romList.size(), 1u);
}

TEST_F(DocumentTest, OtherFilesAreRefusedOrOpenEmpty) {
    WriteResourceDb(root / "App.prc", "App", "Appx", {{"code", Bytes(10, 1)}});
    CTarnhollowDoc other(nullptr, components);
    EXPECT_FALSE(other.OnOpenDocument(root / "App.prc", boxes));
    EXPECT_EQ(boxes.shown,
              (decltype(boxes.shown){{"Not a Tarnhollow Install File.", BoxIcon::Warning}}));

    boxes.shown.clear();
    {
        std::ofstream text(root / "notes.txt");
        text << "plain text, no database";
    }
    EXPECT_TRUE(other.OnOpenDocument(root / "notes.txt", boxes));
    EXPECT_TRUE(other.OnOpenDocument(root / "missing.prc", boxes));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(other.m_ramList.empty());
}
