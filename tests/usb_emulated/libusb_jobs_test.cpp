// Whole jobs over the libusb library on emulated USB: backups byte for byte whichever answer
// names the debugger port, slots for a handheld there at the start and one plugged in later,
// two restores at once, a handheld without a debugger port that takes no slot, and a cable
// pulled in the middle of a transfer.
#include "ostervane/link/usb_notifier.h"
#include "usb_emulated/emulated_test_support.h"

namespace ostervane {
namespace {

using namespace testing;
using Outcome = JobTurn::Outcome;

const sim::HandheldModel &V5() {
    return Model("68k-v5");
}

bool Talked(const DeviceObservations &seen) {
    return seen.bytesToHandheld > 0;
}

Bytes BigRom(sim::HandheldDebugger &handheld, size_t count) {
    return MemoryBytes(handheld, V5().bigRomBase, count);
}

TEST(UsbJobsOnEmulatedUsb, ABackupIsTheRomByteForByteWhicheverAnswerNamesTheDebugger) {
    for (ConnectionAnswers answers : {ConnectionAnswers::Extended, ConnectionAnswers::PlainOnly}) {
        SCOPED_TRACE(answers == ConnectionAnswers::Extended ? "0x04 answered" : "0x03 answered");
        TempDir dir;
        EmulatedUsbBus bus;
        auto handheld = sim::MakeHandheld(V5());
        EmulatedDeviceSetup setup = HandheldAt("1-2", *handheld);
        setup.answers = answers;
        EmulatedUsbDevice &device = bus.Add(setup);
        {
            UsbJobsRun run(BackupSettings(dir.File("out.rom")), 1);
            EXPECT_EQ(run.Finish(), Outcome::Succeeded) << run.output.Text();
        }
        EXPECT_EQ(ReadFile(dir.File("out.rom")), BigRom(*handheld, kV5BackupLength));
        EXPECT_EQ(handheld->Stats().continues, 1u);
        EXPECT_EQ(device.Observed().driver, "visor") << "the library's end gives the driver back";
    }
}

TEST(UsbJobsOnEmulatedUsb, AHandheldThereAtTheStartAndOnePluggedInLaterBothGetSlots) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto first = sim::MakeHandheld(V5());
    auto second = sim::MakeHandheld(V5());
    Bytes image = DifferentImage(*first, V5(), 1);
    WriteFile(dir.File("image.rom"), image);
    EmulatedUsbDevice &there = bus.Add(HandheldAt("1-2", *first));
    UsbJobsRun run(RestoreSettings(dir.File("image.rom"), V5()), 2);
    ASSERT_TRUE(there.WaitFor(Talked));
    bus.Plug(HandheldAt("1-3", *second));

    EXPECT_EQ(run.Finish(), Outcome::Succeeded) << run.output.Text();
    EXPECT_EQ(BigRom(*first, image.size()), image);
    EXPECT_EQ(BigRom(*second, image.size()), image);
    std::string text = run.output.Text();
    EXPECT_TRUE(Contains(text, "USB 1: Flashing")) << text;
    EXPECT_TRUE(Contains(text, "USB 2: Flashing")) << text;
}

TEST(UsbJobsOnEmulatedUsb, TwoHandheldsAreRestoredAtOnce) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto first = sim::MakeHandheld(V5());
    auto second = sim::MakeHandheld(V5());
    Bytes image = DifferentImage(*first, V5(), 2);
    WriteFile(dir.File("image.rom"), image);
    EmulatedUsbDevice &one = bus.Add(HandheldAt("1-2", *first));
    EmulatedUsbDevice &other = bus.Add(HandheldAt("1-3", *second, ""));

    UsbJobsRun run(RestoreSettings(dir.File("image.rom"), V5()), 2);
    EXPECT_EQ(run.Finish(), Outcome::Succeeded) << run.output.Text();
    EXPECT_EQ(BigRom(*first, image.size()), image);
    EXPECT_EQ(BigRom(*second, image.size()), image);
    DeviceObservations a = one.Observed();
    DeviceObservations b = other.Observed();
    EXPECT_TRUE(a.firstBulk < b.lastBulk && b.firstBulk < a.lastBulk)
        << "the two restores ran one after the other";
}

TEST(UsbJobsOnEmulatedUsb, AHandheldNamingNoDebuggerPortTakesNoSlot) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto asleep = sim::MakeHandheld(V5());
    auto ready = sim::MakeHandheld(V5());
    EmulatedDeviceSetup setup = HandheldAt("1-2", *asleep);
    setup.answers = ConnectionAnswers::WithoutDebugger;
    EmulatedUsbDevice &noDebugger = bus.Add(setup);
    UsbJobsRun run(BackupSettings(dir.File("out.rom")), 1);
    ASSERT_TRUE(noDebugger.WaitFor([](const DeviceObservations &seen) {
        return seen.reattaches == 1;
    })) << "the driver taken from the handheld is given back";
    bus.Plug(HandheldAt("1-3", *ready));

    EXPECT_EQ(run.Finish(), Outcome::Succeeded) << run.output.Text();
    EXPECT_EQ(ReadFile(dir.File("out.rom")), BigRom(*ready, kV5BackupLength));
    EXPECT_EQ(asleep->Stats().requests, 0u);
    EXPECT_EQ(noDebugger.Observed().driver, "visor");
}

TEST(UsbJobsOnEmulatedUsb, AStopEndsABackupWhoseReadIsUnderWay) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto handheld = sim::MakeHandheld(V5());
    EmulatedDeviceSetup setup = HandheldAt("1-2", *handheld);
    setup.holdRepliesAfter = 40;
    EmulatedUsbDevice &device = bus.Add(setup);
    auto stopped = std::chrono::steady_clock::now();
    {
        UsbJobsRun run(BackupSettings(dir.File("out.rom")), 1);
        ASSERT_TRUE(WaitUntil([&] { return device.Holding(); }));
        stopped = std::chrono::steady_clock::now();
        run.stop = true;
        EXPECT_EQ(run.Finish(), Outcome::Stopped) << run.output.Text();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(3));
    EXPECT_LT(ReadFile(dir.File("out.rom")).size(), kV5BackupLength);
    EXPECT_EQ(handheld->Stats().continues, 0u);
    EXPECT_EQ(device.Observed().driver, "visor");
}

// One slot as the window has it: a restore job on the first pipe of a notifier over the real
// library, notifications applied on the test's thread.
class RestoreSlot {
public:
    explicit RestoreSlot(const std::string &imageFile) {
        JobSettings settings = recorder.Settings(imageFile);
        JobSettings restore = RestoreSettings(imageFile, V5());
        settings.isBackup = false;
        settings.flashDatabase = restore.flashDatabase;
        settings.image = restore.image;
        SlotCallback inner = settings.slotCallback;
        settings.slotCallback = [this, inner](uint32_t code, const void *data, DeviceSlot *slot) {
            std::lock_guard lock(mutex_);
            if (code == EvJobFailed) {
                failures_.push_back(*static_cast<const int32_t *>(data));
            }
            inner(code, data, slot);
        };
        job = std::make_unique<DebugPacket>(std::move(settings));
        pipe = notifier.CreateUsbPipe(0, 0, &DebugPacket::HandlePipeEvent, job.get());
        pipe->SetWaitForTurnEnd([this] { job->JoinJobThread(); });
        job->AttachPipe(pipe);
    }
    ~RestoreSlot() { job.reset(); } // before the notifier frees the pipe

    // Applies the library's notifications until `condition` holds.
    bool DeliverUntil(const std::function<bool()> &condition) {
        return WaitUntil([&] {
            notifier.DeliverPending();
            return condition();
        });
    }
    std::vector<int32_t> Failures() {
        std::lock_guard lock(mutex_);
        return failures_;
    }
    std::string Status() {
        std::lock_guard lock(mutex_);
        return recorder.slot.status;
    }

    LibusbPortLibrary library;
    UsbNotifier notifier{library};
    JobRecorder recorder;
    std::unique_ptr<DebugPacket> job;
    USBPipe *pipe = nullptr;

private:
    std::mutex mutex_; // the slot takes events one at a time, as a window's thread would
    std::vector<int32_t> failures_;
};

TEST(UsbJobsOnEmulatedUsb, ACablePulledMidTransferEndsTheJobAndTheSlotTakesTheNextHandheld) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto first = sim::MakeHandheld(V5());
    auto second = sim::MakeHandheld(V5());
    Bytes image = DifferentImage(*first, V5(), 3);
    WriteFile(dir.File("image.rom"), image);
    RestoreSlot slot(dir.File("image.rom"));
    EmulatedDeviceSetup setup = HandheldAt("1-2", *first);
    setup.holdRepliesAfter = 40;
    EmulatedUsbDevice &pulled = bus.Plug(setup);
    ASSERT_TRUE(slot.DeliverUntil([&] { return pulled.Holding(); }));

    // The read under way ends with the device gone and the job fails on its own; only then is
    // the removal applied (the slot's end of turn does not wait for a job still unwinding).
    bus.Unplug(pulled);
    ASSERT_TRUE(WaitUntil([&] { return slot.Failures().size() == 1; }));
    slot.job->JoinJobThread();
    EXPECT_NE(slot.Failures()[0], 0);
    ASSERT_TRUE(slot.DeliverUntil([&] { return !slot.pipe->IsAttached(); }));
    EXPECT_EQ(slot.Status(), "Waiting...");

    // The same socket, a new device number: the next handheld.
    EmulatedUsbDevice &next = bus.Plug(HandheldAt("1-2", *second));
    ASSERT_TRUE(slot.DeliverUntil([&] { return next.Observed().bytesToHandheld > 0; }));
    slot.job->JoinJobThread();
    EXPECT_EQ(slot.Failures().size(), 1u);
    EXPECT_EQ(BigRom(*second, image.size()), image);
    EXPECT_EQ(slot.pipe->DeviceName(), "usb-1-2");
}

} // namespace
} // namespace ostervane
