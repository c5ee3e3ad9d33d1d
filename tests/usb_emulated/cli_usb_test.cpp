// ostervane-cli backup --usb and restore --usb as child processes: they inherit umockdev's
// preload and testbed from this process, whose emulated devices answer their ioctls.
#include "child_process.h"
#include "usb_emulated/emulated_test_support.h"

namespace ostervane {
namespace {

using namespace testing;

const sim::HandheldModel &V5() {
    return Model("68k-v5");
}

// ostervane-cli run in `workDir` (where its run log goes), its output kept in files there.
ChildProcess Cli(const std::vector<std::string> &args, const std::string &workDir) {
    std::vector<std::string> words = {OSTERVANE_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    return ChildProcess(words, workDir, "cli");
}

bool WaitForErr(const ChildProcess &cli, const std::string &part) {
    return WaitUntil([&] { return Contains(cli.Err(), part); });
}

TEST(CliOnEmulatedUsb, BackupWritesTheRomOfTheHandheldThatArrives) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto handheld = sim::MakeHandheld(V5());
    ChildProcess cli = Cli({"backup", "--usb", dir.File("out.rom")}, dir.File(""));
    ASSERT_TRUE(WaitForErr(cli, "Plug in")) << cli.Err();
    EmulatedUsbDevice &device = bus.Plug(HandheldAt("1-2", *handheld));

    ASSERT_EQ(cli.Wait(kPatience), 0) << cli.Out() << cli.Err();
    EXPECT_EQ(ReadFile(dir.File("out.rom")),
              MemoryBytes(*handheld, V5().bigRomBase, kV5BackupLength));
    EXPECT_EQ(device.Observed().driver, "visor") << "the driver is given back at the end";
}

TEST(CliOnEmulatedUsb, RestoreWritesTheImageAndLeavesOtherDevicesAlone) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto handheld = sim::MakeHandheld(V5());
    auto modem = sim::MakeHandheld(V5());
    Bytes image = IdentifiableImage(*handheld, V5(), 4);
    WriteFile(dir.File("image.rom"), image);
    EmulatedUsbDevice &held = bus.Add(HandheldAt("1-3", *modem, "cdc_acm"));
    ChildProcess cli = Cli({"restore", "--usb", "--yes", dir.File("image.rom")}, dir.File(""));
    ASSERT_TRUE(WaitForErr(cli, "Plug in")) << cli.Err();
    bus.Plug(HandheldAt("1-2", *handheld));

    ASSERT_EQ(cli.Wait(kPatience), 0) << cli.Out() << cli.Err();
    EXPECT_EQ(MemoryBytes(*handheld, V5().bigRomBase, image.size()), image);
    EXPECT_EQ(held.Observed().opens, 0);
    EXPECT_TRUE(Contains(cli.Err(), "cdc_acm")) << cli.Err();
}

} // namespace
} // namespace ostervane
