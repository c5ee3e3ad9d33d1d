// ostervane-cli backup --port against handheld-sim over a pseudo-terminal, both as processes of
// their own: the backup stopped by SIGTERM at about 30 % keeps its blocks, and the next run of
// the same command goes on after them, asks the handheld only for what it lacks (handheld-sim
// --verbose names every request) and ends with the handheld's image.
#include <optional>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "link_test_support.h"
#include "wait_until.h"

namespace ostervane {
namespace {

using namespace testing;

constexpr uint32_t kImageSize = 0x10000; // 16 blocks
constexpr uint32_t kBigRomBase = 0x10008000;
constexpr int kExitStopped = 130;

Bytes MakeImage() {
    return SealedBigRomImage(kImageSize, 11);
}

std::string Text(const std::string &path) {
    Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// The memory reads handheld-sim --verbose reported, in order; a read repeated at once (an
// exchange the host tried again) counts once.
std::vector<Piece> ReadsReported(const std::string &text) {
    std::vector<Piece> reads;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        unsigned address = 0, count = 0, tid = 0;
        if (std::sscanf(line.c_str(), "handheld-sim: read tid %u address 0x%X count %u", &tid,
                        &address, &count) == 3) {
            if (reads.empty() || reads.back() != Piece(address, uint16_t(count))) {
                reads.emplace_back(address, uint16_t(count));
            }
        }
    }
    return reads;
}

std::vector<Piece> BlockReads(uint32_t firstBlock) {
    std::vector<Piece> reads;
    for (uint32_t at = firstBlock * kBackupBlockSize; at < kImageSize; at += 256) {
        reads.emplace_back(kBigRomBase + at, 256);
    }
    return reads;
}

TEST(BackupOverPtyStopped, SigtermKeepsTheBlocksAndTheNextRunReadsOnlyTheRest) {
    TempDir dir;
    WriteFile(dir.File("image.rom"), MakeImage());
    // Paced, so that the backup takes a few seconds and the signal lands in the middle.
    ChildProcess handheld({HANDHELD_SIM_PATH, "--model", "68k-v5", "--rom", dir.File("image.rom"),
                           "--baud", "230400", "--verbose"},
                          dir.File(""), "sim");
    std::string terminal;
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::string out = handheld.Out();
            terminal = out.substr(0, out.find('\n'));
            return out.find('\n') != std::string::npos;
        },
        std::chrono::seconds(10)));

    const size_t probeReads = 2; // the small and the big ROM header; no heap marker
    {
        ChildProcess cli({OSTERVANE_CLI_PATH, "backup", "--port", terminal, "stopped"},
                         dir.File(""), "first");
        ASSERT_TRUE(
            WaitUntil([&] { return ReadsReported(handheld.Err()).size() >= probeReads + 5 * 16; },
                      std::chrono::seconds(30)))
            << handheld.Err();
        cli.Signal(SIGTERM);
        EXPECT_EQ(cli.Wait(), kExitStopped) << cli.Err();
        EXPECT_NE(cli.Err().find("Stopped."), std::string::npos) << cli.Err();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("stopped.rom")));
    ASSERT_TRUE(std::filesystem::exists(dir.File("stopped.rom.partial")));

    // A user takes a moment to run the command again; by then the handheld has finished the
    // reply it was sending when the backup stopped.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    size_t readsBefore = ReadsReported(handheld.Err()).size();
    ChildProcess again({OSTERVANE_CLI_PATH, "backup", "--port", terminal, "stopped"}, dir.File(""),
                       "second");
    ASSERT_EQ(again.Wait(), 0) << again.Out() << again.Err();
    EXPECT_EQ(ReadFile(dir.File("stopped.rom")), MakeImage());
    EXPECT_FALSE(std::filesystem::exists(dir.File("stopped.rom.partial")));

    std::string log = Text(dir.File("Keelstone.log"));
    size_t at = log.find("Resuming at block ");
    ASSERT_NE(at, std::string::npos) << log;
    unsigned saved = 0, blocks = 0;
    ASSERT_EQ(std::sscanf(log.c_str() + at, "Resuming at block %u of %u", &saved, &blocks), 2);
    EXPECT_EQ(blocks, 16u);
    EXPECT_GE(saved, 5u);
    EXPECT_LT(saved, 16u);
    EXPECT_NE(log.find("ROM checksum verified"), std::string::npos) << log;
    // The console says the same as the log.
    EXPECT_NE(again.Out().find("Resuming at block "), std::string::npos) << again.Out();
    EXPECT_NE(again.Out().find("ROM checksum verified"), std::string::npos) << again.Out();

    std::vector<Piece> reads = ReadsReported(handheld.Err());
    reads.erase(reads.begin(), reads.begin() + std::ptrdiff_t(readsBefore));
    std::vector<Piece> expected = {{0x10000000, 256}, {kBigRomBase, 256}};
    std::vector<Piece> blockReads = BlockReads(saved - 1); // the last saved block again
    expected.insert(expected.end(), blockReads.begin(), blockReads.end());
    EXPECT_EQ(reads, expected);
}

} // namespace
} // namespace ostervane
