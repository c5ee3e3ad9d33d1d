// Whole jobs over USB against simulated handhelds: one job per arrival, the end of the turn on
// removal, unplugging during a transfer, a handheld plugged back while its old job unwinds, and
// a backup cut by an unplug that goes on when the handheld is back.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "link/link_test_support.h"
#include "ostervane/link/usb_notifier.h"
#include "simulator/usb/simulated_usb_library.h"

namespace ostervane {
namespace {

using namespace testing;

constexpr uint32_t kV5BackupLength = 0x38000;

// A latch that tests open from one thread and jobs wait on in another.
class Gate {
public:
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool Wait(std::chrono::seconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

// One slot's job on the first USB pipe; the owner's thread is the test's.
class UsbBench {
public:
    explicit UsbBench(bool isBackup, std::string romFile) {
        JobSettings settings = recorder.Settings(romFile);
        settings.isBackup = isBackup;
        SlotCallback inner = settings.slotCallback;
        settings.slotCallback = [this, inner](uint32_t code, const void *data, DeviceSlot *slot) {
            if (code == EvJobFailed) {
                std::lock_guard lock(mutex);
                failures.push_back(*static_cast<const int32_t *>(data));
            }
            if (code == EvJobFailed && onFailure) {
                onFailure();
            }
            // Events come from the job's thread and, at the end of a turn, the owner's: the
            // slot takes them one at a time, as a window's thread would.
            std::lock_guard lock(slotMutex);
            inner(code, data, slot);
        };
        job = std::make_unique<DebugPacket>(std::move(settings));
        pipe = notifier.CreateUsbPipe(0, 0, &DebugPacket::HandlePipeEvent, job.get());
        job->AttachPipe(pipe);
    }
    ~UsbBench() { job.reset(); } // before the notifier frees the pipe

    sim::HandheldDebugger &NewHandheld() {
        handhelds.push_back(sim::MakeHandheld(Model("68k-v5")));
        return *handhelds.back();
    }
    void PlugIn(const std::string &name, sim::HandheldDebugger &handheld) {
        usb.Plug(name, handheld);
        notifier.DeliverPending();
    }
    sim::HandheldDebugger &Plug(const std::string &name) {
        sim::HandheldDebugger &handheld = NewHandheld();
        PlugIn(name, handheld);
        return handheld;
    }
    void Unplug(const std::string &name) {
        usb.Unplug(name);
        notifier.DeliverPending();
    }
    std::vector<int32_t> Failures() {
        std::lock_guard lock(mutex);
        return failures;
    }
    int Closes() {
        std::lock_guard lock(recorder.mutex);
        return recorder.closes;
    }

    std::vector<std::unique_ptr<sim::HandheldDebugger>> handhelds;
    sim::SimulatedUsbLibrary usb;
    UsbNotifier notifier{usb};
    JobRecorder recorder;
    std::unique_ptr<DebugPacket> job;
    USBPipe *pipe = nullptr;
    std::mutex mutex;
    std::mutex slotMutex;
    std::vector<int32_t> failures;
    std::function<void()> onFailure; // run on the job's thread
};

// Holds the job's thread inside its `n`th memory read until released.
void HoldAtRead(sim::HandheldDebugger &handheld, int n, Gate &reached, Gate &release) {
    auto reads = std::make_shared<int>(0);
    handheld.SetRequestObserver([=, &reached, &release](const sim::RequestRecord &r) {
        if (r.command == sim::kCmdReadMemory && ++*reads == n) {
            reached.Open();
            release.Wait();
        }
    });
}

TEST(UsbJob, ABackupRunsOnceAndTheTurnEndsWithTheRemoval) {
    TempDir dir;
    UsbBench bench(true, dir.File("out.rom"));
    EXPECT_EQ(bench.recorder.slot.status, "Waiting...");
    sim::HandheldDebugger &handheld = bench.Plug("usb-1-2");
    bench.job->JoinJobThread(); // a hot-plug job thread ends after its one job
    EXPECT_TRUE(bench.Failures().empty());
    EXPECT_EQ(ReadFile(dir.File("out.rom")).size(), kV5BackupLength);
    EXPECT_EQ(handheld.Stats().continues, 1u);
    EXPECT_EQ(bench.Closes(), 0);

    bench.Unplug("usb-1-2");
    EXPECT_EQ(bench.Closes(), 1);
    EXPECT_TRUE(bench.recorder.slot.closed);
    EXPECT_FALSE(bench.pipe->IsAttached());
}

TEST(UsbJob, ARestoreSlotWaitsAgainAfterTheRemoval) {
    TempDir dir;
    UsbBench bench(false, dir.File("missing.rom"));
    bench.Plug("usb-1-2");
    bench.job->JoinJobThread();
    EXPECT_NE(bench.recorder.slot.status, "Waiting...");
    bench.Unplug("usb-1-2");
    EXPECT_EQ(bench.recorder.slot.status, "Waiting...");
    EXPECT_EQ(bench.Closes(), 0);
    // The slot takes the next handheld.
    bench.Plug("usb-1-3");
    EXPECT_EQ(bench.pipe->DeviceName(), "usb-1-3");
    bench.job->JoinJobThread();
}

TEST(UsbJob, UnplugDuringATransferEndsTheJobWithAStatus) {
    TempDir dir;
    UsbBench bench(true, dir.File("out.rom"));
    Gate reached, release;
    sim::HandheldDebugger &handheld = bench.NewHandheld();
    HoldAtRead(handheld, 40, reached, release);
    bench.PlugIn("usb-1-2", handheld);
    ASSERT_TRUE(reached.Wait());
    bench.usb.Unplug("usb-1-2"); // the transfer under way is made to end first
    release.Open();
    bench.notifier.DeliverPending(); // then the port closes
    bench.job->JoinJobThread();

    std::vector<int32_t> failures = bench.Failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0], 0);
    EXPECT_EQ(bench.Closes(), 1);
    EXPECT_EQ(bench.usb.OpenPortCount(), 0);
    EXPECT_LT(ReadFile(dir.File("out.rom")).size(), kV5BackupLength);
}

// The removal may be applied while the job that failed with it is still unwinding: the slot's
// last word must still be that it waits for the next handheld, not the old job's failure.
TEST(UsbJob, AFailureReportedAfterTheRemovalStillLeavesTheSlotWaiting) {
    TempDir dir;
    UsbBench bench(false, dir.File("missing.rom"));
    Gate reached, release, removalApplied;
    bench.onFailure = [&] { removalApplied.Wait(); };
    sim::HandheldDebugger &handheld = bench.NewHandheld();
    HoldAtRead(handheld, 2, reached, release);
    bench.PlugIn("usb-1-2", handheld);
    ASSERT_TRUE(reached.Wait());
    bench.usb.Unplug("usb-1-2");
    release.Open();
    bench.notifier.DeliverPending(); // the job is held at its failure report meanwhile
    removalApplied.Open();
    bench.job->JoinJobThread();
    ASSERT_EQ(bench.Failures().size(), 1u);
    std::lock_guard lock(bench.slotMutex);
    EXPECT_EQ(bench.recorder.slot.status, "Waiting...");
}

// A handheld plugged back in while its old job still unwinds goes to the first unattached
// pipe, which may be its old one; that pipe opens it only once the old job has ended, so no
// transfer of the old job reaches it.
TEST(UsbJob, AHandheldPluggedBackWaitsForItsOldJobToEnd) {
    TempDir dir;
    UsbBench bench(true, dir.File("out.rom"));
    bench.pipe->SetWaitForTurnEnd([&] { bench.job->JoinJobThread(); });
    Gate reached, release, oldJobMayEnd;
    int opensWhenOldJobEnded = -1;
    bench.onFailure = [&] {
        oldJobMayEnd.Wait();
        opensWhenOldJobEnded = bench.usb.OpensSoFar();
    };
    sim::HandheldDebugger &first = bench.NewHandheld();
    HoldAtRead(first, 40, reached, release);
    bench.PlugIn("usb-1-2", first);
    ASSERT_TRUE(reached.Wait());
    bench.usb.Unplug("usb-1-2");
    release.Open();
    bench.notifier.DeliverPending();

    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        oldJobMayEnd.Open();
    });
    sim::HandheldDebugger &second = bench.Plug("usb-1-2");
    releaser.join();
    bench.job->JoinJobThread();

    EXPECT_EQ(opensWhenOldJobEnded, 1);
    EXPECT_EQ(bench.pipe->DeviceName(), "usb-1-2");
    EXPECT_EQ(bench.Failures().size(), 1u);
    EXPECT_EQ(second.Stats().continues, 1u);
    EXPECT_EQ(ReadFile(dir.File("out.rom")).size(), kV5BackupLength);
}

// Pulled out at 30 % of a backup and plugged back in, the handheld's next job goes on after the
// last saved block: it reads that block again to compare it, then only the blocks missing.
TEST(UsbJob, ABackupCutByAnUnplugGoesOnWhenTheHandheldIsBack) {
    TempDir dir;
    UsbBench bench(true, dir.File("out.rom"));
    constexpr uint32_t kBlocks = kV5BackupLength / 4096;
    constexpr uint32_t kSaved = kBlocks * 3 / 10;
    constexpr size_t kProbeReads = 3; // small and big ROM header, heap marker
    Gate reached, release;
    sim::HandheldDebugger &handheld = bench.NewHandheld();
    HoldAtRead(handheld, int(kProbeReads + kSaved * 16 + 5), reached, release);
    bench.PlugIn("usb-1-2", handheld);
    ASSERT_TRUE(reached.Wait());
    bench.usb.Unplug("usb-1-2");
    release.Open();
    bench.notifier.DeliverPending();
    bench.job->JoinJobThread();
    ASSERT_EQ(bench.Failures().size(), 1u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.rom.partial"});

    size_t readsBefore = handheld.Stats().reads;
    size_t requestsBefore = handheld.Requests().size();
    bench.PlugIn("usb-1-2", handheld);
    bench.job->JoinJobThread();
    EXPECT_EQ(bench.Failures().size(), 1u);
    const std::vector<std::string> &log = bench.recorder.slot.logLines;
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string &line) {
                               return line.ends_with(": Resuming at block " +
                                                     std::to_string(kSaved) + " of " +
                                                     std::to_string(kBlocks));
                           }),
              log.end());
    EXPECT_EQ(handheld.Stats().reads - readsBefore, kProbeReads + (kBlocks - kSaved + 1) * 16);
    std::vector<sim::RequestRecord> requests = handheld.Requests();
    uint32_t lowest = UINT32_MAX;
    for (size_t i = requestsBefore; i < requests.size(); ++i) {
        if (requests[i].command == sim::kCmdReadMemory && requests[i].count == 256 &&
            requests[i].address > 0x10008000) {
            lowest = std::min(lowest, requests[i].address);
        }
    }
    EXPECT_EQ(lowest, 0x10008000 + (kSaved - 1) * 4096);

    auto untouched = sim::MakeHandheld(Model("68k-v5"));
    EXPECT_EQ(ReadFile(dir.File("out.rom")), MemoryBytes(*untouched, 0x10008000, kV5BackupLength));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.rom"});
    EXPECT_EQ(handheld.Stats().continues, 1u);
}

} // namespace
} // namespace ostervane
