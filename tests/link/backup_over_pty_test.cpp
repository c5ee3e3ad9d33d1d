// A whole backup through SerialPipe over a pseudo-terminal, with handheld-sim running as a
// separate process and holding a ROM image of known content.
#include <random>

#include "link_test_support.h"
#include "ostervane/platform/serial_pipe.h"
#include "tests/simulator/handheld_sim_process.h"

namespace ostervane {
namespace {

using namespace testing;

// A 16 KB big ROM whose header gives its own length and checksum, saved as a backup would save
// it.
Bytes MakeImage(bool arm) {
    Bytes image(0x4000);
    std::mt19937 random(7);
    for (uint8_t &byte : image) {
        byte = uint8_t(random());
    }
    std::fill_n(image.begin(), 256, 0);
    const Bytes header = arm ? Bytes{0xEF, 0xBE, 0xED, 0xFE, 0x06, 0x00}  // rewritten by a backup
                             : Bytes{0xFE, 0xED, 0xBE, 0xEF, 0x00, 0x05}; // version 5
    std::copy(header.begin(), header.end(), image.begin() + 8);
    const Bytes length = arm ? Bytes{0x00, 0x40, 0x00, 0x00} : Bytes{0x00, 0x00, 0x40, 0x00};
    std::copy(length.begin(), length.end(), image.begin() + 108);
    if (!arm) {
        std::copy_n("MT64", 4, image.begin() + 130);
    }
    SealChecksum(image);
    return image;
}

class BackupOverPty : public ::testing::TestWithParam<std::string> {};

TEST_P(BackupOverPty, SavedFileEqualsTheHandheldsImage) {
    const bool arm = GetParam() == "arm";
    TempDir dir;
    const Bytes image = MakeImage(arm);
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
