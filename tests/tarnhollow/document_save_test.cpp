// Saving a document: the install file's layout checked byte by byte through libprc, the
// uninstaller, saving again and over an existing package, and the failures that must leave
// the user's files as they were.
#include "document_test_support.h"

#include <tuple>

using namespace doctest;

namespace {

const char *const kPayLoad = "code0 code1 pref2"; // the stand-in PayLoad's resources

uint32_t Word(const Bytes &bytes, size_t at) {
    return uint32_t(bytes.at(at)) << 24 | uint32_t(bytes.at(at + 1)) << 16 |
           uint32_t(bytes.at(at + 2)) << 8 | bytes.at(at + 3);
}

std::string Expected(const std::string &head, const std::string &groups) {
    return head + " " + kPayLoad + " tAIN1000 " + groups;
}

} // namespace

TEST_F(DocumentTest, EmptyListsHoldRemoveAndFlashInitOnly) {
    doc->m_packageName = "My Installer";
    doc->m_expansionRomKB = 4224;
    doc->m_installStubs = true;
    doc->m_languageCode = "E";
    doc->m_removeList = {"Clock", "Expense"};
    doc->m_deviceIds = {"EXMP", "TWO"};
    ASSERT_TRUE(doc->OnSaveDocument(root / "MyPkg.bin", boxes));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_FALSE(fs::exists(root / "MyPkg.bin"));
    EXPECT_FALSE(fs::exists(root / "MyPkg-Data.tmp"));
    EXPECT_FALSE(fs::exists(root / "MyPkg-Remove.tmp"));

    PrcPtr package = Package();
    ASSERT_NE(package, nullptr);
    EXPECT_STREQ(package->name, "MyPkg");
    EXPECT_EQ(package->type, Code("appl"));
    EXPECT_EQ(package->creator, Code("Jpay"));
    EXPECT_EQ(package->flags, PRC_FLAGS_RESOURCE);
    EXPECT_EQ(Layout(package.get()), Expected("dvic1000 dvic1001 maxr1000", "eprc1000 eprc1100"));
    EXPECT_EQ(BodyOf(prcgetresource(package.get(), Code("dvic"), 1001)), Text("TWO"));
    EXPECT_EQ(BodyOf(prcgetresource(package.get(), Code("maxr"), 1000)), Text("4224"));
    EXPECT_EQ(BodyOf(prcgetresource(package.get(), Code("tAIN"), 1000)), Text("My Installer"));
    EXPECT_EQ(Group(package.get(), 1100), ReadFile(components / "FlashInit.prc"));

    PrcPtr remove = GroupDatabase(package.get(), 1000);
    ASSERT_NE(remove, nullptr);
    EXPECT_STREQ(remove->name, "MyPkg-Remove");
    EXPECT_EQ(remove->type, Code("JFrm"));
    EXPECT_EQ(remove->creator, Code("JFft"));
    EXPECT_EQ(remove->flags, 0);
    EXPECT_EQ(Bytes(remove->appinfo, remove->appinfo + remove->appinfosize), (Bytes{0x01, 'E'}));
    ASSERT_EQ(prcgetnrecords(remove.get()), 2);
    EXPECT_EQ(BodyOf(prcgetrecord(remove.get(), 1)), Text("Expense"));
    EXPECT_EQ(prcgetrecord(remove.get(), 1)->attr, 0);

    PrcPtr uninstaller(prcopen((root / "MyPkg-Uninstaller.prc").c_str(), PRC_OPEN_READ));
    ASSERT_NE(uninstaller, nullptr);
    EXPECT_STREQ(uninstaller->name, "MyPkg-Uninstaller");
    EXPECT_EQ(uninstaller->creator, Code("JFun"));
    EXPECT_EQ(uninstaller->flags, PRC_FLAGS_RESOURCE);
    EXPECT_EQ(Layout(uninstaller.get()), "code0 data1 tSTR1000");
    EXPECT_EQ(BodyOf(prcgetresource(uninstaller.get(), Code("tSTR"), 1000)), Text("MyPkg-Data"));
}

// The file is named as typed; its databases carry the name in the handhelds' 8-bit text, cut
// between characters.
TEST_F(DocumentTest, WesternBaseNamesBecomeTheHandheldsText) {
    doc->m_packageName = "Caf\xE9 \x80";
    ASSERT_TRUE(Save("Caf\u00E9.prc"));
    PrcPtr package = Package("Caf\u00E9.prc");
    ASSERT_NE(package, nullptr);
    EXPECT_STREQ(package->name, "Caf\xE9");
    EXPECT_EQ(BodyOf(prcgetresource(package.get(), Code("tAIN"), 1000)), Text("Caf\xE9 \x80"));
    EXPECT_STREQ(GroupDatabase(package.get(), 1000)->name, "Caf\xE9-Remove");
    PrcPtr uninstaller(prcopen((root / "Caf\u00E9-Uninstaller.prc").c_str(), PRC_OPEN_READ));
    ASSERT_NE(uninstaller, nullptr);
    EXPECT_STREQ(uninstaller->name, "Caf\xE9-Uninstaller");
    EXPECT_EQ(BodyOf(prcgetresource(uninstaller.get(), Code("tSTR"), 1000)), Text("Caf\xE9-Data"));

    const std::string longBase(40, '\xC9');
    std::string typed;
    for (int i = 0; i < 40; i++) {
        typed += "\u00C9";
    }
    ASSERT_TRUE(Save(typed + ".prc"));
    EXPECT_EQ(std::string(Package(typed + ".prc")->name), longBase.substr(0, 31));
}

TEST_F(DocumentTest, ABaseNameTheHandheldsCannotHoldIsRefused) {
    EXPECT_FALSE(Save("Snow\u2603.prc"));
    EXPECT_EQ(boxes.shown,
              (decltype(boxes.shown){{"The character \"\u2603\" cannot be used: names on the "
                                      "handheld are in the Western (Windows-1252) character set.",
                                      BoxIcon::None}}));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_FALSE(fs::exists(root / "Snow\u2603.prc"));
    EXPECT_FALSE(fs::exists(root / "Snow\u2603-Uninstaller.prc"));
    EXPECT_FALSE(fs::exists(root / "Snow\u2603-Remove.tmp"));
}

TEST_F(DocumentTest, EmptyPackageNameKeepsPayLoadsLauncherName) {
    doc->m_packageName.clear();
    doc->m_createUninstaller = false;
    ASSERT_TRUE(Save());
    PrcPtr package = Package();
    EXPECT_EQ(BodyOf(prcgetresource(package.get(), Code("tAIN"), 1000)), Text("Installer"));
    EXPECT_FALSE(fs::exists(root / "MyPkg-Uninstaller.prc"));
}

TEST_F(DocumentTest, OneCheckedRamEntryGroupsFromDataToEntry) {
    AddRam("Notes", 5000);
    doc->m_eraseExpansionRom = true;
    ASSERT_TRUE(Save());
    PrcPtr package = Package();
    EXPECT_EQ(Layout(package.get()),
              Expected("maxr1000", "eprc1000 eprc1100 eprc1200 eprc1300 eprc1400"));
    EXPECT_EQ(Group(package.get(), 1100), ReadFile(components / "FlashRestore.prc"));
    EXPECT_EQ(Group(package.get(), 1300), ReadFile(components / "FlashInit.prc"));
    EXPECT_EQ(Group(package.get(), 1400), ReadFile(root / "Notes.prc"));

    PrcPtr data = GroupDatabase(package.get(), 1000);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data->name, "MyPkg-Data");
    EXPECT_EQ(data->type, Code("JFft"));
    EXPECT_EQ(data->creator, Code("JFft"));
    EXPECT_EQ(Bytes(data->appinfo, data->appinfo + data->appinfosize), (Bytes{0x01, 0}));
    ASSERT_EQ(prcgetnrecords(data.get()), 1);
    Bytes record(34, 0);
    std::copy_n("Notes", 5, record.begin());
    record[32] = 0x05;
    record[33] = 3;
    EXPECT_EQ(BodyOf(prcgetrecord(data.get(), 0)), record);
    EXPECT_EQ(prcgetrecord(data.get(), 0)->attr, 1);
    EXPECT_STREQ(GroupDatabase(package.get(), 1200)->name, "MyPkg-Remove");
}

TEST_F(DocumentTest, RomEntriesAreInvertedInTheirFirstChunkOnly) {
    AddRom("Atlas", 70000);
    AddRom("Small", 32768);
    ASSERT_TRUE(Save());
    PrcPtr package = Package();
    EXPECT_EQ(
        Layout(package.get()),
        Expected("maxr1000", "eprc1000 eprc1100 eprc1200 eprc1300 eprc1301 eprc1302 eprc1400"));
    const std::vector<Bytes> chunks = Chunks(package.get(), 1300);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].size(), 32768u);
    EXPECT_EQ(chunks[1].size(), 32768u);
    EXPECT_EQ(chunks[2].size(), 4464u);

    Bytes expected = ReadFile(root / "Atlas.prc");
    EXPECT_EQ(Word(Group(package.get(), 1300), 60), ~Code("appl"));
    EXPECT_EQ(Word(Group(package.get(), 1300), 64), ~Code("Srce"));
    for (size_t at = 60; at < 68; ++at) {
        expected[at] = uint8_t(~expected[at]);
    }
    EXPECT_EQ(Group(package.get(), 1300), expected);
    EXPECT_EQ(Chunks(package.get(), 1400).size(), 1u);

    PrcPtr data = GroupDatabase(package.get(), 1000);
    ASSERT_EQ(prcgetnrecords(data.get()), 2);
    EXPECT_EQ(BodyOf(prcgetrecord(data.get(), 1))[32], 0x12);
    EXPECT_EQ(BodyOf(prcgetrecord(data.get(), 1))[33], 2);
    EXPECT_EQ(prcgetrecord(data.get(), 1)->attr, 2);
    // The source files themselves are never changed.
    EXPECT_EQ(Word(ReadFile(root / "Atlas.prc"), 60), Code("appl"));
}

TEST_F(DocumentTest, UncheckedRamEntryIsRecordedButNotEmbedded) {
    AddRam("Later", 3000, false);
    doc->m_launchAfterReset = "None";
    ASSERT_TRUE(Save());
    PrcPtr package = Package();
    EXPECT_EQ(Group(package.get(), 1100), ReadFile(components / "FlashRestore.prc"));
    EXPECT_EQ(Group(package.get(), 1300), ReadFile(components / "FlashInit.prc"));
    EXPECT_TRUE(Chunks(package.get(), 1400).empty());
    PrcPtr data = GroupDatabase(package.get(), 1000);
    const Bytes record = BodyOf(prcgetrecord(data.get(), 0));
    EXPECT_EQ(record[32], 0x04);
    EXPECT_EQ(record[33], 2);
}

TEST_F(DocumentTest, LaunchFlagFollowsTheExactName) {
    AddRom("Atlas", 500);
    AddRom("None", 500);
    for (const char *launch : {"Atlas", "atlas", "None"}) {
        doc->m_launchAfterReset = launch;
        ASSERT_TRUE(Save());
        PrcPtr data = GroupDatabase(Package().get(), 1000);
        EXPECT_EQ(BodyOf(prcgetrecord(data.get(), 0))[32],
                  launch == std::string("Atlas") ? 0x1A : 0x12)
            << launch;
        EXPECT_EQ(BodyOf(prcgetrecord(data.get(), 1))[32],
                  launch == std::string("None") ? 0x1A : 0x12)
            << launch;
    }
    // A ROM-only package with a launch entry carries FlashRestore; without one it does not.
    EXPECT_EQ(Group(Package().get(), 1100), ReadFile(components / "FlashRestore.prc"));
    doc->m_launchAfterReset = "";
    ASSERT_TRUE(Save());
    EXPECT_STREQ(GroupDatabase(Package().get(), 1100)->name, "MyPkg-Remove");
}

TEST_F(DocumentTest, LongBaseNameIsCutInDatabaseNamesOnly) {
    const std::string base(28, 'b');
    AddRam("Notes", 400);
    ASSERT_TRUE(Save(base + ".prc"));
    PrcPtr package = Package(base + ".prc");
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(std::string(package->name), base);
    EXPECT_EQ(std::string(GroupDatabase(package.get(), 1000)->name), base + "-Da");
    PrcPtr uninstaller(prcopen((root / (base + "-Uninstaller.prc")).c_str(), PRC_OPEN_READ));
    ASSERT_NE(uninstaller, nullptr);
    EXPECT_EQ(BodyOf(prcgetresource(uninstaller.get(), Code("tSTR"), 1000)), Text(base + "-Data"));
}

TEST_F(DocumentTest, SavingTwiceGivesTheSamePackageApartFromTimes) {
    AddRam("Notes", 40000);
    AddRom("Atlas", 70000);
    doc->m_preinstallFile.reset(std::fopen(Source("Setup", 1000).c_str(), "rb"));
    doc->m_hasPreinstall = true;
    ASSERT_TRUE(Save());
    PrcPtr first = Package();
    ASSERT_TRUE(Save());
    PrcPtr second = Package();
    auto header = [](const prc_t *db) {
        return std::tuple(std::string(db->name), db->flags, db->version, db->ctime, db->mtime,
                          db->btime, db->modnum, db->type, db->creator);
    };
    EXPECT_EQ(header(first.get()), header(second.get()));
    ASSERT_EQ(Layout(first.get()), Layout(second.get()));
    for (prc_record_t *a = first->records, *b = second->records; a != nullptr;
         a = a->next, b = b->next) {
        Bytes one = BodyOf(a), two = BodyOf(b);
        // The temporary Data (1000) and Remove (1200) databases are made anew at each save:
        // their creation, modification and backup times may differ.
        if (a->type == Code("eprc") && (a->id == 1000 || a->id == 1200)) {
            std::fill(one.begin() + 36, one.begin() + 48, 0);
            std::fill(two.begin() + 36, two.begin() + 48, 0);
        }
        EXPECT_EQ(one, two) << "resource id " << a->id;
    }
}

TEST_F(DocumentTest, SavingOverAPackageKeepsItsHeaderButNameAndResetBit) {
    {
        prc_t *old = prccreate((root / "MyPkg.prc").c_str(), "Old", Code("appl"), Code("Jpay"),
                               PRC_FLAGS_RESOURCE | PRC_FLAGS_BACKUP | PRC_FLAGS_RESET);
        old->ctime = 0xB0000000;
        old->version = 3;
        AppendResource(old, "junk", 1, Bytes{1});
        ASSERT_EQ(prcclose(old), 0);
    }
    ASSERT_TRUE(Save());
    PrcPtr package = Package();
    EXPECT_STREQ(package->name, "MyPkg");
    EXPECT_EQ(package->ctime, 0xB0000000u);
    EXPECT_EQ(package->version, 3);
    EXPECT_EQ(package->flags, PRC_FLAGS_RESOURCE | PRC_FLAGS_BACKUP);
    EXPECT_EQ(prcgetresource(package.get(), Code("junk"), 1), nullptr);

    doc->m_autoInstall = true;
    ASSERT_TRUE(Save());
    EXPECT_EQ(Package()->flags, PRC_FLAGS_RESOURCE | PRC_FLAGS_BACKUP | PRC_FLAGS_RESET);
}

TEST_F(DocumentTest, ReadOnlyPackageIsLeftAloneWithoutMessage) {
    ASSERT_TRUE(Save());
    const Bytes before = ReadFile(root / "MyPkg.prc");
    fs::permissions(root / "MyPkg.prc", fs::perms(0444));
    AddRam("Notes", 400);
    EXPECT_FALSE(Save());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(ReadFile(root / "MyPkg.prc"), before);
    EXPECT_FALSE(fs::exists(root / "MyPkg-Data.tmp"));
    EXPECT_FALSE(fs::exists(root / "MyPkg-Remove.tmp"));
}

// The package is written, so the save ends normally; the user learns which file was not.
TEST_F(DocumentTest, ReadOnlyUninstallerIsNamedAndThePackageStillSaved) {
    ASSERT_TRUE(Save());
    const Bytes uninstaller = ReadFile(root / "MyPkg-Uninstaller.prc");
    fs::permissions(root / "MyPkg-Uninstaller.prc", fs::perms(0444));
    AddRam("Notes", 400);
    EXPECT_TRUE(Save());
    const std::string named = (root / "MyPkg-Uninstaller.prc").string();
    EXPECT_EQ(boxes.shown, (decltype(boxes.shown){{"The uninstaller file " + named +
                                                       " is read-only and was not written.",
                                                   BoxIcon::Warning}}));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(Group(Package().get(), 1400), ReadFile(root / "Notes.prc"));
    EXPECT_EQ(ReadFile(root / "MyPkg-Uninstaller.prc"), uninstaller);
    EXPECT_FALSE(fs::exists(root / "MyPkg-Data.tmp"));

    // Something else in the uninstaller's place is named the same way.
    boxes.shown.clear();
    fs::create_directory(root / "Dir-Uninstaller.prc");
    EXPECT_TRUE(Save("Dir.prc"));
    EXPECT_EQ(boxes.shown, (decltype(boxes.shown){{"The uninstaller file " +
                                                       (root / "Dir-Uninstaller.prc").string() +
                                                       " could not be written.",
                                                   BoxIcon::Warning}}));
    EXPECT_TRUE(fs::exists(root / "Dir.prc"));
}

TEST_F(DocumentTest, MissingComponentFailsWithoutTouchingEarlierFiles) {
    AddRam("Notes", 400);
    ASSERT_TRUE(Save());
    const Bytes package = ReadFile(root / "MyPkg.prc");
    const Bytes uninstaller = ReadFile(root / "MyPkg-Uninstaller.prc");
    for (const char *component : {"PayLoad.prc", "FlashRestore.prc", "Uninstaller.prc"}) {
        SCOPED_TRACE(component);
        fs::rename(components / component, root / component);
        boxes.shown.clear();
        AddRam(std::string("More") + component[0], 300);
        EXPECT_FALSE(Save());
        EXPECT_EQ(boxes.shown,
                  (decltype(boxes.shown){{"Error created in save document", BoxIcon::None}}));
        EXPECT_TRUE(doc->IsModified());
        EXPECT_EQ(ReadFile(root / "MyPkg.prc"), package);
        EXPECT_EQ(ReadFile(root / "MyPkg-Uninstaller.prc"), uninstaller);
        EXPECT_FALSE(fs::exists(root / "MyPkg-Data.tmp"));
        fs::rename(root / component, components / component);
    }
    // A failed first save leaves no empty file behind where the package would have gone.
    fs::remove(components / "FlashInit.prc");
    EXPECT_FALSE(Save("Fresh.prc"));
    EXPECT_FALSE(fs::exists(root / "Fresh.prc"));
    EXPECT_FALSE(fs::exists(root / "Fresh-Uninstaller.prc"));
}

TEST_F(DocumentTest, UnwritableTemporaryDatabaseStopsTheSave) {
    {
        std::ofstream leftover(root / "MyPkg-Remove.tmp");
        leftover << "not a database";
    }
    fs::permissions(root / "MyPkg-Remove.tmp", fs::perms(0444));
    EXPECT_FALSE(Save());
    EXPECT_EQ(boxes.shown.at(0).first, "Error created in save document");
    EXPECT_FALSE(fs::exists(root / "MyPkg.prc"));
    EXPECT_TRUE(fs::exists(root / "MyPkg-Remove.tmp")); // not the save's to delete
}

TEST_F(DocumentTest, DatabasesBeyondTheirGroupAreRefusedBeforeWriting) {
    AddRom("Exact", 99 * 32768);
    ASSERT_TRUE(Save());
    EXPECT_EQ(Chunks(Package().get(), 1300).size(), 99u);
    const Bytes before = ReadFile(root / "MyPkg.prc");

    AddRam("Huge", 99 * 32768 + 1);
    EXPECT_FALSE(Save());
    EXPECT_EQ(boxes.shown.at(0).first,
              "The database Huge is too large to embed (more than 3,244,032 bytes).");
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(ReadFile(root / "MyPkg.prc"), before);
    EXPECT_FALSE(Save("Other.prc"));
    EXPECT_FALSE(fs::exists(root / "Other.prc"));
    EXPECT_FALSE(fs::exists(root / "Other-Remove.tmp"));
}
