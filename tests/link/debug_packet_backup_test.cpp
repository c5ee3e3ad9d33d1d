// The header probe on the three handheld families, the saved .rom file, and whole backup jobs
// on their thread over a serial-like line, against the simulated handheld.
#include "link_test_support.h"

namespace ostervane {
namespace {

using namespace testing;

const char *const kBackupFailedText = "The Backup Failed.  Check log for error number.";

// Waits for the handheld and probes it on the test's thread.
int32_t Probe(LinkBench &bench) {
    bench.OpenLine();
    EXPECT_EQ(bench.job.WaitForDevice(), 0);
    return bench.job.ProbeHeaders();
}

bool Contains(const std::vector<std::string> &events, const std::string &event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

TEST(Probe, Version3HeaderSetsBit28OfTheBigRomAndTheHeapGivesTheLength) {
    LinkBench bench(Model("68k-v3"));
    ASSERT_EQ(Probe(bench), 0);
    const HandheldRom &rom = bench.job.Rom();
    EXPECT_TRUE(rom.smallRomFound);
    EXPECT_TRUE(rom.bigRomFound);
    EXPECT_FALSE(rom.isArm);
    EXPECT_EQ(rom.cardBase, 0x10C00000u);
    EXPECT_EQ(rom.resetAddress, 0x10C000C0u);
    EXPECT_EQ(rom.bigRomBase, 0x10C08000u); // stored as 0x00C08000
    EXPECT_EQ(rom.flasherAddress, 0x10100000u);
    EXPECT_EQ(rom.imageBufferAddress, 0x10180000u);
    EXPECT_EQ(rom.flashBlockSize, 0x10000u);
    EXPECT_EQ(rom.bigRomLength, 0x1D0000u);
    EXPECT_EQ(rom.backupLength, 0x1F8000u); // 0x20000 + (0x10DE0000 - 0x10C08000)
    EXPECT_EQ(rom.deviceId, 0u);
    EXPECT_EQ(rom.deviceManufacturer, "Palm Computing");
    EXPECT_EQ(bench.recorder.slot.logLines,
              (std::vector<std::string>{"SIM: ROM Start: 0x10C00000", "SIM: Got SmallROM Header"}));
    // pc 0x10C0A3F2 is probed at the start of its 1 MB block; the heap search starts at the
    // first 64 KB boundary behind the big ROM and stops at the marker.
    EXPECT_EQ(Pieces(bench.Requests(debugger::kReadMemory)),
              (std::vector<Piece>{{0x10C00000, 256}, {0x10C08000, 256}, {0x10DE0000, 16}}));
    EXPECT_EQ(bench.handheld->Stats().writes, 0u);

    // With bit 28 already set the flash layout keeps its defaults.
    LinkBench high(Model("68k-v3"));
    Patch(*high.handheld, 0x10C00000 + 104, {0x10, 0xC0, 0x80, 0x00});
    ASSERT_EQ(Probe(high), 0);
    EXPECT_EQ(high.job.Rom().bigRomBase, 0x10C08000u);
    EXPECT_EQ(high.job.Rom().flasherAddress, 0x200000u);
    EXPECT_EQ(high.job.Rom().imageBufferAddress, 0x300000u);
    EXPECT_EQ(high.job.Rom().flashBlockSize, 0x20000u);
}

TEST(Probe, Version4SmallRomSharingASectorWithTheBigRomFindsTheHeapMarker) {
    LinkBench bench(Model("68k-v4"));
    ASSERT_EQ(Probe(bench), 0);
    const HandheldRom &rom = bench.job.Rom();
    EXPECT_EQ(rom.cardBase, 0x10000000u);
    EXPECT_EQ(rom.bigRomBase, 0x10008000u);
    EXPECT_EQ(rom.flasherAddress, 0x200000u);
    EXPECT_EQ(rom.deviceManufacturer, "Handspring, Inc.");
    EXPECT_EQ(rom.backupLength, 0x78000u); // 0x10000 + (0x10070000 - 0x10008000)
}

TEST(Probe, Version5HeaderGivesTheDeviceIdAndAnMT64GetsItsFourWords) {
    LinkBench bench(Model("68k-v5"));
    ASSERT_EQ(Probe(bench), 0);
    const HandheldRom &rom = bench.job.Rom();
    EXPECT_FALSE(rom.isArm);
    EXPECT_EQ(rom.deviceId, debugger::kDeviceMT64);
    EXPECT_EQ(rom.cardBase, 0x10000000u);
    EXPECT_EQ(rom.resetAddress, 0x100000C0u);
    EXPECT_EQ(rom.bigRomBase, 0x10008000u);
    EXPECT_EQ(rom.flasherAddress, 0x200000u);
    EXPECT_EQ(rom.imageBufferAddress, 0x300000u);
    EXPECT_EQ(rom.flashBlockSize, 0x20000u);
    EXPECT_EQ(rom.deviceManufacturer, "");
    EXPECT_EQ(rom.backupLength, 0x38000u);
    EXPECT_EQ(MemoryBytes(*bench.handheld, 0x4040, 16),
              (Bytes{0x0E, 0x0C, 0x00, 0xA1, 0x0E, 0x0C, 0x10, 0xA1, 0x0E, 0x0C, 0x20, 0xA1, 0x0E,
                     0x0C, 0x30, 0xA1}));
    EXPECT_EQ(Pieces(bench.Requests(debugger::kWriteMemory)),
              (std::vector<Piece>{{0x4040, 4}, {0x4044, 4}, {0x4048, 4}, {0x404C, 4}}));
}

TEST(Probe, ArmHeadersAreLittleEndianAndTheCardStartsAtTheTopNibble) {
    // The arm preset moved up 1 MB, so the small ROM start and the card start differ.
    sim::HandheldModel model = Model("arm");
    model.flashBase = 0x20100000;
    model.bigRomBase = model.bigRomStartField = 0x20110000;
    model.registers.pc = 0x20104A10;
    LinkBench bench(model);
    ASSERT_EQ(Probe(bench), 0);
    const HandheldRom &rom = bench.job.Rom();
    EXPECT_TRUE(rom.isArm);
    EXPECT_TRUE(rom.bigRomFound);
    EXPECT_EQ(rom.bigRomBase, 0x20110000u);
    EXPECT_EQ(rom.bigRomLength, 0x30000u);
    EXPECT_EQ(rom.backupLength, 0x30000u);
    EXPECT_EQ(rom.deviceId, 0x61746C63u); // 'atlc'
    EXPECT_EQ(rom.cardBase, 0x20000000u);
    EXPECT_EQ(rom.resetAddress, 0x20000000u);
    EXPECT_EQ(bench.recorder.slot.logLines.at(0), "SIM: ROM Start: 0x20100000");
    EXPECT_EQ(bench.handheld->Stats().writes, 0u);
}

TEST(Probe, UnterminatedManufacturerTextStopsAt32Bytes) {
    LinkBench bench(Model("68k-v3"));
    Bytes text(32, 'A');
    text.insert(text.end(), 8, 'Z');
    Patch(*bench.handheld, 0x10C00000 + 48, text);
    Patch(*bench.handheld, 0x10C08000 + 48, text);
    ASSERT_EQ(Probe(bench), 0);
    EXPECT_EQ(bench.job.Rom().deviceManufacturer, std::string(32, 'A'));
}

TEST(Probe, NothingCarriesOverToTheNextHandheld) {
    auto second = sim::MakeHandheld(Model("68k-v5"));
    sim::SimulatedPipe secondLine(*second);
    LinkBench bench(Model("68k-v3"));
    ASSERT_EQ(Probe(bench), 0);
    ASSERT_EQ(bench.job.Rom().flashBlockSize, 0x10000u);

    secondLine.Open();
    bench.job.AttachPipe(&secondLine);
    ASSERT_EQ(bench.job.WaitForDevice(), 0);
    ASSERT_EQ(bench.job.ProbeHeaders(), 0);
    const HandheldRom &rom = bench.job.Rom();
    EXPECT_EQ(rom.flashBlockSize, 0x20000u);
    EXPECT_EQ(rom.flasherAddress, 0x200000u);
    EXPECT_EQ(rom.deviceManufacturer, "");
    EXPECT_EQ(rom.deviceId, debugger::kDeviceMT64);
    EXPECT_EQ(rom.backupLength, 0x38000u);
}

TEST(LogLine, CarriesTheLinkNameAndStopsAt99Characters) {
    LinkBench bench(Model("68k-v3"));
    bench.OpenLine();
    bench.job.LogLine(std::string(200, 'x'));
    const std::string &line = bench.recorder.slot.logLines.at(0);
    EXPECT_EQ(line, "SIM: " + std::string(94, 'x'));
}

TEST(SavedFile, TenThousandBytesAreThreeProgressSteps) {
    TempDir dir;
    LinkBench bench(Model("68k-v5"), BenchOptions().Quiet().RomFile(dir.File("part.rom")));
    bench.OpenLine();
    ASSERT_EQ(bench.job.SaveRom(0x10008000, 10000), 0);
    std::vector<std::string> events = bench.recorder.slot.Events();
    ASSERT_EQ(events.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(events.begin() + 3, events.end() - 1),
              (std::vector<std::string>{"progress 3", "step", "step", "step", "end"}));
    // The header covers more than these bytes: the check says why it cannot be made.
    EXPECT_EQ(events.back().rfind("log SIM: ROM checksum not checked: ", 0), 0u) << events.back();
    EXPECT_EQ(ReadFile(dir.File("part.rom")), MemoryBytes(*bench.handheld, 0x10008000, 10000));
}

TEST(SavedFile, ArmHeaderIsRewrittenLittleEndianOnlyAboveVersion5) {
    TempDir dir;
    for (uint8_t version : {6, 5}) {
        SCOPED_TRACE(int(version));
        LinkBench bench(Model("arm"), BenchOptions().RomFile(dir.File("arm.rom")));
        Patch(*bench.handheld, 0x20010000 + 12, {0, version});
        SealChecksum(*bench.handheld, 0x20010000, 0x30000);
        bench.OpenLine();
        ASSERT_EQ(bench.job.RunJob(), 0);
        Bytes expected = MemoryBytes(*bench.handheld, 0x20010000, 0x30000);
        if (version > 5) {
            const Bytes littleEndian = {0xEF, 0xBE, 0xED, 0xFE, version, 0};
            std::copy(littleEndian.begin(), littleEndian.end(), expected.begin() + 8);
        }
        EXPECT_EQ(ReadFile(dir.File("arm.rom")), expected);
        // An ARM handheld restarts at its card start without "Reset...".
        EXPECT_FALSE(Contains(bench.recorder.slot.Events(), "status Reset..."));
        ASSERT_TRUE(bench.handheld->LastResume().has_value());
        EXPECT_EQ(bench.handheld->LastResume()->registers.pc, 0x20000000u);
    }
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// The old file stays until a backup is complete; the blocks of a failed one stay beside it
// when there are any, and the next backup goes on with them.
TEST(SavedFile, FailedBackupLeavesThePreviousFileAndAPartialFileOnlyWithBlocksInIt) {
    TempDir dir;
    const std::string path = dir.File("keep.rom");
    const Bytes previous = {'o', 'l', 'd'};
    WriteFile(path, previous);
    const std::pair<std::string, std::vector<std::string>> failures[] = {
        {"stall@10", {"keep.rom"}},                     // within the first block
        {"stall@20", {"keep.rom", "keep.rom.partial"}}, // in the second
    };
    for (const auto &[faults, entries] : failures) {
        SCOPED_TRACE(faults);
        LinkBench bench(Model("68k-v5"), BenchOptions().Faults(faults).Quiet().RomFile(path));
        bench.OpenLine();
        EXPECT_EQ(bench.job.SaveRom(0x10008000, 0x10000), ErrRead);
        EXPECT_EQ(ReadFile(path), previous);
        EXPECT_EQ(Sorted(dir.Entries()), entries);
    }
    LinkBench good(Model("68k-v5"), BenchOptions().Quiet().RomFile(path));
    good.OpenLine();
    ASSERT_EQ(good.job.SaveRom(0x10008000, 0x10000), 0);
    EXPECT_EQ(good.recorder.slot.logLines.at(0), "SIM: Resuming at block 1 of 16");
    EXPECT_EQ(ReadFile(path), MemoryBytes(*good.handheld, 0x10008000, 0x10000));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.rom"});
}

TEST(JobThread, SerialBackupReportsEachStepSavesTheRomAndResumesTheHandheld) {
    TempDir dir;
    LinkBench bench(Model("68k-v5"), BenchOptions().RomFile(dir.File("v5.rom")));
    ASSERT_TRUE(bench.RunFirstTurn());

    std::vector<std::string> expected = {"label SIM",
                                         "show",
                                         "status Waiting...",
                                         "status Device Found",
                                         "log SIM: ROM Start: 0x10000000",
                                         "log SIM: Got SmallROM Header",
                                         "log SIM: Start Backup",
                                         "status Saving ROM",
                                         "progress 56"};
    expected.insert(expected.end(), 56, "step");
    expected.insert(expected.end(), {"end", "log SIM: ROM checksum verified", "log SIM: End Backup",
                                     "status Reset...", "close"});
    EXPECT_EQ(bench.recorder.slot.Events(), expected);

    Bytes saved = ReadFile(dir.File("v5.rom"));
    EXPECT_EQ(saved, MemoryBytes(*bench.handheld, 0x10008000, 0x38000));
    EXPECT_EQ(Bytes(saved.begin() + 8, saved.begin() + 14),
              (Bytes{0xFE, 0xED, 0xBE, 0xEF, 0, 5})); // version 5: saved as read
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"v5.rom"});
    ASSERT_TRUE(bench.handheld->LastResume().has_value());
    EXPECT_EQ(bench.handheld->LastResume()->registers.pc, 0x100000C0u);
    EXPECT_TRUE(bench.recorder.prompter.Boxes().empty());
}

struct FailingJob {
    const char *name;
    std::string faults;
    uint32_t wipe; // four bytes cleared here (a header signature), 0 for none
    bool missingFolder;
    std::string logLine;
    std::string statusText;
    std::vector<std::string> boxes; // texts of the "Backup Failed" boxes
    bool keepsBlocks = false;       // blocks were saved: the partial file stays for a resume
};

TEST(JobThread, FailingJobsLogTheirNumberAndShowTheirText) {
    const FailingJob cases[] = {
        {"no small ROM",
         "",
         0x10000008,
         false,
         "SIM: Failed with error number 8000",
         "No Small ROM Found",
         {}},
        {"no big ROM",
         "",
         0x10008008,
         false,
         "SIM: Failed with error number 8001",
         "No Big ROM Found",
         {"No Big ROM Found on Device"}},
        {"handheld stalls",
         "stall@30",
         0,
         false,
         "SIM: Failed with error number 8002",
         "USB Read Error",
         {kBackupFailedText},
         true},
        {"reads answered by another command",
         "command@30+:0xAB",
         0,
         false,
         "SIM: Failed with error number AB",
         "Error: 171",
         {kBackupFailedText},
         true},
        {"missing folder",
         "",
         0,
         true,
         "SIM: Failed with error number 8005",
         "Cannot open ROM file",
         {kBackupFailedText}},
    };
    for (const FailingJob &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string file = c.missingFolder ? dir.File("none/x.rom") : dir.File("x.rom");
        LinkBench bench(Model("68k-v5"), BenchOptions().Faults(c.faults).RomFile(file));
        if (c.wipe != 0) {
            Patch(*bench.handheld, c.wipe, {0, 0, 0, 0});
        }
        ASSERT_TRUE(bench.RunFirstTurn());

        std::vector<std::string> events = bench.recorder.slot.Events();
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(
            std::vector<std::string>(events.end() - 3, events.end()),
            (std::vector<std::string>{"log " + c.logLine, "status " + c.statusText, "close"}));
        EXPECT_FALSE(Contains(events, "status Reset..."));
        EXPECT_FALSE(bench.handheld->LastResume().has_value());
        std::vector<std::string> boxes;
        for (const RecordingPrompter::Box &box : bench.recorder.prompter.Boxes()) {
            EXPECT_EQ(box.caption, "Backup Failed");
            boxes.push_back(box.text);
        }
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(dir.Entries(), c.keepsBlocks ? std::vector<std::string>{"x.rom.partial"}
                                               : std::vector<std::string>{});
    }
}

} // namespace
} // namespace ostervane
