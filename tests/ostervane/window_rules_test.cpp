// The rules behind the windows, without a display: the ".rom" rule, titles and banner lines,
// port order, slot plans, dialog units, the progress bar, and the run's steps from start to end.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "ostervane/core/dialog_layout.h"
#include "ostervane/core/rom_path.h"
#include "ostervane/core/slot_plan.h"
#include "ostervane/core/slot_progress.h"
#include "ostervane/core/startup.h"

namespace ostervane {
namespace {

TEST(RomPath, TheRomExtensionIsAddedUnlessTheNameEndsInItInAnyCase) {
    EXPECT_EQ(WithRomExtension("/a/x.ROM"), "/a/x.ROM");
    EXPECT_EQ(WithRomExtension("/a/x.rom"), "/a/x.rom");
    EXPECT_EQ(WithRomExtension("/a/x"), "/a/x.rom");
    EXPECT_EQ(WithRomExtension("/a/x.bin"), "/a/x.bin.rom");
    EXPECT_EQ(WithRomExtension("rom"), "rom.rom");
    EXPECT_EQ(WithRomExtension(".rom"), ".rom");
}

TEST(RomPath, TitleShowsTheFileNameAndTheBannerTheFullPath) {
    EXPECT_EQ(MainWindowTitle("/home/u/roms/m505.rom", true), "ROM Backup: m505.rom");
    EXPECT_EQ(MainWindowTitle("/home/u/roms/m505.rom", false), "ROM Restore: m505.rom");
    EXPECT_EQ(LogBannerLine("/r/x.rom", true), "-----  Keelstone Backup to file: /r/x.rom ------");
    EXPECT_EQ(LogBannerLine("/r/x.rom", false),
              "-----  Keelstone Restore from file: /r/x.rom ------");
}

std::vector<PortEntry> Ports(std::initializer_list<const char *> names) {
    std::vector<PortEntry> ports;
    for (const char *name : names) {
        ports.push_back({std::string("/dev/") + name, name});
    }
    return ports;
}

std::vector<std::string> Names(const std::vector<PortEntry> &ports) {
    std::vector<std::string> names;
    for (const PortEntry &port : ports) {
        names.push_back(port.displayName);
    }
    return names;
}

TEST(PortOrder, PortsSortByTheirNamesAsText) {
    EXPECT_EQ(Names(SortedByName(Ports({"COM2", "COM10", "COM1"}))),
              (std::vector<std::string>{"COM1", "COM10", "COM2"}));
    EXPECT_EQ(Names(SortedByName(Ports({"ttyUSB0", "ttyACM1", "TTYS0"}))),
              (std::vector<std::string>{"ttyACM1", "TTYS0", "ttyUSB0"}));
}

TEST(SlotPlan, BackupUsesOneSlotAndRestoreEightOnUsbOrOnePerPort) {
    EXPECT_EQ(PlanSlots(true, LinkKind::Usb, {}).SlotCount(), 1);
    EXPECT_EQ(PlanSlots(false, LinkKind::Usb, {}).SlotCount(), 8);
    EXPECT_EQ(PlanSlots(true, LinkKind::Serial, Ports({"ttyS1"})).SlotCount(), 1);
    SlotPlan two = PlanSlots(false, LinkKind::Serial, Ports({"COM3", "COM1"}));
    EXPECT_EQ(Names(two.serialPorts), (std::vector<std::string>{"COM3", "COM1"}));
    EXPECT_TRUE(two.unusedPorts.empty());
    EXPECT_EQ(UnusedPortsLogLine(two.unusedPorts), "");
    EXPECT_EQ(PlanSlots(false, LinkKind::Serial, {}).SlotCount(), 0);
}

TEST(SlotPlan, PortsBeyondTheEighthGetNoSlotAndAreNamedInTheLog) {
    auto ports = Ports({"p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9", "p10"});
    SlotPlan plan = PlanSlots(false, LinkKind::Serial, ports);
    EXPECT_EQ(plan.SlotCount(), 8);
    EXPECT_EQ(plan.serialPorts.back().displayName, "p8");
    EXPECT_EQ(Names(plan.unusedPorts), (std::vector<std::string>{"p9", "p10"}));
    EXPECT_EQ(UnusedPortsLogLine(plan.unusedPorts), "Only eight slots; not used: p9 p10");
}

TEST(DialogUnits, UnitsScaleWithTheFontAndRoundToThePixel) {
    EXPECT_EQ(AverageCharWidth(312), 6);
    EXPECT_EQ(AverageCharWidth(339), 7); // 6.52 rounds up
    DialogUnitBase base{6, 13};
    EXPECT_EQ(ToPixels(layout::kMainBanner, base), (DialogRect{15, 8, 320, 86}));
    EXPECT_EQ(ToPixels(layout::kSlots[4].bar, base), (DialogRect{293, 128, 150, 16}));
    DialogUnitBase wide{7, 15};
    EXPECT_EQ(ToPixels(layout::kMainDialog, wide), (DialogRect{0, 0, 546, 368}));
}

// The windows' layout, written out number by number: the widget tests compare the windows
// with the table, and this pins the table itself.
TEST(DialogUnits, TheLayoutTableHoldsTheWindowsGeometry) {
    using R = DialogRect;
    EXPECT_EQ(layout::kModeDialog, (R{0, 0, 237, 116}));
    EXPECT_EQ(layout::kModeBanner, (R{10, 5, 213, 53}));
    EXPECT_EQ(layout::kBackupButton, (R{160, 65, 65, 14}));
    EXPECT_EQ(layout::kRestoreButton, (R{160, 90, 65, 14}));
    EXPECT_EQ(layout::kUsbRadio, (R{20, 70, 31, 10}));
    EXPECT_EQ(layout::kSerialRadio, (R{20, 90, 33, 10}));
    EXPECT_EQ(layout::kPortDialog, (R{0, 0, 186, 62}));
    EXPECT_EQ((R{layout::kPortPrompt.x, layout::kPortPrompt.y}), (R{5, 10}));
    EXPECT_EQ(layout::kPortList, (R{5, 25, 105, 65}));
    EXPECT_EQ(layout::kPortOk, (R{129, 7, 50, 14}));
    EXPECT_EQ(layout::kPortCancel, (R{129, 24, 50, 14}));
    EXPECT_EQ(layout::kMainDialog, (R{0, 0, 312, 196}));
    EXPECT_EQ(layout::kMainBanner, (R{10, 5, 213, 53}));
    EXPECT_EQ(layout::kDoneButton, (R{275, 5, 32, 14}));
    EXPECT_EQ(layout::kAboutDialog, (R{0, 0, 237, 46}));
    EXPECT_EQ((R{layout::kAboutIcon.x, layout::kAboutIcon.y}), (R{10, 15}));
    EXPECT_EQ((R{layout::kAboutText.x, layout::kAboutText.y}), (R{40, 15}));
    EXPECT_EQ(layout::kAboutOk, (R{180, 5, 50, 14}));

    const std::array<std::array<R, 3>, 8> slots = {{
        {R{10, 69, 32, 8}, R{45, 69, 100, 8}, R{45, 79, 100, 10}},
        {R{10, 99, 32, 8}, R{45, 99, 100, 8}, R{45, 109, 100, 10}},
        {R{10, 129, 32, 8}, R{45, 129, 100, 8}, R{45, 139, 100, 10}},
        {R{10, 159, 32, 8}, R{45, 159, 100, 8}, R{45, 169, 100, 10}},
        {R{160, 69, 32, 8}, R{195, 69, 100, 8}, R{195, 79, 100, 10}},
        {R{160, 99, 32, 8}, R{195, 99, 100, 8}, R{195, 109, 100, 10}},
        {R{160, 129, 32, 8}, R{195, 129, 100, 8}, R{195, 139, 100, 10}},
        {R{160, 159, 32, 8}, R{195, 159, 100, 8}, R{195, 169, 100, 10}},
    }};
    for (size_t i = 0; i < slots.size(); ++i) {
        SCOPED_TRACE("slot " + std::to_string(i + 1));
        EXPECT_EQ(layout::kSlots[i].label, slots[i][0]);
        EXPECT_EQ(layout::kSlots[i].status, slots[i][1]);
        EXPECT_EQ(layout::kSlots[i].bar, slots[i][2]);
    }
}

TEST(SlotProgressBar, StartsStepsWithinItsRangeAndHidesAtTheEnd) {
    SlotProgress bar;
    EXPECT_FALSE(bar.visible);
    EXPECT_EQ(bar.maximum, 100);
    bar.Start(2);
    bar.Step();
    EXPECT_EQ(bar.position, 1);
    bar.Step();
    bar.Step();
    EXPECT_EQ(bar.position, 2);
    bar.End();
    EXPECT_FALSE(bar.visible);
    EXPECT_EQ(bar.position, 0);
    bar.Start(0);
    bar.Step();
    EXPECT_TRUE(bar.visible);
    EXPECT_EQ(bar.position, 0);
}

// Screens that answer from a script and record what was asked.
class ScriptedScreens : public StartupScreens {
public:
    ModeChoice mode{kModeBackup, LinkKind::Usb};
    std::optional<std::string> savePath, openPath;
    std::optional<PortEntry> port;
    std::vector<std::string> asked;
    std::vector<PortEntry> portsOffered;
    std::optional<RunSettings> ran;
    std::function<void(RunLog &)> duringMainWindow;

    ModeChoice ChooseMode() override {
        asked.push_back("mode");
        return mode;
    }
    std::optional<std::string> AskSavePath() override {
        asked.push_back("save");
        return savePath;
    }
    std::optional<std::string> AskOpenPath() override {
        asked.push_back("open");
        return openPath;
    }
    std::optional<PortEntry> ChoosePort(const std::vector<PortEntry> &ports) override {
        asked.push_back("port");
        portsOffered = ports;
        return port;
    }
    void ReportUnreadableImage(const std::string &) override { asked.push_back("unreadable"); }
    void RunMainWindow(const RunSettings &settings, RunLog &log) override {
        asked.push_back("main");
        ran = settings;
        if (duringMainWindow) {
            duringMainWindow(log);
        }
    }
};

class DecliningPrompter : public Prompter {
public:
    std::vector<std::string> captions;
    PromptAnswer Ask(const std::string &caption, const std::string &, PromptButtons,
                     PromptIcon) override {
        captions.push_back(caption);
        return PromptAnswer::Cancel;
    }
};

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = std::filesystem::temp_directory_path() / "ostervane-start-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        logPath = (dir / "Keelstone.log").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::optional<RunSettings> Run() {
        return RunStartup(
            screens, log, prompter, [this] { return ports; }, logPath);
    }
    std::string LogText() {
        std::ifstream in(logPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir;
    std::string logPath;
    ScriptedScreens screens;
    RunLog log;
    DecliningPrompter prompter;
    std::vector<PortEntry> ports = Ports({"COM2", "COM10", "COM1"});
};

TEST_F(Startup, ACancelledModeStillCreatesTheLogAndWritesNothing) {
    screens.mode.result = 0;
    EXPECT_FALSE(Run());
    EXPECT_EQ(screens.asked, (std::vector<std::string>{"mode"}));
    ASSERT_TRUE(std::filesystem::exists(logPath));
    EXPECT_EQ(std::filesystem::file_size(logPath), 0u);
    EXPECT_FALSE(log.IsOpen());
}

TEST_F(Startup, UsbBackupTakesTheNameWithTheRomRuleAndNoPort) {
    screens.savePath = (dir / "x.bin").string();
    std::optional<RunSettings> ran = Run();
    ASSERT_TRUE(ran);
    EXPECT_EQ(screens.asked, (std::vector<std::string>{"mode", "save", "main"}));
    EXPECT_EQ(ran->romPath, (dir / "x.bin.rom").string());
    EXPECT_TRUE(ran->isBackup);
    EXPECT_EQ(ran->link, LinkKind::Usb);
    EXPECT_TRUE(ran->ports.empty());
}

TEST_F(Startup, SerialBackupRunsOnTheOnePortChosen) {
    screens.mode.link = LinkKind::Serial;
    screens.savePath = (dir / "x").string();
    screens.port = ports[0];
    screens.duringMainWindow = [](RunLog &log) {
        EXPECT_TRUE(log.IsOpen()); // the log is closed only after the main window
    };
    std::optional<RunSettings> ran = Run();
    ASSERT_TRUE(ran);
    EXPECT_EQ(screens.portsOffered, ports);
    EXPECT_EQ(ran->ports, (std::vector<PortEntry>{ports[0]}));
    EXPECT_EQ(ran->romPath, (dir / "x.rom").string());
}

TEST_F(Startup, CancelledFileOrPortEndsTheRunBeforeTheMainWindow) {
    screens.mode.link = LinkKind::Serial;
    EXPECT_FALSE(Run());
    EXPECT_EQ(screens.asked, (std::vector<std::string>{"mode", "save"}));
    screens.asked.clear();
    screens.savePath = "x";
    EXPECT_FALSE(Run());
    EXPECT_EQ(screens.asked, (std::vector<std::string>{"mode", "save", "port"}));
}

TEST_F(Startup, RestoreIdentifiesTheImageFirst) {
    screens.mode = {kModeRestore, LinkKind::Serial};
    screens.openPath = (dir / "gone.rom").string();
    EXPECT_FALSE(Run());
    EXPECT_EQ(screens.asked, (std::vector<std::string>{"mode", "open", "unreadable"}));

    // A header of version 3 from "Palm Computing" is a family that asks first; declined.
    std::vector<uint8_t> image(0x1000, 0);
    image[8] = 0xFE, image[9] = 0xED, image[10] = 0xBE, image[11] = 0xEF, image[13] = 3;
    std::string maker = "Palm Computing";
    std::copy(maker.begin(), maker.end(), image.begin() + 48);
    std::ofstream(dir / "palm3.rom", std::ios::binary)
        .write(reinterpret_cast<const char *>(image.data()), std::streamsize(image.size()));
    screens.asked.clear();
    screens.openPath = (dir / "palm3.rom").string();
    EXPECT_FALSE(Run());
    EXPECT_EQ(prompter.captions, (std::vector<std::string>{"PalmOS 3 ROM"}));
    EXPECT_EQ(screens.asked, (std::vector<std::string>{"mode", "open"}));
}

TEST_F(Startup, UsbRestoreGetsTheIdentificationAndNoPorts) {
    screens.mode = {kModeRestore, LinkKind::Usb};
    std::vector<uint8_t> image(0x1000, 0);
    image[8] = 0xEF, image[9] = 0xBE, image[10] = 0xED, image[11] = 0xFE, image[12] = 6;
    image[132] = '4', image[133] = '6', image[134] = 'T', image[135] = 'M';
    std::ofstream(dir / "mt64.rom", std::ios::binary)
        .write(reinterpret_cast<const char *>(image.data()), std::streamsize(image.size()));
    screens.openPath = (dir / "mt64.rom").string();
    std::optional<RunSettings> ran = Run();
    ASSERT_TRUE(ran);
    EXPECT_FALSE(ran->isBackup);
    EXPECT_TRUE(ran->ports.empty());
    EXPECT_EQ(ran->image.imageDeviceId, 0x4D543634u);
}

} // namespace
} // namespace ostervane
