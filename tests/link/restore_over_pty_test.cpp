// A whole restore through SerialPipe over a pseudo-terminal into handheld-sim running as a
// separate process with its emulated CPU: the real flasher writes an image that differs from
// the handheld's ROM in every byte behind its header, and a backup taken afterwards equals it.
#include "link_test_support.h"
#include "ostervane/payloads/payloads.h"
#include "ostervane/platform/serial_pipe.h"
#include "tests/simulator/handheld_sim_process.h"

namespace ostervane {
namespace {

using namespace testing;

// Runs one turn of a job over the handheld's terminal and stops its thread.
void RunOneTurn(const std::string &terminal, JobSettings settings, JobRecorder &recorder,
                bool backup) {
    SerialPipe pipe(terminal, "pts", 0, nullptr, nullptr);
    std::unique_ptr<DebugPacket> job;
    int waits = 0;
    SlotCallback record = settings.slotCallback;
    // A restore ends its turn by waiting for the next handheld: the second "waiting".
    settings.slotCallback = [&](uint32_t code, const void *data, DeviceSlot *slot) {
        record(code, data, slot);
        if (code == EvSlotWaiting && ++waits == 2) {
            job->RequestStop();
            std::lock_guard lock(recorder.mutex);
            ++recorder.closes;
            recorder.closed.notify_all();
        }
    };
    job = std::make_unique<DebugPacket>(settings);
    recorder.onClose = [&job] { job->RequestStop(); };
    job->AttachPipe(&pipe);
    pipe.Start();
    EXPECT_TRUE(recorder.WaitForClose(std::chrono::seconds(60))) << (backup ? "backup" : "restore");
    job->JoinJobThread();
}

TEST(RestoreOverPty, TheCpuFlashesADifferentImageThatABackupThenReadsBack) {
    TempDir dir;
    const Bytes old = SealedBigRomImage(0x10000, 1), image = SealedBigRomImage(0x10000, 2);
    WriteFile(dir.File("old.rom"), old);
    WriteFile(dir.File("new.rom"), image);
    HandheldSimProcess handheld(HANDHELD_SIM_PATH, {"--model", "68k-v5", "--cpu", "--rom",
                                                    dir.File("old.rom"), "--reenter-after", "200"});
    ASSERT_FALSE(handheld.Path().empty());

    JobRecorder restore;
    JobSettings settings = restore.Settings(dir.File("new.rom"));
    settings.isBackup = false;
    settings.flashDatabase = LowLevelFlashPayload();
    settings.image.imageDeviceId = 0x4D543634; // 'MT64'
    settings.image.imageAddressList = std::vector<uint32_t>{0xD00000};
    RunOneTurn(handheld.Path(), settings, restore, false);
    const std::vector<std::string> &log = restore.slot.logLines;
    EXPECT_NE(std::find(log.begin(), log.end(), "pts: End Restore"), log.end());

    JobRecorder backup;
    RunOneTurn(handheld.Path(), backup.Settings(dir.File("check.rom")), backup, true);
    EXPECT_EQ(ReadFile(dir.File("check.rom")), image);
}

} // namespace
} // namespace ostervane
