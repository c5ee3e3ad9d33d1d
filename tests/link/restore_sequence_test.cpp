// The host side of a restore against simulated handhelds in behavioural mode (no CPU), on the
// virtual clock: the device check, a flasher that cannot be loaded, a flash channel that reports
// itself busy, an image file that cannot be opened, and the clearing of the image's markers.
#include "link_test_support.h"
#include "ostervane/core/rom_image.h"
#include "ostervane/core/status_text.h"
#include "ostervane/payloads/payloads.h"

namespace ostervane {
namespace {

using namespace testing;

constexpr uint32_t kIdMT64 = 0x4D543634;
constexpr uint32_t kIdArm0 = 0x61726D30;
constexpr uint32_t kIdRlka = 0x726C6B61;
constexpr uint32_t kIdSmA1 = 0x536D4131;
constexpr int32_t kChannelBusy = 3;

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

sim::HandheldModel WithDeviceId(const std::string &name, uint32_t deviceId) {
    sim::HandheldModel model = Model(name);
    model.deviceId = deviceId;
    return model;
}

// Forwards to the simulated line, except that after each Continue the host sends, the next
// `busyReads` receives report the channel still busy (3) without touching the line.
class BusyAfterContinuePipe : public PipeBase {
public:
    BusyAfterContinuePipe(sim::SimulatedPipe &line, int busyReads)
        : PipeBase(nullptr, nullptr), line_(line), busyReads_(busyReads) {
        readHandle_ = writeHandle_ = 1;
        displayName_ = "SIM";
    }
    int32_t Configure(uint32_t) override { return 0; }
    int32_t Close() override { return 0; }
    bool IsHotPlug() const override { return false; }
    uint32_t GetMaxBaudRate() override { return 115200; }
    void SetMaxBaudRate(uint32_t) override {}

    int busyReported = 0;

protected:
    int32_t ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) override {
        if (pending_ > 0) {
            --pending_;
            ++busyReported;
            *received = 0;
            return kChannelBusy;
        }
        return line_.Receive(buffer, count, received);
    }
    // A packet goes out as its 10-byte header, then its body starting with the command byte.
    int32_t SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) override {
        if (afterHeader_ && buffer[0] == sim::kCmdContinue) {
            pending_ = busyReads_;
        }
        afterHeader_ = count == debugger::kHeaderSize && buffer[0] == 0xBE;
        return line_.Send(buffer, count, sent);
    }

private:
    sim::SimulatedPipe &line_;
    int busyReads_;
    int pending_ = 0;
    bool afterHeader_ = false;
};

// One restore job run on the test's thread against a handheld of a (possibly altered) model.
struct RestoreRun {
    explicit RestoreRun(sim::HandheldModel m)
        : model(std::move(m)), handheld(sim::MakeHandheld(model)), pipe(*handheld),
          flashBefore(Flash()) {
        identity.imageDeviceId = model.deviceId;
        identity.imageManufacturer = model.manufacturer;
        identity.imageLoadBase = 0x100000; // where the ARM families load; unused on the 68k
    }

    int32_t Run(const Bytes &image, PipeBase *line = nullptr) {
        WriteFile(dir.File("image.rom"), image);
        return RunFile(dir.File("image.rom"), line);
    }
    int32_t RunFile(const std::string &path, PipeBase *line = nullptr) {
        JobSettings settings = recorder.Settings(path);
        settings.isBackup = false;
        settings.flashDatabase = LowLevelFlashPayload();
        settings.armFlashCode = ArmFlasherPayload();
        settings.image = identity;
        job = std::make_unique<DebugPacket>(settings);
        pipe.Open();
        job->AttachPipe(line != nullptr ? line : &pipe);
        return job->RunJob();
    }

    Bytes Flash() {
        return MemoryBytes(*handheld, model.flashBase, model.FlashEnd() - model.flashBase);
    }
    Bytes Image(size_t size) { return Random(size, uint32_t(size)); }
    bool Logged(const std::string &text) {
        return Contains(recorder.slot.logLines, "SIM: " + text);
    }
    bool ResetReported() { return Contains(recorder.slot.Events(), "status Reset..."); }
    bool WriteReachedFlash() const {
        for (const sim::RequestRecord &r : handheld->Requests()) {
            if (r.command == sim::kCmdWriteMemory && r.address < model.FlashEnd() &&
                r.address + r.count > model.flashBase) {
                return true;
            }
        }
        return false;
    }
    // A refused or failed job left the flash alone and never let the handheld run.
    void ExpectUntouched() {
        EXPECT_FALSE(WriteReachedFlash());
        EXPECT_TRUE(Flash() == flashBefore) << "the flash changed";
        EXPECT_EQ(handheld->Stats().continues, 0u);
        EXPECT_FALSE(ResetReported());
        EXPECT_FALSE(Logged("End Restore"));
    }

    sim::HandheldModel model;
    std::unique_ptr<sim::HandheldDebugger> handheld;
    sim::SimulatedPipe pipe;
    Bytes flashBefore;
    ImageIdentity identity;
    TempDir dir;
    JobRecorder recorder;
    std::unique_ptr<DebugPacket> job;
};

TEST(RestoreDeviceCheck, AnArm0HandheldTakesMT64AndRlkaImagesOnly) {
    for (uint32_t imageId : {kIdMT64, kIdRlka}) {
        SCOPED_TRACE(imageId);
        RestoreRun run(WithDeviceId("arm", kIdArm0));
        run.identity.imageDeviceId = imageId;
        EXPECT_NE(run.Run(Random(0x1000, 5)), ErrWrongDevice);
        EXPECT_TRUE(run.Logged("Start Restore"));
    }
    RestoreRun other(WithDeviceId("arm", kIdArm0));
    other.identity.imageDeviceId = kIdSmA1;
    EXPECT_EQ(other.Run(Random(0x1000, 5)), ErrWrongDevice);
    other.ExpectUntouched();
}

TEST(RestoreDeviceCheck, AnMT64HandheldRefusesAnArm0ImageAndWritesNothing) {
    RestoreRun run(Model("68k-v5"));
    run.identity.imageDeviceId = kIdArm0;
    int32_t status = run.Run(Random(0x1000, 6));
    EXPECT_EQ(status, ErrWrongDevice);
    EXPECT_EQ(JobErrorText(status), "Wrong Device For ROM");
    EXPECT_FALSE(run.Logged("Start Restore"));
    run.ExpectUntouched();
}

TEST(RestoreDeviceCheck, AHandheldWithoutDeviceCodeTakesAnImageWithOne) {
    RestoreRun run(Model("68k-v3"));
    run.identity.imageDeviceId = kIdMT64;
    run.identity.imageManufacturer = "Someone Else";
    Bytes image = run.Image(0x2000);
    ASSERT_EQ(run.Run(image), 0);
    EXPECT_EQ(MemoryBytes(*run.handheld, run.model.bigRomBase, image.size()), image);
}

TEST(RestoreDeviceCheck, WithoutImageIdTheExpectedEndThenTheManufacturerDecide) {
    const sim::HandheldModel &v3 = Model("68k-v3");
    uint32_t end = v3.bigRomBase + v3.bigRomLength;
    struct Case {
        const char *what;
        uint32_t expectedEnd;
        std::string manufacturer;
        bool accepted;
    };
    for (const Case &c : {Case{"end matches", end, "", true},
                          Case{"end differs", end + 0x8000, v3.manufacturer, false},
                          Case{"manufacturer matches", 0, v3.manufacturer, true},
                          Case{"manufacturer differs", 0, v3.manufacturer + "x", false}}) {
        SCOPED_TRACE(c.what);
        RestoreRun run(v3);
        run.identity.imageDeviceId = 0;
        run.identity.imageExpectedEnd = c.expectedEnd;
        run.identity.imageManufacturer = c.manufacturer;
        Bytes image = run.Image(0x2000);
        int32_t status = run.Run(image);
        if (c.accepted) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(MemoryBytes(*run.handheld, v3.bigRomBase, image.size()), image);
        } else {
            EXPECT_EQ(status, ErrWrongDevice);
            run.ExpectUntouched();
        }
    }
}

// An image known only by its heap marker names no load base: an ARM handheld is refused with a
// box before anything reaches it.
TEST(RestoreDeviceCheck, AnArmHandheldRefusesAnImageWithoutLoadBaseBeforeWritingAnything) {
    const sim::HandheldModel &arm = Model("arm");
    RestoreRun run(arm);
    run.identity.imageDeviceId = 0;
    run.identity.imageExpectedEnd = arm.bigRomBase + arm.bigRomLength;
    run.identity.imageLoadBase = 0;
    EXPECT_EQ(run.Run(run.Image(0x2000)), ErrWrongDevice);
    std::vector<RecordingPrompter::Box> boxes = run.recorder.prompter.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Restore Failed");
    EXPECT_NE(boxes[0].text.find("Nothing was written"), std::string::npos);
    EXPECT_FALSE(run.Logged("Start Restore"));
    EXPECT_EQ(run.handheld->Stats().writes, 0u);
    run.ExpectUntouched();
}

// A manufacturer that fills its whole field has no terminator: the handheld and its own backup
// must still read the same text, or the handheld could never take its own backup back.
TEST(RestoreDeviceCheck, AManufacturerFillingItsWholeFieldMatchesTheHandheldsOwnBackup) {
    sim::HandheldModel model = Model("68k-v3");
    model.manufacturer = "Palm Computing, Inc., California"; // no room for a terminator
    ASSERT_EQ(model.manufacturer.size(), kManufacturerFieldSize);
    RestoreRun run(model);
    Bytes backupHead = MemoryBytes(*run.handheld, model.bigRomBase, kCardHeaderSize);
    run.identity.imageDeviceId = 0;
    run.identity.imageExpectedEnd = 0;
    run.identity.imageManufacturer = CardManufacturer(backupHead);
    EXPECT_EQ(run.identity.imageManufacturer, model.manufacturer);
    Bytes image = run.Image(0x2000);
    ASSERT_EQ(run.Run(image), 0);
    EXPECT_EQ(MemoryBytes(*run.handheld, model.bigRomBase, image.size()), image);
}

TEST(RestoreSequence, AFlasherThatCannotBeLoadedEndsTheJobWithoutResume) {
    sim::HandheldModel model = Model("68k-v3");
    model.ramSize = 0x100000; // RAM ends where the flasher would go (0x10100000)
    RestoreRun run(model);
    int32_t status = run.Run(run.Image(0x2000));
    // Each try of the write is answered by the bus error's state packet: its command byte.
    EXPECT_EQ(status, sim::kReplyState);
    EXPECT_GT(run.handheld->Stats().busErrors, 0u);
    EXPECT_TRUE(run.Logged("Start Restore"));
    EXPECT_FALSE(run.handheld->LastResume().has_value());
    run.ExpectUntouched();
}

TEST(RestoreSequence, AFlashChannelReportingBusyIsWaitedOut) {
    RestoreRun run(Model("68k-v3"));
    BusyAfterContinuePipe busyLine(run.pipe, 4);
    Bytes image = run.Image(0x9000); // pieces 0x8000 and 0x1000
    ASSERT_EQ(run.Run(image, &busyLine), 0);
    // Busy is no failed try: the chip's description, the small ROM's checksum before and after,
    // a flash and a checksum per piece, then the reset, whose Continue is never answered.
    EXPECT_EQ(run.handheld->Stats().continues, 1u + 2u + 2u * 2u + 1u);
    EXPECT_EQ(busyLine.busyReported, 4 * 7);
    EXPECT_EQ(MemoryBytes(*run.handheld, run.model.bigRomBase, image.size()), image);
    EXPECT_TRUE(run.Logged("End Restore"));
    ASSERT_TRUE(run.handheld->LastResume().has_value());
    EXPECT_EQ(run.handheld->LastResume()->registers.pc, run.model.resetAddress);
    run.job.reset(); // the job lets go of the busy line before the line goes away
}

TEST(RestoreSequence, AnImageFileThatCannotBeOpenedFails) {
    RestoreRun m68k(Model("68k-v3"));
    EXPECT_EQ(m68k.RunFile(m68k.dir.File("missing.rom")), ErrCannotOpenFile);
    EXPECT_TRUE(m68k.Flash() == m68k.flashBefore) << "the flash changed";
    EXPECT_FALSE(m68k.Logged("End Restore"));
    // Nothing was flashed: the only Continue is the closing reset.
    EXPECT_EQ(m68k.handheld->Stats().continues, 1u);

    RestoreRun arm(Model("arm"));
    EXPECT_EQ(arm.RunFile(arm.dir.File("missing.rom")), 1);
    EXPECT_TRUE(arm.Flash() == arm.flashBefore) << "the flash changed";
    EXPECT_FALSE(arm.Logged("End Restore"));
}

// Entries of the image's address list in the 68k-v3 handheld's RAM.
constexpr uint32_t kFirstEntry = 0x10010000;
constexpr uint32_t kSecondEntry = 0x10010100;

Bytes Word(uint32_t address, RestoreRun &run) {
    return MemoryBytes(*run.handheld, address, 4);
}

TEST(RestoreMarkers, AMarkerAtTheSecondEntryClearsBothEntries) {
    RestoreRun run(Model("68k-v3"));
    Patch(*run.handheld, kFirstEntry, {0x12, 0x34, 0x56, 0x78});
    Patch(*run.handheld, kSecondEntry, {0xFE, 0xED, 0xFA, 0xCE});
    run.identity.imageAddressList = std::vector<uint32_t>{kFirstEntry, kSecondEntry};
    ASSERT_EQ(run.Run(run.Image(0x2000)), 0);
    EXPECT_EQ(run.job->Rom().markerAddress, kSecondEntry);
    EXPECT_EQ(Word(kFirstEntry, run), Bytes(4, 0xFF));
    EXPECT_EQ(Word(kSecondEntry, run), Bytes(4, 0xFF));
}

TEST(RestoreMarkers, ClearingTheMarkerEntryItselfEndsTheClearing) {
    RestoreRun run(Model("68k-v3"));
    Patch(*run.handheld, kFirstEntry, {0xFE, 0xED, 0xFA, 0xCE});
    Patch(*run.handheld, kSecondEntry, {0x12, 0x34, 0x56, 0x78});
    run.identity.imageAddressList = std::vector<uint32_t>{kFirstEntry, kSecondEntry};
    ASSERT_EQ(run.Run(run.Image(0x2000)), 0);
    EXPECT_EQ(run.job->Rom().markerAddress, kFirstEntry);
    EXPECT_EQ(Word(kFirstEntry, run), Bytes(4, 0xFF));
    EXPECT_EQ(Word(kSecondEntry, run), (Bytes{0x12, 0x34, 0x56, 0x78}));
}

TEST(RestoreMarkers, NoMarkerFoundClearsNothing) {
    RestoreRun run(Model("68k-v3"));
    Patch(*run.handheld, kFirstEntry, {0x12, 0x34, 0x56, 0x78});
    run.identity.imageAddressList = std::vector<uint32_t>{kFirstEntry, kSecondEntry};
    ASSERT_EQ(run.Run(run.Image(0x2000)), 0);
    EXPECT_EQ(Word(kFirstEntry, run), (Bytes{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(Word(kSecondEntry, run), Bytes(4, 0));
}

} // namespace
} // namespace ostervane
