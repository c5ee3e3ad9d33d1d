// The pages of a document's sheet, driven through their real widgets: devices, the two database
// lists, the Remove page, the Config page and the Boot Logo page, with the size summary below.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <fstream>

#include "editor_test_support.h"
#include "tarnhollow/bitmap_files.h"
#include "tarnhollow/catalogue_test_support.h"
#include "tarnhollow/editor/boot_config.h"
#include "tarnhollow/editor/config_tab.h"
#include "tarnhollow/editor/database_info_dialog.h"
#include "tarnhollow/editor/database_pages.h"
#include "tarnhollow/editor/device_config.h"
#include "tarnhollow/editor/package_sheet.h"
#include "tarnhollow/editor/remove_config.h"

using namespace tarnhollow;
using namespace tarnhollow::editor;
using namespace tarnhollow::editor::testing;

class EditorPagesTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<EditorFixture> fx;
    CTarnhollowView *view = nullptr;
    QTemporaryDir settings;

    void CheckDevice(const QString &name, bool on = true) {
        QTreeWidgetItem *row = RowNamed(view->DevicePage()->DeviceList(), name);
        QVERIFY(row != nullptr);
        row->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }
    void Show(const QString &caption) {
        view->Sheet()->setCurrentIndex(TabIndex(view, caption));
        QCOMPARE(view->Sheet()->tabText(view->Sheet()->currentIndex()), caption);
        QCoreApplication::processEvents(); // lays the page out
    }
    // A click on the box itself, as a box is wider than its text in the page's layout.
    static void ClickBox(QCheckBox *box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    void Add(DatabaseListPage *page, std::vector<std::filesystem::path> files) {
        fx->dialogs.filesToOpen.push_back(std::move(files));
        QTest::mouseClick(page->AddButton(), Qt::LeftButton);
    }
    // Types the text character by character, as a keyboard with those letters would.
    static void Type(QWidget *widget, const QString &text) {
        for (QChar ch : text) {
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }
    QString Available() const { return view->AvailableValue()->text(); }
    QString RamRequired() const { return view->RamRequiredValue()->text(); }
    QString RomRequired() const { return view->ExpansionRomRequiredValue()->text(); }
    QString PackageSize() const { return view->PackageSizeValue()->text(); }

private slots:
    void initTestCase() { IsolateSettings(settings.path()); }
    void init() {
        fx = std::make_unique<EditorFixture>();
        view = fx->frame->OnFileNew()->View();
    }
    void cleanup() { fx.reset(); }

    void sheetHasSixPagesInOrder() {
        QStringList tabs;
        for (int i = 0; i < view->Sheet()->count(); i++) {
            tabs << view->Sheet()->tabText(i);
        }
        QCOMPARE(tabs, QStringList({"Device", "ROM", "RAM", "Remove", "Config", "Boot Logo"}));
        QCOMPARE(view->Sheet()->currentIndex(), 0);
        QTreeWidget *devices = view->DevicePage()->DeviceList();
        QCOMPARE(devices->headerItem()->text(0), QString("Device"));
        QCOMPARE(devices->columnWidth(0), 300);
        QCOMPARE(RowTexts(devices),
                 QStringList({"Example Class Two Devices", "Example Handheld",
                              "Example 68k Handheld 8MB", "Example Color Handheld 16MB"}));
    }

    void leavingTheDevicePageNeedsADevice() {
        view->Sheet()->setCurrentIndex(TabIndex(view, "RAM"));
        QCOMPARE(view->Sheet()->currentIndex(), 0);
        QCOMPARE(fx->dialogs.informed.size(), size_t(1));
        QCOMPARE(fx->dialogs.informed[0].text,
                 QString("Please select a device class or a device from from the Device tab"));
        QCOMPARE(fx->dialogs.informed[0].caption, QString("Tarnhollow"));
        QVERIFY2(!view->RamPage()->IsInitialised(), "the refused page never started");

        CheckDevice("Example Handheld");
        QCOMPARE(Available(), QString("16064K"));
        QVERIFY(view->GetDocument().IsModified());
        Show("RAM");
        Show("Device");
        CheckDevice("Example Handheld", false);
        QCOMPARE(Available(), QString(""));
        view->Sheet()->setCurrentIndex(TabIndex(view, "Config"));
        QCOMPARE(view->Sheet()->currentIndex(), 0);
        QCOMPARE(fx->dialogs.informed.size(), size_t(2));
    }

    void ramListTotalsFollowTheInstallBoxes() {
        CheckDevice("Example Handheld");
        Show("RAM");
        const QString empty = PackageSize();
        QCOMPARE(empty, fx->PackageKText(0, false));
        Add(view->RamPage(), {fx->Database("Notes", 10000)});
        QCOMPARE(fx->dialogs.filters.back(), std::string("Palm Files (*.prc;*.pdb)"));
        QTreeWidget *list = view->RamPage()->List();
        QCOMPARE(RowTexts(list, 1), QStringList({"Notes"}));
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Checked);
        QCOMPARE(list->topLevelItem(0)->text(0), QString(""));
        QCOMPARE(RamRequired(), QString("9K"));
        QCOMPARE(RomRequired(), QString("9K"));
        QCOMPARE(PackageSize(), fx->PackageKText(10000, true));

        list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(RamRequired(), QString(""));
        QCOMPARE(RomRequired(), QString(""));
        QCOMPARE(view->GetDocument().m_ramList.size(), size_t(1)); // the entry stays
        QCOMPARE(int(view->GetDocument().m_ramList[0].flags), 4);
        QCOMPARE(PackageSize(), fx->PackageKText(0, true));
        list->topLevelItem(0)->setCheckState(0, Qt::Checked);
        QCOMPARE(RamRequired(), QString("9K"));
        QCOMPARE(RomRequired(), QString("9K"));
    }

    void deleteKeyRemovesTheSelectedRow() {
        CheckDevice("Example Handheld");
        Show("RAM");
        Add(view->RamPage(), {fx->Database("Alpha", 4096), fx->Database("Beta", 8192)});
        QTreeWidget *list = view->RamPage()->List();
        QCOMPARE(RamRequired(), QString("12K"));
        RowNamed(list, "Alpha", 1)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(RamRequired(), QString("8K"));

        list->setCurrentItem(RowNamed(list, "Alpha", 1));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(RowTexts(list, 1), QStringList({"Beta"}));
        QCOMPARE(RamRequired(), QString("8K")); // an unchecked row took nothing off
        list->setCurrentItem(RowNamed(list, "Beta", 1));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(RamRequired(), QString(""));
        QCOMPARE(RomRequired(), QString(""));
        QCOMPARE(PackageSize(), fx->PackageKText(0, false));

        Show("ROM");
        Add(view->RomPage(), {fx->Database("Gamma", 3072)});
        QTreeWidget *rom = view->RomPage()->List();
        QCOMPARE(RomRequired(), QString("3K"));
        QTest::keyClick(rom, Qt::Key_Delete);
        QCOMPARE(rom->topLevelItemCount(), 1); // no row selected
        rom->setCurrentItem(rom->topLevelItem(0));
        QTest::keyClick(rom, Qt::Key_Delete);
        QCOMPARE(rom->topLevelItemCount(), 0);
        QCOMPARE(RomRequired(), QString(""));
    }

    void duplicatesAreRefusedAcrossBothLists() {
        CheckDevice("Example Handheld");
        Show("ROM");
        const auto notes = fx->Database("Notes", 2048);
        Add(view->RomPage(), {notes, notes, fx->Database("Memo", 2048)});
        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"Notes", "Memo"}));
        Show("RAM");
        Add(view->RamPage(), {fx->Database("Memo", 2048), fx->Database("Todo", 2048)});
        QCOMPARE(RowTexts(view->RamPage()->List(), 1), QStringList({"Todo"}));
        Show("ROM");
        Add(view->RomPage(), {fx->Database("Todo", 2048)});
        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"Notes", "Memo"}));
        QCOMPARE(RomRequired(), QString("6K"));
        QVERIFY2(fx->dialogs.informed.empty(), "refused silently");
    }

    void listColumnsAndTheDatabaseDialog() {
        CheckDevice("Example Handheld");
        Show("ROM");
        QTreeWidget *rom = view->RomPage()->List();
        QCOMPARE(rom->headerItem()->text(0), QString("DB Name"));
        QCOMPARE(rom->columnWidth(0), 265);
        QVERIFY(rom->header()->sectionsMovable());
        Add(view->RomPage(), {fx->Database("Viewer", 5000)});
        QTreeWidgetItem *row = rom->topLevelItem(0);
        rom->setCurrentItem(row);
        const QPoint middle = rom->visualItemRect(row).center();
        QTest::mousePress(rom->viewport(), Qt::LeftButton, {}, middle); // a double click's first
        QTest::mouseRelease(rom->viewport(), Qt::LeftButton, {}, middle);
        QTest::mouseDClick(rom->viewport(), Qt::LeftButton, {}, middle);
        QCOMPARE(fx->dialogs.infos.size(), size_t(1));
        const DatabaseInfoTexts &info = fx->dialogs.infos[0];
        QCOMPARE(info.name, std::string("Viewer"));
        QCOMPARE(info.type, std::string("appl"));
        QCOMPARE(info.creator, std::string("Test"));
        QCOMPARE(info.size, std::string("5000"));

        DatabaseInfoDialog dialog(info);
        QCOMPARE(dialog.windowTitle(), QString("Viewer"));
        QCOMPARE(dialog.creatorEdit()->text(), QString("Test"));
        QCOMPARE(dialog.sizeEdit()->text(), QString("5000"));
        QVERIFY(dialog.nameEdit()->isReadOnly());

        Show("RAM");
        QTreeWidget *ram = view->RamPage()->List();
        QCOMPARE(ram->headerItem()->text(0), QString("Install"));
        QCOMPARE(ram->headerItem()->text(1), QString("DB Name"));
        QCOMPARE(ram->columnWidth(0), 55);
        QCOMPARE(ram->columnWidth(1), 210);
    }

    void removePageLanguagesAndAvailableSpace() {
        CheckDevice("Example Handheld");
        Show("Remove");
        CRemoveConfig *remove = view->RemovePage();
        QCOMPARE(remove->RemoveList()->headerItem()->text(0), QString("Name"));
        QCOMPARE(remove->RemoveList()->columnWidth(0), 220);
        QVERIFY(remove->InstallStubs()->isChecked());
        QCOMPARE(ComboTexts(remove->Languages()),
                 QStringList({"All", "Current", "English", "French", "German"}));
        QCOMPARE(remove->Languages()->currentText(), QString("All"));
        QCOMPARE(RowTexts(remove->RemoveList()), QStringList({"Clock"}));
        QCOMPARE(Available(), QString("16064K"));

        remove->Languages()->setCurrentIndex(2);
        emit remove->Languages()->activated(2);
        QCOMPARE(Available(), QString("16128K"));
        QCOMPARE(view->GetDocument().m_languageCode, std::string("E"));
        RowNamed(remove->RemoveList(), "Clock")->setCheckState(0, Qt::Checked);
        QCOMPARE(Available(), QString("16192K"));
        QCOMPARE(view->GetDocument().m_removeList, std::vector<std::string>{"Clock"});

        Show("Config");
        Show("Remove");
        QCOMPARE(RowNamed(remove->RemoveList(), "Clock")->checkState(0),
                 Qt::Checked); // shown as it was

        Show("Device");
        CheckDevice("Example Handheld", false);
        CheckDevice("Example 68k Handheld 8MB");
        CheckDevice("Example Color Handheld 16MB");
        Show("Remove");
        QCOMPARE(ComboTexts(remove->Languages()),
                 QStringList({"All", "Current", "French", "German", "English"}));
        QCOMPARE(remove->Languages()->currentText(), QString("All"));
        QVERIFY(view->GetDocument().m_removeList.empty());
    }

    void configPageFieldsAndLaunchList() {
        CheckDevice("Example Handheld");
        Show("RAM");
        Add(view->RamPage(), {fx->Database("RamApp", 1000), fx->Database("RamData", 1000, "DATA")});
        Show("ROM");
        Add(view->RomPage(), {fx->Database("RomApp", 1000)});
        Show("Config");
        CConfigTab *config = view->ConfigPage();
        QCOMPARE(ComboTexts(config->LaunchList()), QStringList({"None", "RamApp", "RomApp"}));
        QCOMPARE(config->LaunchList()->currentText(), QString("None"));
        config->LaunchList()->setCurrentIndex(2);
        QCOMPARE(view->GetDocument().m_launchAfterReset, std::string("RomApp"));
        Show("ROM");
        Show("Config");
        QCOMPARE(config->LaunchList()->currentText(), QString("RomApp"));

        QCOMPARE(config->PackageName()->text(), QString("Installer"));
        QCOMPARE(config->PackageName()->maxLength(), 32);
        config->PackageName()->clear();
        QTest::keyClicks(config->PackageName(), "Spring Apps");
        QCOMPARE(view->GetDocument().m_packageName, std::string("Spring Apps"));
        QVERIFY(config->CreateUninstaller()->isChecked());
        ClickBox(config->CreateUninstaller());
        ClickBox(config->AutoInstall());
        ClickBox(config->EraseExpansionRom());
        QVERIFY(!view->GetDocument().m_createUninstaller);
        QVERIFY(view->GetDocument().m_autoInstall);
        QVERIFY(view->GetDocument().m_eraseExpansionRom);

        fx->dialogs.fileToOpen.push_back(fx->Database("Setup", 3000));
        QTest::mouseClick(config->BrowseButton(), Qt::LeftButton);
        QCOMPARE(fx->dialogs.filters.back(), std::string("Palm Files (*.prc;)"));
        QCOMPARE(config->Preinstall()->text(), QString("Setup"));
        QVERIFY(view->GetDocument().m_hasPreinstall);

        // A RAM application whose file is gone is not offered.
        view->GetDocument().m_ramList[0].file.reset();
        Show("RAM");
        Show("Config");
        QCOMPARE(ComboTexts(config->LaunchList()), QStringList({"None", "RomApp"}));
    }

    // A catalogue and databases in the handhelds' Western 8-bit text show their letters; what
    // the user picks from them is stored as the same bytes.
    void westernNamesShowTheirLetters() {
        fx->frame->OnFileClose();
        ::tarnhollow::testing::EntryFields western;
        western.name = "T\xE9l\xE9phone \x80";
        western.roms = {"Clock %12000", "EnglishDB %40000"};
        western.removes = {"Horloge \xE0 quartz %Clock"};
        std::filesystem::create_directory(fx->Path("Devices"));
        std::ofstream(fx->Path("Devices") / "western.txt", std::ios::binary)
            << ::tarnhollow::testing::CatalogueText({western});
        fx->catalogue = LoadDeviceCatalogue(fx->Path("Devices"), fx->catalogueBoxes);
        view = fx->frame->OnFileNew()->View();
        CTarnhollowDoc &doc = view->GetDocument();

        const QString device = "T\u00E9l\u00E9phone \u20AC";
        QCOMPARE(RowTexts(view->DevicePage()->DeviceList()), QStringList({device}));
        CheckDevice(device);
        QCOMPARE(doc.m_selectedDevices, std::vector<std::string>{"T\xE9l\xE9phone \x80"});
        Show("Remove");
        QTreeWidget *removals = view->RemovePage()->RemoveList();
        QCOMPARE(RowTexts(removals), QStringList({"Horloge \u00E0 quartz"}));
        removals->topLevelItem(0)->setCheckState(0, Qt::Checked);
        QCOMPARE(doc.m_removeList, std::vector<std::string>{"Horloge \xE0 quartz"});

        Show("ROM");
        Add(view->RomPage(), {fx->Database("R\xE9sum\xE9", 1000)});
        QCOMPARE(RowTexts(view->RomPage()->List()), QStringList({"R\u00E9sum\u00E9"}));
        DatabaseInfoDialog dialog(DatabaseInfoFor(doc.m_romList[0]));
        QCOMPARE(dialog.windowTitle(), QString("R\u00E9sum\u00E9"));
        QCOMPARE(dialog.nameEdit()->text(), QString("R\u00E9sum\u00E9"));
        Show("Config");
        QComboBox *launch = view->ConfigPage()->LaunchList();
        QCOMPARE(ComboTexts(launch), QStringList({"None", "R\u00E9sum\u00E9"}));
        launch->setCurrentIndex(1);
        QCOMPARE(doc.m_launchAfterReset, std::string("R\xE9sum\xE9"));
    }

    // Typed names go into the document in the handhelds' text, cut between characters; a
    // character they cannot hold is refused with a message.
    void typedNamesAreStoredInTheHandheldsText() {
        CheckDevice("Example Handheld");
        CTarnhollowDoc &doc = view->GetDocument();
        doc.m_packageName = "Caf\xE9";
        Show("Config");
        QLineEdit *name = view->ConfigPage()->PackageName();
        QCOMPARE(name->text(), QString("Caf\u00E9"));
        name->end(false);
        Type(name, " \u20AC");
        QCOMPARE(doc.m_packageName, std::string("Caf\xE9 \x80"));

        Type(name, "\u2603");
        QCOMPARE(fx->dialogs.informed.size(), size_t(1));
        QCOMPARE(fx->dialogs.informed[0].text,
                 QString("The character \"\u2603\" cannot be used: names on the handheld are in "
                         "the Western (Windows-1252) character set."));
        QCOMPARE(fx->dialogs.informed[0].caption, QString("Tarnhollow"));
        QCOMPARE(fx->dialogs.informed[0].icon, BoxIcon::Warning);
        QCOMPARE(name->text(), QString("Caf\u00E9 \u20AC"));
        QCOMPARE(name->cursorPosition(), 6);
        QCOMPARE(doc.m_packageName, std::string("Caf\xE9 \x80"));

        name->selectAll();
        Type(name, QString(40, QChar(0xC9)));
        QCOMPARE(name->text(), QString(32, QChar(0xC9)));
        QCOMPARE(doc.m_packageName, std::string(32, '\xC9'));
    }

    void bootLogoIsCheckedSetAndCleared() {
        CheckDevice("Example Handheld");
        Show("Boot Logo");
        CBootConfig *boot = view->BootPage();
        QVERIFY2(!boot->Picture()->pixmap().isNull(), "the default logo");
        QCOMPARE(boot->Picture()->pixmap().size(), QSize(160, 160));
        CTarnhollowDoc &doc = view->GetDocument();
        doc.SetModifiedFlag(false);

        fx->dialogs.fileToOpen.push_back(::tarnhollow::testing::WriteBytes(
            fx->Path("tall.bmp"), ::tarnhollow::testing::BitmapFile(160, 161, 1)));
        QTest::mouseClick(boot->SetButton(), Qt::LeftButton);
        QCOMPARE(fx->dialogs.filters.back(), std::string("Bitmap Files (*.bmp)"));
        QCOMPARE(fx->dialogs.InformedTexts(), QStringList({"Logo must be 160x160."}));
        QVERIFY(!doc.m_bootLogoFile);
        QVERIFY(!doc.IsModified());

        fx->dialogs.fileToOpen.push_back(::tarnhollow::testing::WriteBytes(
            fx->Path("junk.bmp"), {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'}));
        QTest::mouseClick(boot->SetButton(), Qt::LeftButton);
        QCOMPARE(fx->dialogs.InformedTexts().last(), QString("Not a valid bitmap file."));

        fx->dialogs.fileToOpen.push_back(::tarnhollow::testing::WriteBytes(
            fx->Path("logo.bmp"), ::tarnhollow::testing::BitmapFile(160, 160, 8)));
        QTest::mouseClick(boot->SetButton(), Qt::LeftButton);
        QCOMPARE(fx->dialogs.informed.size(), size_t(2));
        QVERIFY(doc.m_bootLogoFile);
        QVERIFY(doc.IsModified());
        QCOMPARE(boot->Picture()->pixmap().size(), QSize(160, 160));
        QVERIFY(!std::filesystem::exists("tmpbitmap.prc"));

        fx->dialogs.answers.push_back(Answer::Cancel);
        QTest::mouseClick(boot->ClearButton(), Qt::LeftButton);
        QCOMPARE(fx->dialogs.asked.back().text,
                 QString("Are you sure you want to clear the logo?"));
        QCOMPARE(fx->dialogs.asked.back().caption, QString("Clear Logo"));
        QVERIFY(doc.m_bootLogoFile);
        fx->dialogs.answers.push_back(Answer::Ok);
        QTest::mouseClick(boot->ClearButton(), Qt::LeftButton);
        QVERIFY(!doc.m_bootLogoFile);
        QVERIFY(!boot->Picture()->pixmap().isNull());
    }
};

QTEST_MAIN(EditorPagesTest)
#include "tarnhollow_editor_pages_test.moc"
