// The command line's USB jobs against the simulated USB library: a backup that waits for its
// handheld, a stop while waiting and during a transfer, and restores on two slots at once.
#include <atomic>
#include <cstdio>
#include <thread>

#include "captured_output.h"
#include "link/link_test_support.h"
#include "ostervane/cli/usb_jobs.h"
#include "ostervane/payloads/payloads.h"
#include "simulator/usb/simulated_usb_library.h"
#include "wait_until.h"

namespace ostervane {
namespace {

using namespace testing;
using cli::RunUsbJobs;
using Outcome = JobTurn::Outcome;

constexpr uint32_t kV5BackupLength = 0x38000;

// A command running on its own thread, as the CLI's main thread would run it.
class UsbCommand {
public:
    UsbCommand(sim::SimulatedUsbLibrary &usb, JobSettings settings, int slots) {
        cli::UsbConsole console{output.File(), false, nullptr, [this] { return stop.load(); }};
        thread = std::thread([&usb, settings, slots, console, this] {
            outcome = RunUsbJobs(usb, settings, slots, console);
        });
    }
    ~UsbCommand() { Finish(); }
    Outcome Finish() {
        if (thread.joinable()) {
            thread.join();
        }
        return outcome;
    }

    CapturedOutput output;
    std::atomic<bool> stop{false};
    Outcome outcome = Outcome::PortBusy;
    std::thread thread;
};

JobSettings BackupSettings(const std::string &romFile) {
    JobSettings settings;
    settings.romFileName = romFile;
    settings.isBackup = true;
    settings.makeRomFile = NewPartialBackupFile;
    return settings;
}

// An image the handheld's flash can take: its own big ROM up to the first block a restore
// erases, other bytes from there on.
Bytes ImageFor(sim::HandheldDebugger &handheld, const sim::HandheldModel &model) {
    uint32_t keep = model.flashBase + 0x20000 - model.bigRomBase;
    Bytes image = MemoryBytes(handheld, model.bigRomBase, keep);
    for (uint32_t i = 0; i < 0x1000; ++i) {
        image.push_back(static_cast<uint8_t>(i * 7));
    }
    return image;
}

JobSettings RestoreSettings(const std::string &romFile, const sim::HandheldModel &model) {
    JobSettings settings;
    settings.romFileName = romFile;
    settings.isBackup = false;
    settings.flashDatabase = LowLevelFlashPayload();
    settings.image.imageDeviceId = model.deviceId;
    settings.image.imageManufacturer = model.manufacturer;
    return settings;
}

TEST(UsbCommandJobs, ABackupWaitsForItsHandheldAndEndsWithItsJob) {
    TempDir dir;
    auto handheld = sim::MakeHandheld(Model("68k-v5"));
    sim::SimulatedUsbLibrary usb;
    UsbCommand command(usb, BackupSettings(dir.File("out.rom")), 1);
    ASSERT_TRUE(WaitUntil([&] { return usb.Registered(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the command waits on
    usb.Plug("usb-1-2", *handheld);

    EXPECT_EQ(command.Finish(), Outcome::Succeeded);
    EXPECT_EQ(ReadFile(dir.File("out.rom")).size(), kV5BackupLength);
    EXPECT_EQ(handheld->Stats().continues, 1u);
    std::string text = command.output.Text();
    EXPECT_EQ(text.rfind("Waiting...\n", 0), 0u) << text;
    EXPECT_EQ(text.find("USB 1: Waiting"), std::string::npos)
        << "one slot's statuses have no prefix";
    // The run log's lines (which name their link themselves) are shown as they are written.
    EXPECT_NE(text.find("USB 1: ROM checksum verified\n"), std::string::npos) << text;
}

TEST(UsbCommandJobs, AStopEndsTheWaitAndATransferUnderWay) {
    TempDir dir;
    {
        sim::SimulatedUsbLibrary usb;
        UsbCommand command(usb, BackupSettings(dir.File("none.rom")), 1);
        ASSERT_TRUE(WaitUntil([&] { return usb.Registered(); }));
        command.stop = true;
        EXPECT_EQ(command.Finish(), Outcome::Stopped);
    }
    auto handheld = sim::MakeHandheld(Model("68k-v5"));
    sim::SimulatedUsbLibrary usb;
    UsbCommand command(usb, BackupSettings(dir.File("out.rom")), 1);
    std::atomic<int> reads{0};
    handheld->SetRequestObserver([&](const sim::RequestRecord &r) {
        if (r.command == sim::kCmdReadMemory && ++reads == 40) {
            command.stop = true;
            // The job is held until the command has seen the stop and aborted the transfers.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return usb.Registered(); }));
    usb.Plug("usb-1-2", *handheld);
    EXPECT_EQ(command.Finish(), Outcome::Stopped);
    EXPECT_LT(ReadFile(dir.File("out.rom")).size(), kV5BackupLength);
    EXPECT_EQ(handheld->Stats().continues, 0u);
}

TEST(UsbCommandJobs, ARestoreOnTwoSlotsEndsAfterBothHandhelds) {
    TempDir dir;
    const sim::HandheldModel &model = Model("68k-v5");
    auto first = sim::MakeHandheld(model);
    auto second = sim::MakeHandheld(model);
    Bytes image = ImageFor(*first, model);
    WriteFile(dir.File("image.rom"), image);
    sim::SimulatedUsbLibrary usb;
    UsbCommand command(usb, RestoreSettings(dir.File("image.rom"), model), 2);
    ASSERT_TRUE(WaitUntil([&] { return usb.Registered(); }));
    usb.Plug("usb-1-2", *first);
    usb.Plug("usb-1-3", *second);

    EXPECT_EQ(command.Finish(), Outcome::Succeeded);
    EXPECT_EQ(MemoryBytes(*first, model.bigRomBase, image.size()), image);
    EXPECT_EQ(MemoryBytes(*second, model.bigRomBase, image.size()), image);
    std::string text = command.output.Text();
    EXPECT_NE(text.find("USB 1: Waiting...\n"), std::string::npos) << text;
    EXPECT_NE(text.find("USB 2: Waiting...\n"), std::string::npos) << text;
    EXPECT_NE(text.find("USB 2: Flashing"), std::string::npos) << text;
    EXPECT_EQ(text.find("\r"), std::string::npos) << "several slots write plain lines";
}

TEST(UsbCommandJobs, ARestoreFailsWhenOneOfItsHandheldsFails) {
    TempDir dir;
    const sim::HandheldModel &model = Model("68k-v5");
    auto matching = sim::MakeHandheld(model);
    auto other = sim::MakeHandheld(model);
    // A worn word where the image differs from the flash: that handheld's flash fails.
    uint32_t changed = model.flashBase + 0x20000;
    other->Memory().FlashChipAt(changed)->AddWornWord(changed);
    WriteFile(dir.File("image.rom"), ImageFor(*matching, model));
    sim::SimulatedUsbLibrary usb;
    UsbCommand command(usb, RestoreSettings(dir.File("image.rom"), model), 2);
    ASSERT_TRUE(WaitUntil([&] { return usb.Registered(); }));
    usb.Plug("usb-1-2", *matching);
    usb.Plug("usb-1-3", *other);
    EXPECT_EQ(command.Finish(), Outcome::Failed);
    EXPECT_NE(command.output.Text().find("USB 2: USB Write Error"), std::string::npos);
}

} // namespace
} // namespace ostervane
