// tarnhollow-screenshots FOLDER: builds the editor's real windows with a realistic package and
// saves the main window on each page of the sheet as FOLDER/tarnhollow-<page>.png, and the
// chooser of Add from ROM image... on a made-up handheld ROM as FOLDER/tarnhollow-rom-image.png,
// and the About box of an installed program as FOLDER/tarnhollow-about.png.
// Run it under xvfb-run; it is not a test.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

#include "editor_test_support.h"
#include "simulator/rom_builder.h"
#include "tarnhollow/editor/about_dialog.h"
#include "tarnhollow/editor/boot_config.h"
#include "tarnhollow/editor/config_tab.h"
#include "tarnhollow/editor/database_pages.h"
#include "tarnhollow/editor/device_config.h"
#include "tarnhollow/editor/package_sheet.h"
#include "tarnhollow/editor/remove_config.h"
#include "tarnhollow/editor/rom_databases_dialog.h"

using namespace tarnhollow::editor;
using namespace tarnhollow::editor::testing;

namespace {

void Settle() {
    for (int i = 0; i < 5; i++) {
        QApplication::processEvents();
        QTest::qWait(30);
    }
}

void AddTo(EditorFixture &fx, DatabaseListPage *page,
           const std::vector<std::pair<std::string, uint64_t>> &databases,
           const char *type = "appl") {
    std::vector<std::filesystem::path> files;
    for (const auto &[name, bytes] : databases) {
        files.push_back(fx.Database(name, bytes, type));
    }
    fx.dialogs.filesToOpen.push_back(files);
    page->AddButton()->click();
}

bool Grab(QWidget &window, const QString &folder, const char *name) {
    Settle();
    const QString path = folder + "/tarnhollow-" + name + ".png";
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// A handheld's big ROM with the built-in databases of a Palm OS 4 device, in made-up sizes.
std::vector<uint8_t> HandheldRom() {
    struct Shown {
        const char *name, *type, *creator;
        size_t bytes;
    };
    const Shown databases[] = {
        {"System", "rsrc", "psys", 182340},           {"Address", "appl", "addr", 61250},
        {"Date Book", "appl", "date", 96410},         {"Memo Pad", "appl", "memo", 28730},
        {"To Do List", "appl", "todo", 34120},        {"Calculator", "appl", "calc", 11860},
        {"Expense", "appl", "exps", 42980},           {"Mail", "appl", "mail", 71300},
        {"Security", "appl", "secr", 16440},          {"Preferences", "appl", "pref", 38200},
        {"Graffiti ShortCuts", "DATA", "grft", 1210}, {"AddressDB", "DATA", "addr", 5020},
        {"Palm OS Data", "spls", "psys", 24660}};
    ostervane::simulator::RomSpec rom;
    rom.card.romVersionString = "ROM 4.1 en";
    for (const Shown &shown : databases) {
        ostervane::simulator::RomDatabaseSpec database;
        database.name = shown.name;
        database.type = prcstrtotype(shown.type);
        database.creator = prcstrtotype(shown.creator);
        const bool records = std::string(shown.type) == "DATA";
        database.attributes = records ? 0x0002 : 0x0003;
        // In bodies of at most 32,000 bytes, as a database file's entries are limited.
        for (size_t left = shown.bytes, id = 1; left > 0; id++) {
            const size_t bytes = std::min<size_t>(left, 32000);
            left -= bytes;
            ostervane::simulator::RomData body(bytes, 0x4E);
            if (records) {
                database.records.push_back({0, uint32_t(id), body});
            } else {
                database.resources.push_back(
                    {ostervane::simulator::FourCC("code"), uint16_t(id), body});
            }
        }
        rom.databases.push_back(database);
    }
    return ostervane::simulator::BuildRom(rom).bytes;
}

bool GrabRomChooser(CMainFrame &frame, const QString &folder) {
    tarnhollow::RomImageFile rom(HandheldRom());
    RomDatabasesDialog chooser("Handheld-4.1.rom", tarnhollow::RomDatabaseRows(rom), rom.Problems(),
                               &frame);
    chooser.show();
    for (const char *name : {"Calculator", "Expense"}) {
        RowNamed(chooser.Table(), name)->setSelected(true);
    }
    return Grab(chooser, folder, "rom-image");
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarnhollow-screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir settings;
    IsolateSettings(settings.path());

    EditorFixture fx;
    fx.frame->setWindowTitle("Tarnhollow");
    CTarnhollowView *view = fx.frame->OnFileNew()->View();
    PackageSheet *sheet = view->Sheet();
    auto show = [&](const char *caption) { sheet->setCurrentIndex(TabIndex(view, caption)); };

    QTreeWidget *devices = view->DevicePage()->DeviceList();
    RowNamed(devices, "Example 68k Handheld 8MB")->setCheckState(0, Qt::Checked);
    RowNamed(devices, "Example Color Handheld 16MB")->setCheckState(0, Qt::Checked);
    devices->setCurrentItem(RowNamed(devices, "Example Color Handheld 16MB"));

    show("ROM");
    AddTo(fx, view->RomPage(),
          {{"LanternReader", 182400}, {"FieldAtlas", 96300}, {"PebbleCalc", 41200}});
    AddTo(fx, view->RomPage(), {{"FieldAtlasMaps", 214800}}, "DATA");
    show("RAM");
    AddTo(fx, view->RamPage(), {{"HeronMail", 88600}, {"TidewaterNotes", 52100}});
    AddTo(fx, view->RamPage(), {{"HeronMailPrefs", 6200}}, "DATA");
    QTreeWidget *ram = view->RamPage()->List();
    RowNamed(ram, "HeronMailPrefs", 1)->setCheckState(0, Qt::Unchecked);
    ram->setCurrentItem(RowNamed(ram, "TidewaterNotes", 1));

    show("Remove");
    CRemoveConfig *remove = view->RemovePage();
    RowNamed(remove->RemoveList(), "Clock")->setCheckState(0, Qt::Checked);
    RowNamed(remove->RemoveList(), "Mail")->setCheckState(0, Qt::Checked);
    const int english = remove->Languages()->findText("English");
    remove->Languages()->setCurrentIndex(english);
    emit remove->Languages()->activated(english);

    show("Config");
    CConfigTab *config = view->ConfigPage();
    config->PackageName()->setText("Field Kit");
    emit config->PackageName()->textEdited("Field Kit");
    config->LaunchList()->setCurrentIndex(config->LaunchList()->findText("LanternReader"));
    config->AutoInstall()->click();
    fx.dialogs.fileToOpen.push_back(fx.Database("KitSetup", 12800));
    config->BrowseButton()->click();

    bool ok = true;
    const std::pair<const char *, const char *> pages[] = {
        {"Device", "device"}, {"ROM", "rom"},       {"RAM", "ram"},
        {"Remove", "remove"}, {"Config", "config"}, {"Boot Logo", "bootlogo"}};
    for (const auto &[caption, file] : pages) {
        show(caption);
        ok = Grab(*fx.frame, folder, file) && ok;
    }
    ok = GrabRomChooser(*fx.frame, folder) && ok;
    AboutDialog about("Device catalogue: /usr/share/tarnhollow/Devices", fx.frame.get());
    about.show();
    ok = Grab(about, folder, "about") && ok;
    return ok ? 0 : 1;
}
