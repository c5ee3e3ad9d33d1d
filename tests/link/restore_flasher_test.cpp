// Whole restores into simulated handhelds with the real flashers running on the emulated CPUs
// (or, for 68k speed, the behavioural stand-in): the flash ends up equal to the image, the 68k
// pieces follow the 64 KB boundaries of the destination, the ARM flasher takes it all at once.
#include "link_test_support.h"
#include "ostervane/payloads/payloads.h"
#include "simulator/cpu_runner.h"
#include "simulator/flash_behaviour.h"

namespace ostervane {
namespace {

using namespace testing;

struct FlashCall {
    uint32_t destination;
    uint32_t count;
    uint32_t result; // d0 after the run
};

// The CPU, keeping each flash command it is given.
class RecordingCpu : public sim::CodeRunner {
public:
    sim::ResumeOutcome Run(sim::HandheldMemory &memory, sim::RegisterBlock &registers) override {
        bool flashing = registers.d[3] == 1;
        uint32_t destination = registers.a[6], count = registers.d[5];
        sim::ResumeOutcome outcome = cpu.Run(memory, registers);
        if (flashing && outcome.reentersDebugger) {
            calls.push_back({destination, count, registers.d[0]});
        }
        return outcome;
    }
    sim::M68kCpuRunner cpu;
    std::vector<FlashCall> calls;
};

bool Contains(const std::vector<std::string> &lines, const std::string &line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

Bytes Random(size_t count, uint32_t seed) {
    Bytes bytes(count);
    for (uint8_t &b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

// An image the handheld's flash can take: up to the first block start the flasher erases, the
// bytes can only clear bits of what the flash holds (that part shares its erase block with the
// small ROM, which a restore never erases); random from there on.
Bytes ImageFor(sim::HandheldDebugger &handheld, uint32_t bigRomBase, uint32_t firstErased,
               size_t size) {
    Bytes image = Random(size, size);
    Bytes current = MemoryBytes(handheld, bigRomBase, firstErased - bigRomBase);
    for (size_t i = 0; i < current.size(); ++i) {
        image[i] &= current[i];
    }
    return image;
}

struct RestoreBench {
    RestoreBench(const std::string &modelName, bool withCpu)
        : model(Model(modelName)), handheld(sim::MakeHandheld(model)), pipe(*handheld) {
        if (withCpu) {
            handheld->SetCodeRunner(&cpu);
        }
    }
    int32_t Restore(const Bytes &image) {
        WriteFile(dir.File("image.rom"), image);
        JobSettings settings = recorder.Settings(dir.File("image.rom"));
        settings.isBackup = false;
        settings.flashDatabase = LowLevelFlashPayload();
        settings.image.imageDeviceId = model.deviceId;
        settings.image.imageManufacturer = model.manufacturer;
        job = std::make_unique<DebugPacket>(settings);
        pipe.Open();
        job->AttachPipe(&pipe);
        return job->RunJob();
    }

    const sim::HandheldModel &model;
    TempDir dir;
    JobRecorder recorder;
    RecordingCpu cpu;
    std::unique_ptr<sim::HandheldDebugger> handheld;
    sim::SimulatedPipe pipe;
    std::unique_ptr<DebugPacket> job;
};

TEST(Restore68k, AmdChipTakesTheWorkedExamplePiecesAndEndsEqualToTheImage) {
    RestoreBench bench("68k-v3", true);
    Bytes image = ImageFor(*bench.handheld, 0x10C08000, 0x10C10000, 100000);
    ASSERT_EQ(bench.Restore(image), 0);
    EXPECT_EQ(MemoryBytes(*bench.handheld, 0x10C08000, image.size()), image);
    std::vector<std::pair<uint32_t, uint32_t>> pieces;
    for (const FlashCall &call : bench.cpu.calls) {
        EXPECT_EQ(call.result, 0u);
        pieces.emplace_back(call.destination, call.count);
    }
    EXPECT_EQ(pieces, (std::vector<std::pair<uint32_t, uint32_t>>{
                          {0x10C08000, 0x8000}, {0x10C10000, 0x10000}, {0x10C20000, 0x6A0}}));
    // Only the blocks the pieces start at were erased; the small ROM is intact.
    sim::FlashChip &chip = *bench.handheld->Memory().FlashChipAt(0x10C00000);
    EXPECT_EQ(chip.Counters().erasedBlocks, (std::vector<uint32_t>{0x10C10000, 0x10C20000}));
    EXPECT_EQ(MemoryBytes(*bench.handheld, 0x10C00008, 4), (Bytes{0xFE, 0xED, 0xBE, 0xEF}));
    EXPECT_TRUE(Contains(bench.recorder.slot.logLines, "SIM: End Restore"));
}

TEST(Restore68k, IntelChipEndsEqualToTheImage) {
    RestoreBench bench("68k-v5", true);
    Bytes image = ImageFor(*bench.handheld, 0x10008000, 0x10020000, 0x30000);
    ASSERT_EQ(bench.Restore(image), 0);
    EXPECT_EQ(MemoryBytes(*bench.handheld, 0x10008000, image.size()), image);
    ASSERT_EQ(bench.cpu.calls.size(), 4u);
    sim::FlashChip &chip = *bench.handheld->Memory().FlashChipAt(0x10000000);
    EXPECT_EQ(chip.Counters().erasedBlocks, std::vector<uint32_t>{0x10020000});
}

TEST(Restore68k, AFlashThatCannotBeWrittenFailsAfterElevenTriesAndStillResets) {
    for (bool withCpu : {true, false}) {
        SCOPED_TRACE(withCpu ? "cpu" : "behavioural");
        RestoreBench bench("68k-v3", withCpu);
        bench.handheld->Memory().FlashChipAt(0x10C10000)->AddWornWord(0x10C10010);
        Bytes image = ImageFor(*bench.handheld, 0x10C08000, 0x10C10000, 0x18000);
        EXPECT_EQ(bench.Restore(image), ErrWrite);
        EXPECT_FALSE(Contains(bench.recorder.slot.logLines, "SIM: End Restore"));
        // The first piece, 11 tries of the second, and the reset.
        EXPECT_EQ(bench.handheld->Stats().continues, 1u + 11u + 1u);
        if (withCpu) {
            ASSERT_FALSE(bench.cpu.calls.empty());
            EXPECT_NE(bench.cpu.calls.back().result, 0u);
        }
        ASSERT_TRUE(bench.handheld->LastResume().has_value());
        EXPECT_EQ(bench.handheld->LastResume()->registers.pc, bench.model.resetAddress);
    }
}

TEST(Restore68k, BehaviouralFlasherGivesTheSameFlash) {
    for (const char *name : {"68k-v3", "68k-v5"}) {
        SCOPED_TRACE(name);
        RestoreBench cpu(name, true), behavioural(name, false);
        uint32_t base = cpu.model.bigRomBase;
        uint32_t firstErased =
            cpu.model.flashBase + (std::string(name) == "68k-v3" ? 0x10000 : 0x20000);
        Bytes image = ImageFor(*cpu.handheld, base, firstErased, 0x21000);
        ASSERT_EQ(cpu.Restore(image), 0);
        ASSERT_EQ(behavioural.Restore(image), 0);
        uint32_t size = cpu.model.flashEnd - cpu.model.flashBase;
        EXPECT_EQ(MemoryBytes(*behavioural.handheld, cpu.model.flashBase, size),
                  MemoryBytes(*cpu.handheld, cpu.model.flashBase, size));
    }
}

TEST(RestoreArm, TheFlasherWritesTheWholeImageClearsTheMarkerAndRestarts) {
    const sim::HandheldModel &model = Model("arm");
    auto handheld = sim::MakeHandheld(model, {sim::FaultPlan(), std::chrono::seconds(3)});
    sim::ArmCpuRunner cpu;
    handheld->SetCodeRunner(&cpu);
    Patch(*handheld, 0x5000, {0xCE, 0xFA, 0xED, 0xFE}); // the image marker, little-endian
    sim::SimulatedPipe pipe(*handheld);
    TempDir dir;
    JobRecorder recorder;
    Bytes image = Random(0x30000, 77);
    WriteFile(dir.File("arm.rom"), image);
    JobSettings settings = recorder.Settings(dir.File("arm.rom"));
    settings.isBackup = false;
    settings.armFlashCode = ArmFlasherPayload();
    settings.image.imageDeviceId = model.deviceId;
    settings.image.imageLoadBase = 0x100000;
    settings.image.imageAddressList = std::vector<uint32_t>{0x5000};
    DebugPacket job(settings);
    pipe.Open();
    job.AttachPipe(&pipe);
    ASSERT_EQ(job.RunJob(), 0);
    EXPECT_EQ(MemoryBytes(*handheld, model.bigRomBase, image.size()), image);
    EXPECT_EQ(MemoryBytes(*handheld, 0x5000, 4), Bytes(4, 0xFF));
    EXPECT_EQ(MemoryBytes(*handheld, 0x110000 + 20, 4), Bytes(4, 0)); // the flasher's result
    EXPECT_EQ(cpu.LastReport().restartedAt, 0x20000000u);
    EXPECT_TRUE(handheld->InDebugger(pipe.Now() + std::chrono::seconds(4))); // rebooted, back
    sim::FlashChip &chip = *handheld->Memory().FlashChipAt(0x20000000);
    EXPECT_EQ(chip.Counters().erasedBlocks,
              (std::vector<uint32_t>{0x20010000, 0x20020000, 0x20030000}));
}

} // namespace
} // namespace ostervane
