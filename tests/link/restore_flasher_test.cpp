// Whole restores into simulated handhelds with the real flashers on the emulated CPUs, for
// every preset with its own flash part and one of the other command set: random images that
// differ from the flash in every byte end up in the big ROM byte for byte, while every byte in
// front of the big ROM (the small ROM) and behind the image stays as it was.  Also: a worn
// sector, sectors counted, only the pieces that changed, and a whole-card image.
#include "link_test_support.h"
#include "ostervane/core/rom_image.h"
#include "ostervane/payloads/payloads.h"
#include "simulator/cpu_runner.h"
#include "tests/simulator/different_bytes.h"

namespace ostervane {
namespace {

using namespace testing;

bool Contains(const std::vector<std::string> &lines, const std::string &line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

sim::HandheldModel WithPart(const std::string &model, const std::string &part) {
    sim::HandheldModel changed = Model(model);
    changed.flashPart = sim::FindFlashPart(part);
    return changed;
}

// A handheld of the model with its CPU, restored to by jobs run on the test's thread.  It comes
// back into its debugger after each reset, as its user would bring it.
struct RestoreBench {
    explicit RestoreBench(sim::HandheldModel m)
        : model(std::move(m)),
          handheld(sim::MakeHandheld(model, {sim::FaultPlan(), std::chrono::seconds(3)})),
          pipe(*handheld) {
        handheld->SetCodeRunner(model.family == sim::RomFamily::Arm
                                    ? static_cast<sim::CodeRunner *>(&armCpu)
                                    : &m68kCpu);
        identity.imageDeviceId = model.deviceId;
        identity.imageManufacturer = model.manufacturer;
        identity.imageLoadBase = 0x100000;
        identity.imageAddressList = std::vector<uint32_t>{};
    }

    int32_t Restore(const Bytes &image, bool onlyChanged = false) {
        WriteFile(dir.File("image.rom"), image);
        return RestoreFile(dir.File("image.rom"), onlyChanged);
    }
    // Each restore is a new job on the same line; the earlier jobs stay (their end would abort
    // the line).
    int32_t RestoreFile(const std::string &path, bool onlyChanged = false) {
        recorders.push_back(std::make_unique<JobRecorder>());
        recorder = recorders.back().get();
        JobSettings settings = recorder->Settings(path);
        settings.isBackup = false;
        settings.flashDatabase = LowLevelFlashPayload();
        settings.armFlashCode = ArmFlasherPayload();
        settings.image = identity;
        settings.onlyChanged = onlyChanged;
        jobs.push_back(std::make_unique<DebugPacket>(settings));
        job = jobs.back().get();
        pipe.Open(); // before the job hears of it: RunJob runs on this thread
        job->AttachPipe(&pipe);
        int32_t status = job->RunJob();
        if (model.family == sim::RomFamily::Arm) {
            // The ARM flasher works on its own after the hand-over; wait for the restart.
            EXPECT_TRUE(handheld->InDebugger(pipe.Now() + std::chrono::seconds(4)));
        }
        return status;
    }
    // A backup of the handheld into `path`, as a job on the same line.
    int32_t Backup(const std::string &path) {
        recorders.push_back(std::make_unique<JobRecorder>());
        jobs.push_back(std::make_unique<DebugPacket>(recorders.back()->Settings(path)));
        pipe.Open();
        jobs.back()->AttachPipe(&pipe);
        return jobs.back()->RunJob();
    }
    Bytes Flash(uint32_t address, size_t count) { return MemoryBytes(*handheld, address, count); }
    Bytes WholeFlash() { return Flash(model.flashBase, model.FlashEnd() - model.flashBase); }
    sim::FlashChip &Chip() { return *handheld->Memory().FlashChipAt(model.flashBase); }
    bool Logged(const std::string &text) {
        return Contains(recorder->slot.logLines, "SIM: " + text);
    }

    sim::HandheldModel model;
    std::unique_ptr<sim::HandheldDebugger> handheld;
    sim::SimulatedPipe pipe;
    sim::M68kCpuRunner m68kCpu;
    sim::ArmCpuRunner armCpu;
    ImageIdentity identity;
    TempDir dir;
    std::vector<std::unique_ptr<JobRecorder>> recorders;
    std::vector<std::unique_ptr<DebugPacket>> jobs;
    JobRecorder *recorder = nullptr;
    DebugPacket *job = nullptr;
};

// The flash after a restore of `image`: the image at the big ROM, the rest as `before`.
void ExpectOnlyTheImageWritten(RestoreBench &bench, const Bytes &before, const Bytes &image) {
    Bytes after = bench.WholeFlash();
    size_t head = bench.model.bigRomBase - bench.model.flashBase;
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + head, before.begin()))
        << "a byte in front of the big ROM changed";
    EXPECT_TRUE(std::equal(image.begin(), image.end(), after.begin() + head))
        << "the big ROM differs from the image";
    EXPECT_TRUE(std::equal(after.begin() + head + image.size(), after.end(),
                           before.begin() + head + image.size()))
        << "a byte behind the image changed";
}

struct PresetPart {
    const char *model;
    const char *part;
    bool sharedSector; // the small ROM and the big ROM's head share a sector
};

class RestoreEveryPreset : public ::testing::TestWithParam<PresetPart> {};

TEST_P(RestoreEveryPreset, ARandomImageLandsWholeAndNothingElseChanges) {
    RestoreBench bench(WithPart(GetParam().model, GetParam().part));
    Bytes before = bench.WholeFlash();
    Bytes image = DifferentFrom(bench.Flash(bench.model.bigRomBase, 0x28001), 11);
    ASSERT_EQ(bench.Restore(image), 0);
    ExpectOnlyTheImageWritten(bench, before, image);
    if (std::string(GetParam().part) == "amd-nocfi-16m") {
        EXPECT_TRUE(bench.Logged("Flash: AMD-style, no CFI answer: 64 KB blocks"));
    }
    if (bench.model.family != sim::RomFamily::Arm) {
        EXPECT_TRUE(bench.Logged("End Restore"));
        EXPECT_EQ(bench.Logged("Small ROM kept: sector at 0x" +
                               [&] {
                                   char text[16];
                                   std::snprintf(text, sizeof text, "%08X", bench.model.flashBase);
                                   return std::string(text);
                               }() +
                               " rewritten around it"),
                  GetParam().sharedSector);
    }
}

INSTANTIATE_TEST_SUITE_P(Presets, RestoreEveryPreset,
                         ::testing::Values(PresetPart{"68k-v3", "amd-bottom-16m", false},
                                           PresetPart{"68k-v3", "intel-bottom-16m", false},
                                           PresetPart{"68k-v4", "amd-uniform-16m", true},
                                           PresetPart{"68k-v4", "intel-uniform-16m", true},
                                           PresetPart{"68k-v3", "amd-nocfi-16m", true},
                                           PresetPart{"68k-v5", "intel-bottom-16m", false},
                                           PresetPart{"68k-v5", "amd-top-16m", true},
                                           PresetPart{"arm", "intel-bottom-32m", false},
                                           PresetPart{"arm", "amd-bottom-32m", false}),
                         [](const auto &info) {
                             std::string name =
                                 std::string(info.param.model) + "_" + info.param.part;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(RestoreWear, AWornSectorFailsLoudlyKeepsTheSmallRomAndTheNextRestoreSucceeds) {
    for (const char *name : {"68k-v4", "68k-v5"}) {
        SCOPED_TRACE(name);
        RestoreBench bench(Model(name));
        Bytes before = bench.WholeFlash();
        uint32_t base = bench.model.bigRomBase;
        Bytes image = DifferentFrom(bench.Flash(base, 0x20000), 5);
        bench.Chip().AddWornWord(base + 0x100); // in the big ROM's first sector
        EXPECT_EQ(bench.Restore(image), ErrWrite);
        EXPECT_FALSE(bench.Logged("End Restore"));
        Bytes after = bench.WholeFlash();
        size_t head = base - bench.model.flashBase;
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + head, before.begin()))
            << "the small ROM changed";
        // The handheld was reset, is back in its debugger, and takes the image this time.
        bench.Chip().ClearWear();
        ASSERT_EQ(bench.Restore(image), 0);
        ExpectOnlyTheImageWritten(bench, before, image);
    }
}

TEST(RestoreCounters, AnEqualImageErasesNothingAndKChangedSectorsEraseK) {
    RestoreBench bench(Model("68k-v4"));
    uint32_t base = bench.model.bigRomBase;
    Bytes current = bench.Flash(base, 0x58000);
    ASSERT_EQ(bench.Restore(current), 0);
    EXPECT_EQ(bench.Chip().Counters().erases, 0u);
    EXPECT_EQ(bench.Chip().Counters().programs, 0u);

    // One byte changed in the shared first sector, two in the third, one in the sixth.
    Bytes image = current;
    for (uint32_t at : {0x100u, 0x18000u, 0x1F000u, 0x48000u}) {
        image[at] ^= 0x5A;
    }
    ASSERT_EQ(bench.Restore(image), 0);
    EXPECT_EQ(bench.Chip().Counters().erasedBlocks,
              (std::vector<uint32_t>{0x10000000, 0x10020000, 0x10050000}));
    EXPECT_EQ(bench.Flash(base, image.size()), image);
}

TEST(RestoreOnlyChanged, OnlyTheChangedPieceTravelsAndTheBarStillReachesTheEnd) {
    RestoreBench bench(Model("68k-v5"));
    uint32_t base = bench.model.bigRomBase;
    Bytes image = DifferentFrom(bench.Flash(base, 0x48000), 3);
    ASSERT_EQ(bench.Restore(image), 0);
    image[0x28123] ^= 0xFF; // in the piece 0x10030000..0x10040000
    uint64_t writtenBefore = bench.handheld->Stats().bytesWritten;
    bench.Chip().ResetCounters();
    ASSERT_EQ(bench.Restore(image, true), 0);
    EXPECT_EQ(bench.Flash(base, image.size()), image);
    EXPECT_EQ(bench.Chip().Counters().erasedBlocks, std::vector<uint32_t>{0x10030000});
    uint64_t written = bench.handheld->Stats().bytesWritten - writtenBefore;
    EXPECT_LT(written, 0x10000u + 0x2000u) << "more than the changed piece went over the line";
    EXPECT_EQ(bench.recorder->slot.barRange, 0x48);
    std::vector<std::string> events = bench.recorder->slot.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "step"), 0x48);
}

// What a user does first: back a handheld up, and restore the backup into one of its kind.
TEST(RestoreBackups, EveryPresetsBackupIsAcceptedAndRestoresIntoItsKind) {
    for (const char *name : {"68k-v3", "68k-v4", "68k-v5", "arm"}) {
        SCOPED_TRACE(name);
        RestoreBench source(Model(name));
        std::string path = source.dir.File("backup.rom");
        ASSERT_EQ(source.Backup(path), 0);
        RecordingPrompter prompter; // accepts a family warning
        RomIdentification identified = IdentifyRomImage(path, prompter);
        ASSERT_EQ(identified.verdict, RomVerdict::Restore);
        EXPECT_FALSE(identified.info.wholeCard);

        RestoreBench target(Model(name));
        target.identity = ToImageIdentity(identified.info);
        Bytes image = ReadFile(path);
        Patch(*target.handheld, target.model.bigRomBase + 0x200, Bytes(0x100, 0x5A));
        ASSERT_EQ(target.RestoreFile(path), 0);
        EXPECT_EQ(target.WholeFlash(), source.WholeFlash());
    }
}

TEST(RestoreWholeCard, OnlyTheBigRomPartIsWritten) {
    RestoreBench bench(Model("68k-v3"));
    Bytes before = bench.WholeFlash();
    uint32_t base = bench.model.bigRomBase;
    size_t head = base - bench.model.flashBase;
    // The card as an emulator saves it: the small ROM, then a big ROM with its own header.
    Bytes bigRom = DifferentFrom(bench.Flash(base, 0x30000), 8);
    Bytes header = bench.Flash(base, 256);
    std::copy(header.begin(), header.end(), bigRom.begin());
    Bytes card(before.begin(), before.begin() + head);
    card.insert(card.end(), bigRom.begin(), bigRom.end());
    WriteFile(bench.dir.File("card.rom"), card);

    RecordingPrompter prompter;
    RomIdentification identified = IdentifyRomImage(bench.dir.File("card.rom"), prompter);
    ASSERT_EQ(identified.verdict, RomVerdict::Restore);
    EXPECT_TRUE(identified.info.wholeCard);
    EXPECT_EQ(identified.info.bigRomOffset, head);
    bench.identity = ToImageIdentity(identified.info);
    ASSERT_EQ(bench.RestoreFile(bench.dir.File("card.rom")), 0);
    ExpectOnlyTheImageWritten(bench, before, bigRom);
    EXPECT_TRUE(bench.Logged("Whole-card image: writing its big ROM from offset 0x8000"));
}

} // namespace
} // namespace ostervane
