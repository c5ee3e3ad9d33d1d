// Interrupted backups against the simulated handheld on the virtual clock: the line cut at 30 %
// and the backup run again goes on where it stopped, reads only what it lacks and ends equal to
// an uninterrupted backup; another handheld, a torn last block, a restore in between or
// --restart start afresh; a ROM checksum that fails keeps the blocks, and the next backup
// repairs only those that differ.
#include "link_test_support.h"
#include "ostervane/link/arm_header_order.h"
#include "ostervane/payloads/payloads.h"

namespace ostervane {
namespace {

using namespace testing;

constexpr uint32_t kChunk = debugger::kChunkSize;
constexpr uint32_t kBlock = kBackupBlockSize;
constexpr int32_t kCutError = 5; // EIO, as a serial line whose cable was pulled reports

// Forwards to the handheld's line until it is cut; from then on every transfer fails.
class CuttableLine : public PipeBase {
public:
    explicit CuttableLine(sim::SimulatedPipe &line) : PipeBase(nullptr, nullptr), line_(line) {
        readHandle_ = writeHandle_ = 1;
        displayName_ = "SIM";
    }
    void Cut() { cut_ = true; }

    int32_t Configure(uint32_t) override { return 0; }
    int32_t Close() override { return 0; }
    bool IsHotPlug() const override { return false; }
    uint32_t GetMaxBaudRate() override { return 115200; }
    void SetMaxBaudRate(uint32_t) override {}

protected:
    int32_t ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) override {
        *received = 0;
        return cut_ ? kCutError : line_.Receive(buffer, count, received);
    }
    int32_t SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) override {
        *sent = 0;
        return cut_ ? kCutError : line_.Send(buffer, count, sent);
    }

private:
    sim::SimulatedPipe &line_;
    std::atomic<bool> cut_{false};
};

// A handheld on its line, which stays for every job run against it (the line's clock is the
// handheld's time).
struct Handheld {
    explicit Handheld(const sim::HandheldModel &m, std::optional<sim::SimTime> reenter = {})
        : model(m), debugger(sim::MakeHandheld(m, {sim::FaultPlan{}, reenter})), line(*debugger) {}

    // The big ROM as a backup of it saves it.
    Bytes BackupImage() const {
        Bytes image = MemoryBytes(*debugger, model.bigRomBase, Length());
        ArmHeaderToFileOrder(image.data(), uint32_t(image.size()));
        return image;
    }
    uint32_t Length() const { return model.RomEnd() - model.bigRomBase; }
    uint32_t Blocks() const { return (Length() + kBlock - 1) / kBlock; }
    std::vector<sim::RequestRecord> Reads() const {
        std::vector<sim::RequestRecord> reads;
        for (const sim::RequestRecord &r : debugger->Requests()) {
            if (r.command == sim::kCmdReadMemory) {
                reads.push_back(r);
            }
        }
        return reads;
    }
    // Cuts `cable` when the handheld is asked for its `n`th memory read from now on.
    void CutAtRead(CuttableLine &cable, size_t n) {
        debugger->SetRequestObserver(
            [&cable, n, seen = size_t(0)](const sim::RequestRecord &r) mutable {
                if (r.command == sim::kCmdReadMemory && ++seen == n) {
                    cable.Cut();
                }
            });
    }

    sim::HandheldModel model;
    std::unique_ptr<sim::HandheldDebugger> debugger;
    sim::SimulatedPipe line;
};

// One job (a backup unless `adjust` says otherwise), run on the test's thread over a fresh
// opening of the handheld's line.
struct JobRun {
    JobRun(Handheld &h, const std::string &file,
           const std::function<void(JobSettings &)> &adjust = {})
        : handheld(h), cable(h.line), job(Settings(file, adjust)) {}

    JobSettings Settings(const std::string &file,
                         const std::function<void(JobSettings &)> &adjust) {
        JobSettings settings = recorder.Settings(file);
        if (adjust) {
            adjust(settings);
        }
        return settings;
    }
    int32_t Run() {
        handheld.line.Close(); // what an earlier job left on the line is purged
        handheld.line.Open();
        job.AttachPipe(&cable);
        return job.RunJob();
    }
    bool Logged(const std::string &text) const {
        const std::vector<std::string> &lines = recorder.slot.logLines;
        return std::find(lines.begin(), lines.end(), "SIM: " + text) != lines.end();
    }
    std::vector<std::string> Events() { return recorder.slot.Events(); }

    Handheld &handheld;
    JobRecorder recorder;
    CuttableLine cable;
    DebugPacket job;
};

// The reads of the handheld's probe: its small ROM header, big ROM header and heap marker.
size_t ProbeReads(const sim::HandheldModel &model) {
    return model.heap ? 3 : 2;
}

// Backs the handheld up into `file` with the line cut while block `cutBlock` is read; the
// blocks before it are then in the partial file.
void CutBackup(Handheld &handheld, const std::string &file, uint32_t cutBlock) {
    JobRun run(handheld, file);
    handheld.CutAtRead(run.cable, ProbeReads(handheld.model) + cutBlock * (kBlock / kChunk) + 5);
    EXPECT_NE(run.Run(), 0);
    handheld.debugger->SetRequestObserver(nullptr);
}

std::vector<Piece> BlockPieces(uint32_t base, uint32_t first, uint32_t end, uint32_t length) {
    std::vector<Piece> pieces;
    for (uint32_t at = first * kBlock; at < std::min(end * kBlock, length); at += kChunk) {
        pieces.emplace_back(base + at, uint16_t(std::min(kChunk, length - at)));
    }
    return pieces;
}

std::vector<Piece> ReadsSince(const Handheld &handheld, size_t from) {
    std::vector<sim::RequestRecord> reads = handheld.Reads();
    return Pieces({reads.begin() + std::ptrdiff_t(from), reads.end()});
}

// The probe's reads, then the blocks from `first` to the end.
std::vector<Piece> ExpectedReads(const Handheld &handheld, const std::vector<Piece> &probe,
                                 uint32_t first) {
    std::vector<Piece> expected = probe;
    std::vector<Piece> blocks =
        BlockPieces(handheld.model.bigRomBase, first, handheld.Blocks(), handheld.Length());
    expected.insert(expected.end(), blocks.begin(), blocks.end());
    return expected;
}

class CutLine : public ::testing::TestWithParam<std::string> {};

TEST_P(CutLine, TheNextBackupGoesOnAfterTheLastSavedBlockAndEqualsAnUninterruptedOne) {
    TempDir dir;
    Handheld handheld(Model(GetParam()));
    const uint32_t blocks = handheld.Blocks();
    const uint32_t saved = blocks * 3 / 10;
    CutBackup(handheld, dir.File("cut.rom"), saved);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"cut.rom.partial"});

    size_t readsBefore = handheld.Reads().size();
    std::vector<Piece> probe(ReadsSince(handheld, 0));
    probe.resize(ProbeReads(handheld.model));
    JobRun resumed(handheld, dir.File("cut.rom"));
    ASSERT_EQ(resumed.Run(), 0);
    const std::string position = std::to_string(saved) + " of " + std::to_string(blocks);
    EXPECT_TRUE(resumed.Logged("Resuming at block " + position));
    // Only the missing blocks are read, and the last saved one again to compare it.
    EXPECT_EQ(ReadsSince(handheld, readsBefore), ExpectedReads(handheld, probe, saved - 1));
    // The bar starts where the backup stopped and counts every block once.
    std::vector<std::string> events = resumed.Events();
    auto start = std::find(events.begin(), events.end(), "progress " + std::to_string(blocks));
    ASSERT_NE(start, events.end());
    EXPECT_EQ(std::count(start, events.end(), "step"), std::ptrdiff_t(blocks));
    EXPECT_TRUE(std::all_of(start + 1, start + 1 + saved, [](auto &e) { return e == "step"; }));

    Handheld untouched(Model(GetParam()));
    JobRun whole(untouched, dir.File("whole.rom"));
    ASSERT_EQ(whole.Run(), 0);
    EXPECT_EQ(ReadFile(dir.File("cut.rom")), ReadFile(dir.File("whole.rom")));
    EXPECT_EQ(ReadFile(dir.File("cut.rom")), handheld.BackupImage());
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"cut.rom", "whole.rom"}));
}

// The ARM header is saved in file order: a resume whose last saved block is the first one
// compares it in that order too.
TEST(CutLineAfterTheFirstBlock, TheArmHeaderIsComparedInFileOrder) {
    TempDir dir;
    Handheld handheld(Model("arm"));
    CutBackup(handheld, dir.File("arm.rom"), 1);
    JobRun resumed(handheld, dir.File("arm.rom"));
    ASSERT_EQ(resumed.Run(), 0);
    EXPECT_TRUE(resumed.Logged("Resuming at block 1 of " + std::to_string(handheld.Blocks())));
    EXPECT_EQ(ReadFile(dir.File("arm.rom")), handheld.BackupImage());
}

INSTANTIATE_TEST_SUITE_P(Models, CutLine, ::testing::Values("68k-v5", "arm"), [](const auto &info) {
    return std::string(info.param == "arm" ? "Arm" : "M68kV5");
});

// A backup that starts afresh reads every block (after the last saved one, when it compared
// that) and ends equal to the handheld's ROM.
void ExpectFreshBackup(JobRun &run, Handheld &handheld, size_t readsBefore, const std::string &file,
                       const std::string &why, std::optional<uint32_t> compared = std::nullopt) {
    EXPECT_TRUE(run.Logged(why)) << ::testing::PrintToString(run.recorder.slot.logLines);
    EXPECT_FALSE(std::any_of(run.recorder.slot.logLines.begin(), run.recorder.slot.logLines.end(),
                             [](const std::string &l) { return l.find("Resuming") != l.npos; }));
    std::vector<Piece> reads = ReadsSince(handheld, readsBefore);
    ASSERT_GE(reads.size(), ProbeReads(handheld.model));
    std::vector<Piece> probe(reads.begin(), reads.begin() + ProbeReads(handheld.model));
    if (compared) {
        std::vector<Piece> block =
            BlockPieces(handheld.model.bigRomBase, *compared, *compared + 1, handheld.Length());
        probe.insert(probe.end(), block.begin(), block.end());
    }
    EXPECT_EQ(reads, ExpectedReads(handheld, probe, 0));
    EXPECT_EQ(ReadFile(file), handheld.BackupImage());
}

TEST(StartAfresh, AnotherHandheldBehindTheSameName) {
    TempDir dir;
    const std::string file = dir.File("same.rom");
    Handheld first(Model("68k-v5"));
    CutBackup(first, file, 17);
    Handheld other(Model("68k-v4"));
    JobRun run(other, file);
    ASSERT_EQ(run.Run(), 0);
    ExpectFreshBackup(run, other, 0, file, "Partial backup is of another ROM: starting afresh");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"same.rom"});
}

TEST(StartAfresh, ALastSavedBlockThatDiffersFromTheHandheldIsNotTrusted) {
    TempDir dir;
    const std::string file = dir.File("torn.rom");
    Handheld handheld(Model("68k-v5"));
    CutBackup(handheld, file, 17);
    // A torn write: the end of the last saved block is not what was written.
    Bytes partial = ReadFile(file + ".partial");
    for (uint32_t i = 16 * kBlock + 2048; i < 17 * kBlock; ++i) {
        partial[i] ^= 0xFF;
    }
    WriteFile(file + ".partial", partial);

    size_t readsBefore = handheld.Reads().size();
    JobRun run(handheld, file);
    ASSERT_EQ(run.Run(), 0);
    ExpectFreshBackup(run, handheld, readsBefore, file,
                      "Partial backup's last block differs from the handheld: starting afresh", 16);
}

// A restore between the two backups changed an early block and, with it, the checksum in the
// header; the last saved block is the same as before, so only the header tells the partial
// file is older than the handheld's ROM.
TEST(StartAfresh, ARestoreInBetweenIsNeverMixedIn) {
    TempDir dir;
    const std::string file = dir.File("restored.rom");
    Handheld handheld(Model("68k-v5"), sim::SimTime(std::chrono::milliseconds(300)));
    CutBackup(handheld, file, 17);

    const Bytes before = handheld.BackupImage();
    Bytes image = before;
    for (uint32_t i = 0; i < 64; ++i) {
        image[3 * kBlock + 100 + i] ^= 0x5A;
    }
    SealChecksum(image);
    ASSERT_NE(Bytes(image.begin(), image.begin() + 256),
              Bytes(before.begin(), before.begin() + 256));
    ASSERT_EQ(Bytes(image.begin() + 16 * kBlock, image.begin() + 17 * kBlock),
              Bytes(before.begin() + 16 * kBlock, before.begin() + 17 * kBlock));
    WriteFile(dir.File("new.rom"), image);
    JobRun restore(handheld, dir.File("new.rom"), [&](JobSettings &settings) {
        settings.isBackup = false;
        settings.flashDatabase = LowLevelFlashPayload();
        settings.image.imageDeviceId = handheld.model.deviceId;
    });
    ASSERT_EQ(restore.Run(), 0);
    ASSERT_EQ(handheld.BackupImage(), image);

    size_t readsBefore = handheld.Reads().size();
    JobRun run(handheld, file);
    ASSERT_EQ(run.Run(), 0);
    ExpectFreshBackup(run, handheld, readsBefore, file,
                      "Partial backup is of another ROM: starting afresh");
    EXPECT_EQ(ReadFile(file), image);
}

TEST(StartAfresh, RestartIgnoresAndReplacesThePartialFile) {
    TempDir dir;
    const std::string file = dir.File("again.rom");
    Handheld handheld(Model("68k-v5"));
    CutBackup(handheld, file, 17);
    size_t readsBefore = handheld.Reads().size();
    JobRun run(handheld, file, [](JobSettings &settings) { settings.restartBackup = true; });
    ASSERT_EQ(run.Run(), 0);
    ExpectFreshBackup(run, handheld, readsBefore, file, "Partial backup ignored: starting afresh");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"again.rom"});
}

TEST(StartAfresh, ADamagedRecordIsNotTrusted) {
    TempDir dir;
    const std::string file = dir.File("damaged.rom");
    Handheld handheld(Model("68k-v5"));
    CutBackup(handheld, file, 17);
    Bytes partial = ReadFile(file + ".partial");
    for (size_t slot = partial.size() - 2 * 4096; slot < partial.size(); slot += 4096) {
        partial[slot + 40] ^= 0xFF; // a byte of the header copy in each record slot
    }
    WriteFile(file + ".partial", partial);
    size_t readsBefore = handheld.Reads().size();
    JobRun run(handheld, file);
    ASSERT_EQ(run.Run(), 0);
    ExpectFreshBackup(run, handheld, readsBefore, file,
                      "Partial backup's record is damaged: starting afresh");
}

const char *const kChecksumBoxText = "The saved ROM does not match its checksum.  Back up again: "
                                     "the saved blocks are then compared with the handheld.";

// The number of the packet that answers a backup's read of `address`, learnt from a backup of a
// twin of the handheld: packet 0 is the state packet it announces itself with, and then every
// request it takes is answered with one packet.
uint32_t ReplyPacketOfRead(const sim::HandheldModel &model, uint32_t address) {
    TempDir dir;
    Handheld twin(model);
    JobRun run(twin, dir.File("twin.rom"));
    EXPECT_EQ(run.Run(), 0);
    std::vector<sim::RequestRecord> requests = twin.debugger->Requests();
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].command == sim::kCmdReadMemory && requests[i].address == address) {
            return uint32_t(i + 1);
        }
    }
    ADD_FAILURE() << "no read at " << address;
    return 0;
}

// A read reply with one bit flipped and a correct CRC passes every check of the line; only the
// ROM checksum tells.  The blocks stay, and the next backup rewrites the one that differs.
TEST(ChecksumCheck, ACorruptedReplyFailsTheBackupAndTheNextOneRepairsOnlyThatBlock) {
    TempDir dir;
    const std::string file = dir.File("checked.rom");
    Handheld handheld(Model("68k-v5"));
    const uint32_t blocks = handheld.Blocks();
    const uint32_t corrupted = 20 * kBlock + 4 * kChunk + 17; // in block 20
    uint32_t packet = ReplyPacketOfRead(handheld.model, handheld.model.bigRomBase + corrupted - 17);
    handheld.debugger->SetFaults(ParseFaults("corrupt@" + std::to_string(packet) + ":17"));

    JobRun failing(handheld, file);
    EXPECT_EQ(failing.Run(), ErrRomChecksum);
    EXPECT_EQ(handheld.debugger->Stats().corruptedReplies, 1u);
    const std::vector<std::string> &log = failing.recorder.slot.logLines;
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2].rfind("SIM: ROM checksum does not match", 0), 0u);
    EXPECT_EQ(log.back(),
              "SIM: Saved blocks kept: the next backup compares them with the handheld");
    ASSERT_EQ(failing.recorder.prompter.Boxes().size(), 1u);
    EXPECT_EQ(failing.recorder.prompter.Boxes()[0].caption, "Backup Failed");
    EXPECT_EQ(failing.recorder.prompter.Boxes()[0].text, kChecksumBoxText);
    EXPECT_FALSE(handheld.debugger->LastResume().has_value());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"checked.rom.partial"});
    const Bytes image = handheld.BackupImage();
    EXPECT_EQ(ReadFile(file + ".partial").at(corrupted), image[corrupted] ^ 1);

    handheld.debugger->SetFaults(sim::FaultPlan{});
    size_t readsBefore = handheld.Reads().size();
    JobRun repair(handheld, file);
    ASSERT_EQ(repair.Run(), 0);
    EXPECT_TRUE(
        repair.Logged("Checking " + std::to_string(blocks) + " saved blocks against the handheld"));
    EXPECT_TRUE(repair.Logged("Rewrote 1 of " + std::to_string(blocks) +
                              " checked blocks that differed from the handheld"));
    EXPECT_TRUE(repair.Logged("ROM checksum verified"));
    EXPECT_TRUE(repair.recorder.prompter.Boxes().empty());
    std::vector<Piece> reads = ReadsSince(handheld, readsBefore);
    ASSERT_GE(reads.size(), ProbeReads(handheld.model));
    std::vector<Piece> probe(reads.begin(), reads.begin() + ProbeReads(handheld.model));
    EXPECT_EQ(reads, ExpectedReads(handheld, probe, 0));
    EXPECT_EQ(ReadFile(file), image);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"checked.rom"});
}

// A handheld whose ROM does not match its own checksum (a patched ROM) is backed up all the
// same once a second backup has read every block alike.
TEST(ChecksumCheck, AHandheldsOwnMismatchIsSavedOnceEveryBlockWasReadTwiceAlike) {
    TempDir dir;
    const std::string file = dir.File("patched.rom");
    Handheld handheld(Model("68k-v5"));
    const uint32_t patched = handheld.model.bigRomBase + 0x1000;
    Bytes bytes = MemoryBytes(*handheld.debugger, patched, 2);
    Patch(*handheld.debugger, patched, {uint8_t(~bytes[0]), uint8_t(~bytes[1])});
    JobRun first(handheld, file);
    EXPECT_EQ(first.Run(), ErrRomChecksum);
    ASSERT_EQ(first.recorder.prompter.Boxes().size(), 1u);

    JobRun second(handheld, file);
    ASSERT_EQ(second.Run(), 0);
    EXPECT_TRUE(second.Logged("Rewrote 0 of " + std::to_string(handheld.Blocks()) +
                              " checked blocks that differed from the handheld"));
    EXPECT_TRUE(second.Logged(
        "Every block read twice alike: the handheld's ROM itself fails its checksum"));
    EXPECT_EQ(ReadFile(file), handheld.BackupImage());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"patched.rom"});
}

} // namespace
} // namespace ostervane
