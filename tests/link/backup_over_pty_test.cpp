// A whole backup through SerialPipe over a pseudo-terminal, with handheld-sim running as a
// separate process and holding a ROM image of known content.
#include "link_test_support.h"
#include "ostervane/platform/serial_pipe.h"
#include "tests/simulator/handheld_sim_process.h"

namespace ostervane {
namespace {

using namespace testing;

class BackupOverPty : public ::testing::TestWithParam<std::string> {};

TEST_P(BackupOverPty, SavedFileEqualsTheHandheldsImage) {
    const bool arm = GetParam() == "arm";
    TempDir dir;
    const Bytes image = SealedBigRomImage(0x4000, 7, arm);
    WriteFile(dir.File("image.rom"), image);
    HandheldSimProcess handheld(HANDHELD_SIM_PATH, {"--model", GetParam(), "--rom",
                                                    dir.File("image.rom"), "--baud", "115200"});
    ASSERT_FALSE(handheld.Path().empty());

    JobRecorder recorder;
    SerialPipe pipe(handheld.Path(), "pts", 0, nullptr, nullptr);
    DebugPacket job(recorder.Settings(dir.File("backup.rom")));
    recorder.onClose = [&job] { job.RequestStop(); };
    job.AttachPipe(&pipe);
    pipe.Start();
    ASSERT_TRUE(recorder.WaitForClose(std::chrono::seconds(30)));
    job.JoinJobThread();

    EXPECT_EQ(ReadFile(dir.File("backup.rom")), image);
    const std::vector<std::string> &log = recorder.slot.logLines;
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), arm ? "pts: ROM Start: 0x20000000" : "pts: ROM Start: 0x10000000");
    EXPECT_EQ(log.back(), "pts: End Backup");
    EXPECT_TRUE(recorder.prompter.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Models, BackupOverPty, ::testing::Values("68k-v5", "arm"),
                         [](const auto &info) {
                             return std::string(info.param == "arm" ? "Arm" : "M68kV5");
                         });

} // namespace
} // namespace ostervane
