// Add from ROM image... on the two list pages, on ROM images built for the test: the chosen
// databases are written into the chosen folder and listed with their sizes in the totals, a
// duplicate is refused as Add... refuses it, an existing file is never replaced, and a broken
// image is reported rather than trusted.  The chooser dialog itself is checked on its widgets.
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <fstream>

#include "editor_test_support.h"
#include "ostervane/core/rom_extract.h"
#include "simulator/rom_builder.h"
#include "tarnhollow/editor/database_pages.h"
#include "tarnhollow/editor/device_config.h"
#include "tarnhollow/editor/rom_databases_dialog.h"

using namespace tarnhollow;
using namespace tarnhollow::editor;
using namespace tarnhollow::editor::testing;

namespace {

using ostervane::simulator::FourCC;
using ostervane::simulator::RomData;
using ostervane::simulator::RomDatabaseSpec;

constexpr uint16_t kReadOnlyResources = 0x0003;

RomDatabaseSpec Database(const char *name, uint32_t type, uint32_t creator, uint16_t attributes) {
    RomDatabaseSpec database;
    database.name = name;
    database.type = type;
    database.creator = creator;
    database.attributes = attributes;
    return database;
}

// "Lantern" (an application), "Notes" (records), "Atlas" (a larger resource database).
ostervane::simulator::RomSpec SampleRom() {
    ostervane::simulator::RomSpec rom;
    RomDatabaseSpec lantern =
        Database("Lantern", FourCC("appl"), FourCC("Lntn"), kReadOnlyResources);
    lantern.resources = {{FourCC("code"), 1, RomData(3000, 0x4E)},
                         {FourCC("tSTR"), 1000, {'L', 0}}};
    RomDatabaseSpec notes = Database("Notes", FourCC("DATA"), FourCC("Note"), 0x0002);
    notes.records = {{0x40, 0x1001, RomData(900, 0x61)}, {0x00, 0x1002, RomData(1200, 0x62)}};
    RomDatabaseSpec atlas = Database("Atlas", FourCC("appl"), FourCC("Atls"), kReadOnlyResources);
    atlas.resources = {{FourCC("data"), 1, RomData(20000, 0x33)}};
    rom.databases = {lantern, notes, atlas};
    return rom;
}

void WriteFile(const fs::path &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put32(std::vector<uint8_t> &bytes, uint64_t offset, uint32_t value) {
    for (int i = 0; i < 4; i++) {
        bytes[offset + i] = uint8_t(value >> (24 - 8 * i));
    }
}

// The summary's "%dK", in whole K.
// Where record 1's LocalID lies in a 68k database header: after the 78 bytes of fields and the
// 8-byte entry of record 0.
constexpr uint64_t kRecordOneLocalId = 78 + 8;

QString KText(int64_t bytes) {
    return QString("%1K").arg(bytes / 1024);
}

QStringList Names(const std::vector<RomDatabaseRow> &rows) {
    QStringList names;
    for (const RomDatabaseRow &row : rows) {
        names << QString::fromStdString(row.name);
    }
    return names;
}

} // namespace

class EditorRomImportTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<EditorFixture> fx;
    CTarnhollowView *view = nullptr;
    QTemporaryDir settings;
    fs::path image;
    fs::path folder;

    void Show(const QString &caption) {
        view->Sheet()->setCurrentIndex(TabIndex(view, caption));
        QCoreApplication::processEvents();
    }
    // One Add from ROM image... click answered with the image, these databases and the folder.
    void AddFromRom(DatabaseListPage *page, std::vector<std::string> names) {
        fx->dialogs.romImage.push_back(image);
        fx->dialogs.romDatabases.push_back(std::move(names));
        fx->dialogs.folder.push_back(folder);
        QTest::mouseClick(page->AddFromRomButton(), Qt::LeftButton);
    }
    QString RamRequired() const { return view->RamRequiredValue()->text(); }
    QString RomRequired() const { return view->ExpansionRomRequiredValue()->text(); }
    int64_t FileBytes(const std::string &name) const { return fs::file_size(folder / name); }

private slots:
    void initTestCase() { IsolateSettings(settings.path()); }
    void init() {
        fx = std::make_unique<EditorFixture>();
        view = fx->frame->OnFileNew()->View();
        RowNamed(view->DevicePage()->DeviceList(), "Example Handheld")
            ->setCheckState(0, Qt::Checked);
        image = fx->Path("handheld.rom");
        WriteFile(image, ostervane::simulator::BuildRom(SampleRom()).bytes);
        folder = fx->Path("extracted");
        fs::create_directory(folder);
    }
    void cleanup() { fx.reset(); }

    void chosenDatabasesAreWrittenListedAndCounted() {
        Show("ROM");
        AddFromRom(view->RomPage(), {"Lantern", "Notes"});

        QCOMPARE(fx->dialogs.offeredRows.size(), size_t(1));
        const std::vector<RomDatabaseRow> &rows = fx->dialogs.offeredRows[0];
        QCOMPARE(Names(rows), QStringList({"Lantern", "Notes", "Atlas"}));
        QCOMPARE(rows[1].type, std::string("DATA"));
        QCOMPARE(rows[1].creator, std::string("Note"));
        QCOMPARE(rows[1].bytes, uint64_t(2100));
        QVERIFY(fx->dialogs.offeredProblems[0].empty());

        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"Lantern", "Notes"}));
        const int64_t bytes = FileBytes("Lantern.prc") + FileBytes("Notes.pdb");
        CTarnhollowDoc &doc = view->GetDocument();
        QCOMPARE(int64_t(doc.m_romBytes), bytes);
        QCOMPARE(RomRequired(), KText(bytes));
        QCOMPARE(doc.m_romList[1].type, prcstrtotype("DATA"));
        QCOMPARE(doc.m_romList[1].flags, kRomFlags);
        QVERIFY(doc.IsModified());
        QVERIFY(fx->dialogs.informed.empty());

        // The file holds the ROM's records, attributes and unique ids.
        prc_t *notes = prcopen((folder / "Notes.pdb").c_str(), PRC_OPEN_READ);
        QVERIFY(notes != nullptr);
        QCOMPARE(prcgetnrecords(notes), 2);
        prc_record_t *first = prcgetrecord(notes, 0);
        QCOMPARE(first->datalen, uint32_t(900));
        QCOMPARE(first->attr & 0xF0, 0x40);
        QCOMPARE(first->uid, uint32_t(0x1001));
        prcclose(notes);
    }

    void ramPageTotalsCountTheAddedDatabases() {
        Show("RAM");
        AddFromRom(view->RamPage(), {"Atlas"});
        QCOMPARE(RowTexts(view->RamPage()->List(), 1), QStringList({"Atlas"}));
        QCOMPARE(view->RamPage()->List()->topLevelItem(0)->checkState(0), Qt::Checked);
        const QString required = KText(FileBytes("Atlas.prc"));
        QCOMPARE(RamRequired(), required);
        QCOMPARE(RomRequired(), required);
    }

    void duplicateIsRefusedAsAddRefusesIt() {
        Show("ROM");
        const fs::path notes = fx->Database("Notes", 2048);
        fx->dialogs.filesToOpen.push_back({notes});
        QTest::mouseClick(view->RomPage()->AddButton(), Qt::LeftButton);
        Show("RAM");
        AddFromRom(view->RamPage(), {"Notes", "Lantern"});

        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"Notes"}));
        QCOMPARE(RowTexts(view->RamPage()->List(), 1), QStringList({"Lantern"}));
        QCOMPARE(RomRequired(), KText(2048 + FileBytes("Lantern.prc")));
        QCOMPARE(RamRequired(), KText(FileBytes("Lantern.prc")));
        QVERIFY2(!fs::exists(folder / "Notes.pdb"), "nothing is written for a refused database");
        QCOMPARE(fx->dialogs.informed.size(), size_t(1));
        QVERIFY(fx->dialogs.informed[0].text.contains("Notes: a database of this name is already"));

        // The same database twice from the image: only the first is added.
        Show("ROM");
        AddFromRom(view->RomPage(), {"Atlas"});
        AddFromRom(view->RomPage(), {"Atlas"});
        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"Notes", "Atlas"}));
        QVERIFY(!fs::exists(folder / "Atlas (2).prc"));
    }

    void existingFilesAreKeptAndNewNamesTaken() {
        const std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
        WriteFile(folder / "Lantern.prc", mine);
        Show("ROM");
        AddFromRom(view->RomPage(), {"Lantern"});
        QCOMPARE(ReadFile(folder / "Lantern.prc"), mine);
        QVERIFY(fs::exists(folder / "Lantern (2).prc"));
        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"Lantern"}));
        QCOMPARE(RomRequired(), KText(FileBytes("Lantern (2).prc")));
    }

    void brokenImagesAreReportedNotTrusted() {
        // Record 1 of "Notes" points past the end: the image still lists its databases, says
        // why, and refuses to write the broken one.
        ostervane::simulator::BuiltRom rom = ostervane::simulator::BuildRom(SampleRom());
        Put32(rom.bytes, rom.OffsetOf(rom.databases[1].headerId) + kRecordOneLocalId, 0xFFFFFF00);
        WriteFile(image, rom.bytes);
        Show("ROM");
        AddFromRom(view->RomPage(), {"Notes", "Atlas"});
        QCOMPARE(fx->dialogs.offeredProblems.size(), size_t(1));
        QCOMPARE(fx->dialogs.offeredProblems[0].size(), size_t(1));
        QVERIFY(!fx->dialogs.offeredRows[0][1].refusal.empty());
        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"Atlas"}));
        QVERIFY(!fs::exists(folder / "Notes.pdb"));
        QCOMPARE(fx->dialogs.informed.size(), size_t(1));
        QVERIFY(fx->dialogs.informed[0].text.contains("Notes: "));

        // A file that is no ROM image: one warning, no chooser.
        WriteFile(image, std::vector<uint8_t>(600, 0x5A));
        AddFromRom(view->RomPage(), {"Atlas"});
        QCOMPARE(fx->dialogs.offeredRows.size(), size_t(1));
        QCOMPARE(fx->dialogs.informed.size(), size_t(2));
        QVERIFY(fx->dialogs.informed[1].text.startsWith("No database could be read from "));
        QCOMPARE(fx->dialogs.informed[1].icon, BoxIcon::Warning);

        // A file that is not there.
        image = fx->Path("missing.rom");
        AddFromRom(view->RomPage(), {"Atlas"});
        QCOMPARE(fx->dialogs.informed.size(), size_t(3));
        QVERIFY(fx->dialogs.informed[2].text.startsWith("Cannot open "));
        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"Atlas"}));
    }

    void cancellingAnyStepAddsNothing() {
        Show("ROM");
        fx->dialogs.romImage.push_back(std::nullopt);
        QTest::mouseClick(view->RomPage()->AddFromRomButton(), Qt::LeftButton);
        fx->dialogs.romImage.push_back(image);
        fx->dialogs.romDatabases.push_back({});
        QTest::mouseClick(view->RomPage()->AddFromRomButton(), Qt::LeftButton);
        fx->dialogs.romImage.push_back(image);
        fx->dialogs.romDatabases.push_back({"Lantern"});
        fx->dialogs.folder.push_back(std::nullopt);
        QTest::mouseClick(view->RomPage()->AddFromRomButton(), Qt::LeftButton);
        QCOMPARE(view->RomPage()->List()->topLevelItemCount(), 0);
        QVERIFY(fs::is_empty(folder));
        QCOMPARE(view->GetDocument().m_romBytes, 0);
    }

    void chooserSortsBySizeAndOffersOnlyWritableDatabases() {
        const std::vector<RomDatabaseRow> rows = {{0, "Lantern", "appl", "Lntn", 3002, ""},
                                                  {1, "Notes", "DATA", "Note", 2100, "broken"},
                                                  {2, "Atlas", "appl", "Atls", 20000, ""}};
        RomDatabasesDialog dialog(image, rows, {"big ROM, database 1: bad", "second"});
        QTreeWidget *table = dialog.Table();
        QCOMPARE(RowTexts(table), QStringList({"Atlas", "Lantern", "Notes"}));
        table->sortByColumn(RomDatabasesDialog::SizeColumn, Qt::DescendingOrder);
        QCOMPARE(RowTexts(table), QStringList({"Atlas", "Lantern", "Notes"}));
        table->sortByColumn(RomDatabasesDialog::SizeColumn, Qt::AscendingOrder);
        QCOMPARE(RowTexts(table), QStringList({"Notes", "Lantern", "Atlas"}));
        QCOMPARE(table->topLevelItem(0)->text(RomDatabasesDialog::SizeColumn), QString("2100"));

        QVERIFY(!dialog.AddButton()->isEnabled());
        table->selectAll();
        QVERIFY(dialog.AddButton()->isEnabled());
        QCOMPARE(dialog.Chosen(), std::vector<size_t>({0, 2}));
        QVERIFY(dialog.ProblemLine()->text().contains("big ROM, database 1: bad"));
        QVERIFY(dialog.ProblemLine()->text().contains("1 more"));
    }
};

QTEST_MAIN(EditorRomImportTest)
#include "tarnhollow_editor_rom_import_test.moc"
