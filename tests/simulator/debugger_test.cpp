// The simulated handheld's debugger: packets byte for byte, the presets' headers as a host
// reads them, bus errors, Continue, and what each fault does to the packets it hits.
#include <gtest/gtest.h>

#include "ostervane/core/rom_checksum.h"
#include "ostervane/link/arm_header_order.h"
#include "simulator/debugger.h"
#include "simulator/fault_plan.h"
#include "simulator/rom_presets.h"

using namespace ostervane::simulator;
using Bytes = std::vector<uint8_t>;

namespace {

// Bit by bit, apart from the table-driven CRC under test.
uint16_t ReferenceCrc(const Bytes &bytes, size_t count) {
    uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

Bytes ReadData(uint32_t address, uint16_t count) {
    return {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8),  static_cast<uint8_t>(address),
            static_cast<uint8_t>(count >> 8),    static_cast<uint8_t>(count)};
}

uint32_t Be32(const Bytes &b, size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

// Plays the host: frames requests, feeds them to the handheld, collects what it sends.
struct Host {
    explicit Host(const char *model, const std::string &faults = "") {
        HandheldOptions options;
        std::string error;
        EXPECT_TRUE(faults.empty() || options.faults.Add(faults, &error)) << error;
        handheld = MakeHandheld(*FindHandheldModel(model), std::move(options));
    }
    std::vector<Transmission> Send(uint8_t command, Bytes data = {}) {
        Bytes body = {command, 0};
        body.insert(body.end(), data.begin(), data.end());
        Bytes packet = FramePacket(tid++, body);
        handheld->Receive(packet.data(), packet.size(), now);
        return handheld->TakeOutput();
    }
    Bytes Wire(uint8_t command, Bytes data = {}) {
        Bytes wire;
        for (const Transmission &t : Send(command, std::move(data))) {
            wire.insert(wire.end(), t.bytes.begin(), t.bytes.end());
        }
        return wire;
    }
    Bytes Read(uint32_t address, uint16_t count) {
        Bytes wire = Wire(kCmdReadMemory, ReadData(address, count));
        EXPECT_EQ(wire.size(), 14u + count);
        EXPECT_EQ(wire[10], kReplyRead);
        return Bytes(wire.begin() + 12, wire.end() - 2);
    }
    std::unique_ptr<HandheldDebugger> handheld;
    uint8_t tid = 1;
    SimTime now{0};
};

TEST(Debugger, StatePacketsAreFramedByteForByte) {
    Bytes request = FramePacket(1, Bytes{kCmdStateRequest, 0});
    Bytes expected = {0xBE, 0xEF, 0xED, 0, 0, 0, 0x00, 0x02, 0x01, 0x9D, 0x00, 0x00};
    uint16_t crc = ReferenceCrc(expected, expected.size());
    expected.push_back(static_cast<uint8_t>(crc >> 8));
    expected.push_back(static_cast<uint8_t>(crc));
    EXPECT_EQ(request, expected);

    Host host("68k-v3");
    host.handheld->Announce(SimTime(0));
    Bytes announced = host.handheld->TakeOutput().at(0).bytes;
    EXPECT_EQ(announced[8], 0);                       // no request to echo
    EXPECT_EQ(announced[12], 1);                      // reset flag
    EXPECT_EQ(announced[15], kExceptionBreak & 0xFF); // exception id

    host.tid = 0x37;
    Bytes reply = host.Wire(kCmdStateRequest);
    ASSERT_EQ(reply.size(), 10 + kStateBodySize + 2);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 9),
              (Bytes{0xBE, 0xEF, 0xED, 0, 0, 0, 0x00, 0xBC, 0x37}));
    unsigned sum = 0;
    for (int i = 0; i < 9; ++i) {
        sum += reply[i];
    }
    EXPECT_EQ(reply[9], static_cast<uint8_t>(sum));
    EXPECT_EQ(ReferenceCrc(reply, reply.size() - 2), reply[reply.size() - 2] << 8 | reply.back());
    EXPECT_EQ(reply[10], kReplyState);
    EXPECT_EQ(reply[12], 0);                                         // the reset was reported once
    EXPECT_EQ(Be32(reply, 10 + kRegistersOffset + 68), 0x10C0A3F2u); // pc
    // The 76 bytes a host keeps end with the instruction word at pc.
    EXPECT_EQ(Bytes(reply.begin() + 10 + 6 + 74, reply.begin() + 10 + 6 + 76),
              host.Read(0x10C0A3F2, 2));
}

TEST(Debugger, ReassemblesRequestsAndDropsBrokenOnes) {
    Host host("68k-v5");
    Bytes stream = {0x00, 0xBE, 0x13, 0xBE, 0xEF}; // noise and a false start
    Bytes good = FramePacket(9, Bytes{kCmdReadMemory, 0, 0x10, 0x00, 0x00, 0x08, 0x00, 0x04});
    Bytes badCrc = good;
    badCrc.back() ^= 1;
    Bytes badChecksum = good;
    badChecksum[9] ^= 1;
    Bytes oversize = FramePacket(9, Bytes(300, 0));
    for (const Bytes *part : {&badCrc, &badChecksum, &oversize, &good}) {
        stream.insert(stream.end(), part->begin(), part->end());
    }
    for (uint8_t byte : stream) {
        host.handheld->Receive(&byte, 1, SimTime(0));
    }
    std::vector<Transmission> out = host.handheld->TakeOutput();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes[8], 9); // transaction id echoed
    EXPECT_EQ(Bytes(out[0].bytes.begin() + 12, out[0].bytes.end() - 2),
              (Bytes{0xFE, 0xED, 0xBE, 0xEF}));
    EXPECT_EQ(host.handheld->Stats().rejectedPackets, 3u);
}

TEST(Presets, HeadersAndHeapMarkerReadAsTheProbeExpects) {
    Host v3("68k-v3");
    Bytes small = v3.Read(0x10C00000, 256);
    EXPECT_EQ(Be32(small, 8), 0xFEEDBEEFu);
    EXPECT_EQ(small[13], 3);
    EXPECT_EQ(Be32(small, 104), 0x00C08000u);
    EXPECT_STREQ(reinterpret_cast<const char *>(&small[48]), "Palm Computing");
    EXPECT_EQ(Be32(small, 88), 0x00C00200u); // the RAM block list, in the card's LocalIDs
    Bytes big = v3.Read(0x10C08000, 256);
    EXPECT_EQ(Be32(big, 88), 0x00C08200u);
    EXPECT_EQ(Be32(big, 104), 0x00C08000u);
    EXPECT_EQ(Be32(big, 108), 0x1D0000u);
    Bytes marker = v3.Read(0x10DE0000, 16);
    EXPECT_EQ(Bytes(marker.begin(), marker.begin() + 4), (Bytes{'h', 'E', 'a', 'P'}));
    EXPECT_EQ(Be32(marker, 4), 0x00DE0000u);
    EXPECT_EQ(Be32(marker, 8), 0x20000u);
    EXPECT_EQ(v3.Read(0x10D00000, 1)[0], RomPatternByte(0x10D00000));

    Host v5("68k-v5");
    Bytes small5 = v5.Read(0x10000000, 256);
    EXPECT_EQ(small5[13], 5);
    EXPECT_EQ(Be32(small5, 130), 0x4D543634u); // 'MT64'
    EXPECT_EQ(Be32(v5.Read(0x10008000, 256), 108), 0x26000u);

    // The small ROM shares its flash sector with the head of the big ROM.
    Host v4("68k-v4");
    Bytes small4 = v4.Read(0x10000000, 256);
    EXPECT_EQ(small4[13], 4);
    EXPECT_EQ(Be32(small4, 104), 0x10008000u);
    EXPECT_STREQ(reinterpret_cast<const char *>(&small4[48]), "Handspring, Inc.");
    EXPECT_EQ(Be32(v4.Read(0x10008000, 256), 8), 0xFEEDBEEFu);
    EXPECT_EQ(v4.Read(0x10070000, 4), (Bytes{'h', 'E', 'a', 'P'}));

    Host arm("arm");
    Bytes smallArm = arm.Read(0x20000000, 256);
    EXPECT_EQ(Bytes(smallArm.begin() + 8, smallArm.begin() + 14),
              (Bytes{0xEF, 0xBE, 0xED, 0xFE, 6, 0}));
    EXPECT_EQ(Bytes(smallArm.begin() + 104, smallArm.begin() + 108), (Bytes{0, 0, 1, 0x20}));
    EXPECT_EQ(Bytes(smallArm.begin() + 132, smallArm.begin() + 136), (Bytes{'c', 'l', 't', 'a'}));
    Bytes bigArm = arm.Read(0x20010000, 256);
    EXPECT_EQ(Bytes(bigArm.begin() + 8, bigArm.begin() + 14),
              (Bytes{0xFE, 0xED, 0xBE, 0xEF, 0, 6}));
    EXPECT_EQ(Bytes(bigArm.begin() + 108, bigArm.begin() + 112), (Bytes{0, 0, 3, 0}));

    // A backup file of the ARM handheld, loaded back, gives the same memory.
    Bytes image = bigArm;
    std::copy_n(Bytes{0xEF, 0xBE, 0xED, 0xFE, 6, 0}.begin(), 6, image.begin() + 8);
    HandheldMemory memory = BuildMemory(*FindHandheldModel("arm"));
    EXPECT_EQ(LoadBigRomImage(memory, *FindHandheldModel("arm"), image), "");
    Bytes loaded(256);
    ASSERT_TRUE(memory.Read(0x20010000, loaded.data(), loaded.size()));
    EXPECT_EQ(loaded, bigArm);
}

// What a backup of the model saves: from the big ROM start to the end of the heap marker's area
// (or of the big ROM), the first header in file order.
Bytes BackupOf(const HandheldModel &model, const HandheldMemory &memory) {
    Bytes image(model.RomEnd() - model.bigRomBase);
    EXPECT_TRUE(memory.Read(model.bigRomBase, image.data(), image.size()));
    ostervane::ArmHeaderToFileOrder(image.data(), static_cast<uint32_t>(image.size()));
    return image;
}

TEST(Presets, EveryBackupProvesItselfByItsChecksum) {
    using ostervane::CheckRomChecksum;
    using ostervane::RomChecksumState;
    for (const HandheldModel &model : HandheldModels()) {
        SCOPED_TRACE(model.name);
        HandheldMemory memory = BuildMemory(model);
        Bytes backup = BackupOf(model, memory);
        ostervane::RomChecksumResult big = CheckRomChecksum(backup);
        Bytes small(model.bigRomBase - model.flashBase);
        ASSERT_TRUE(memory.Read(model.flashBase, small.data(), small.size()));
        if (model.family == RomFamily::Arm) {
            EXPECT_EQ(big.state, RomChecksumState::NotCarried);
            continue;
        }
        EXPECT_EQ(big.state, RomChecksumState::Verified) << big.text;
        EXPECT_EQ(big.coveredBytes, model.bigRomLength);
        EXPECT_LT(model.bigRomLength, backup.size()); // the heap marker's area is not covered
        ostervane::RomChecksumResult smallRom = CheckRomChecksum(small);
        EXPECT_EQ(smallRom.state, RomChecksumState::Verified) << smallRom.text;
        EXPECT_EQ(smallRom.coveredBytes, small.size());

        // The pattern the bytes follow counts: a ROM of other bytes would not verify.
        backup[model.bigRomLength - 1] ^= 0x01;
        EXPECT_EQ(CheckRomChecksum(backup).state, RomChecksumState::Mismatch);
    }
}

TEST(Debugger, BusErrorsWritesAndRequestsItCannotServe) {
    Host host("68k-v5");
    Bytes busError = host.Wire(kCmdReadMemory, ReadData(0x10200000 - 8, 16));
    ASSERT_GT(busError.size(), 16u);
    EXPECT_EQ(busError[10], kReplyState);
    EXPECT_EQ(busError[15], kExceptionBusError);

    Bytes write = ReadData(0x4040, 4);
    Bytes words = {0x0E, 0x0C, 0x00, 0xA1};
    write.insert(write.end(), words.begin(), words.end());
    EXPECT_EQ(host.Wire(kCmdWriteMemory, write)[10], kReplyWrite);
    EXPECT_EQ(host.Read(0x4040, 4), words);
    Bytes romWrite = ReadData(0x10008000, 4);
    romWrite.insert(romWrite.end(), words.begin(), words.end());
    EXPECT_EQ(host.Wire(kCmdWriteMemory, romWrite)[10], kReplyWrite);
    EXPECT_EQ(host.Read(0x10008008, 4), (Bytes{0xFE, 0xED, 0xBE, 0xEF})); // flash unchanged

    EXPECT_TRUE(host.Wire(kCmdReadMemory, ReadData(0x10000000, 257)).empty());
    EXPECT_TRUE(host.Wire(0x33).empty());
    EXPECT_EQ(host.handheld->Stats().malformedRequests, 2u);
}

TEST(Debugger, ContinueLeavesTheDebuggerAndReentersWhenAsked) {
    Host host("arm");
    host.handheld->SetReenterAfter(std::chrono::milliseconds(500));
    RegisterBlock registers = host.handheld->Registers();
    registers.pc = 0x20000000;
    Bytes data(kContinueDataSize, 0);
    registers.Encode(data.data());
    host.now = std::chrono::seconds(3);
    std::vector<Transmission> out = host.Send(kCmdContinue, data);
    ASSERT_TRUE(host.handheld->LastResume());
    EXPECT_EQ(host.handheld->LastResume()->registers, registers);
    ASSERT_EQ(out.size(), 1u); // no reply, only the state packet on re-entry
    EXPECT_EQ(out[0].notBefore, std::chrono::milliseconds(3500));
    EXPECT_EQ(out[0].bytes[12], 1); // a restarted handheld
    EXPECT_EQ(Be32(out[0].bytes, 10 + kRegistersOffset + 68), 0x20004A10u);

    host.now = std::chrono::milliseconds(3400);
    EXPECT_TRUE(host.Wire(kCmdStateRequest).empty()); // still running
    host.now = std::chrono::milliseconds(3500);
    EXPECT_EQ(host.Wire(kCmdStateRequest)[10], kReplyState);
    EXPECT_EQ(host.handheld->Stats().ignoredWhileRunning, 1u);
}

// A flasher stand-in: programs one flash word, reports in d0 and breaks back into the debugger.
struct FlashWordRunner : CodeRunner {
    ResumeOutcome Run(HandheldMemory &memory, RegisterBlock &registers) override {
        ranAt = registers.pc;
        const uint8_t word[2] = {0x12, 0x34};
        memory.Program(0x10008100, word, 2);
        registers.d[0] = 0;
        return {true, std::chrono::seconds(2), kExceptionBreak, false};
    }
    uint32_t ranAt = 0;
};

TEST(Debugger, CodeRunnerRunsAtTheResumedPcAndBreaksBack) {
    Host host("68k-v5");
    FlashWordRunner runner;
    host.handheld->SetCodeRunner(&runner);
    RegisterBlock registers = host.handheld->Registers();
    registers.pc = 0x200000;
    Bytes data(kContinueDataSize, 0);
    registers.Encode(data.data());
    std::vector<Transmission> out = host.Send(kCmdContinue, data);
    EXPECT_EQ(runner.ranAt, 0x200000u);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].notBefore, std::chrono::seconds(2));
    EXPECT_EQ(Be32(out[0].bytes, 10 + kRegistersOffset), 0u); // d0
    host.now = std::chrono::seconds(2);
    EXPECT_EQ(host.Read(0x10008100, 2), (Bytes{0x12, 0x34}));
}

TEST(Faults, FaultTextsParseOrSayWhyNot) {
    FaultPlan plan;
    std::string error;
    for (const char *good :
         {"drop@1", "bad-crc@2-4", "stall@10", "drop@~0.05,seed:7", "delay:20", "flip",
          "oversize@3+:400", "command@1:0x81", "corrupt", "corrupt@~0.01:255"}) {
        EXPECT_TRUE(plan.Add(good, &error)) << good << ": " << error;
    }
    for (const char *bad :
         {"", "drop@", "dorp", "delay", "drop:5", "stall@1-3", "oversize:100", "drop@4-2",
          "drop@~2", "seed:x", "drop,", "corrupt:256", "corrupt:-1"}) {
        EXPECT_FALSE(plan.Add(bad, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

// The first read's reply (packet 1, after the announced state packet) under `faults`.
Bytes ShapedReply(const std::string &faults, std::vector<Transmission> *out = nullptr) {
    Host host("68k-v5", faults);
    host.handheld->Announce(SimTime(0));
    host.handheld->TakeOutput();
    std::vector<Transmission> sent = host.Send(kCmdReadMemory, ReadData(0x10000008, 4));
    Bytes wire;
    for (const Transmission &t : sent) {
        wire.insert(wire.end(), t.bytes.begin(), t.bytes.end());
    }
    if (out != nullptr) {
        *out = sent;
    }
    return wire;
}

TEST(Faults, EachActionDoesWhatItSays) {
    const Bytes clean = ShapedReply("");
    ASSERT_EQ(clean.size(), 18u);
    auto differsOnlyAt = [&](const Bytes &wire, size_t at) {
        Bytes fixed = wire;
        fixed[at] = clean[at];
        return wire[at] != clean[at] && fixed == clean;
    };
    EXPECT_EQ(ShapedReply("drop@0"), clean); // hits the announced packet only
    EXPECT_TRUE(ShapedReply("drop@1").empty());
    EXPECT_TRUE(ShapedReply("stall@1").empty());
    EXPECT_TRUE(differsOnlyAt(ShapedReply("bad-signature@1"), 1));
    EXPECT_TRUE(differsOnlyAt(ShapedReply("bad-checksum@1"), 9));
    EXPECT_TRUE(differsOnlyAt(ShapedReply("bad-crc@1"), 17));
    EXPECT_TRUE(differsOnlyAt(ShapedReply("flip@1:13"), 13));
    EXPECT_EQ(ShapedReply("truncate@1:11"), Bytes(clean.begin(), clean.begin() + 11));
    EXPECT_EQ(ShapedReply("state@1")[10], kReplyState);
    EXPECT_EQ(ShapedReply("command@1:0x82")[10], 0x82);
    EXPECT_EQ(ShapedReply("wrong-tid@1")[8], clean[8] + 1);

    Bytes oversize = ShapedReply("oversize@1");
    EXPECT_EQ(oversize.size(), 10u + 300 + 2);
    EXPECT_EQ((oversize[6] << 8 | oversize[7]), 300);
    EXPECT_EQ(ShapedReply("undersize@1")[7], 1);

    Bytes garbage = ShapedReply("garbage@1:5,duplicate@1");
    EXPECT_EQ(garbage.size(), 5 + 2 * clean.size());
    EXPECT_EQ(std::count(garbage.begin(), garbage.begin() + 5, 0xBE), 0);
    EXPECT_EQ(Bytes(garbage.begin() + 5, garbage.begin() + 23), clean);

    std::vector<Transmission> timed;
    ShapedReply("delay@1:250,pause@1:150", &timed);
    ASSERT_EQ(timed.size(), 2u);
    EXPECT_EQ(timed[0].notBefore, std::chrono::milliseconds(250));
    EXPECT_EQ(timed[0].bytes.size(), 10u);
    EXPECT_EQ(timed[1].gap, std::chrono::milliseconds(150));
}

TEST(Faults, CorruptChangesReadDataUnderAValidCrc) {
    const Bytes clean = ShapedReply("");
    for (size_t offset : {size_t(0), size_t(3)}) {
        Host host("68k-v5", "corrupt@1:" + std::to_string(offset));
        host.handheld->Announce(SimTime(0));
        host.handheld->TakeOutput();
        Bytes wire = host.Wire(kCmdReadMemory, ReadData(0x10000008, 4));
        ASSERT_EQ(wire.size(), clean.size());
        EXPECT_EQ(wire[12 + offset], clean[12 + offset] ^ 0x01);
        // Framed afresh around the changed data: the receiver's checks all pass.
        Bytes body(wire.begin() + 10, wire.end() - 2);
        EXPECT_EQ(wire, FramePacket(clean[8], body));
        EXPECT_NE(Bytes(wire.end() - 2, wire.end()), Bytes(clean.end() - 2, clean.end()));
        EXPECT_EQ(host.handheld->Stats().corruptedReplies, 1u);
    }
    EXPECT_EQ(ShapedReply("corrupt@1:4"), clean); // the reply has 4 data bytes

    // Only read replies: the announced state packet and a write's reply go out unchanged.
    Host plain("68k-v5");
    Host corrupting("68k-v5", "corrupt:6");
    for (Host *host : {&plain, &corrupting}) {
        host->handheld->Announce(SimTime(0));
    }
    EXPECT_EQ(corrupting.handheld->TakeOutput()[0].bytes, plain.handheld->TakeOutput()[0].bytes);
    Bytes write = ReadData(0x4040, 1);
    write.push_back(0x5A);
    EXPECT_EQ(corrupting.Wire(kCmdWriteMemory, write), plain.Wire(kCmdWriteMemory, write));
    EXPECT_EQ(corrupting.Wire(kCmdStateRequest), plain.Wire(kCmdStateRequest));
    Bytes good = plain.Read(0x10008000, 256);
    Bytes bad = corrupting.Read(0x10008000, 256);
    ASSERT_EQ(bad.size(), good.size());
    EXPECT_EQ(bad[6], good[6] ^ 0x01);
    bad[6] = good[6];
    EXPECT_EQ(bad, good);
    EXPECT_EQ(corrupting.handheld->Stats().corruptedReplies, 1u);
}

TEST(Faults, RandomDropsRepeatWithTheirSeed) {
    auto pattern = [](const std::string &faults) {
        Host host("68k-v3", faults);
        std::string hits;
        for (int i = 0; i < 200; ++i) {
            hits += host.Send(kCmdStateRequest).empty() ? 'x' : '.';
        }
        return hits;
    };
    std::string first = pattern("drop@~0.25,seed:5");
    EXPECT_EQ(first, pattern("drop@~0.25,seed:5"));
    EXPECT_NE(first, pattern("drop@~0.25,seed:6"));
    auto drops = std::count(first.begin(), first.end(), 'x');
    EXPECT_GT(drops, 25);
    EXPECT_LT(drops, 75);
}

} // namespace
