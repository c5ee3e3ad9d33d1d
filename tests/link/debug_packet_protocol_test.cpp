// The debugger protocol against the simulated handheld: packet bytes, transaction ids,
// receiving and its refusals, the retry rules of memory exchanges, and the wait for a handheld.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <numeric>
#include <thread>

#include "link_test_support.h"
#include "ostervane/core/crc16.h"

namespace ostervane {
namespace {

using namespace testing;
using namespace std::chrono_literals;
using Registers = std::array<uint8_t, debugger::kRegisterBlockSize>;

// The two sends of one packet as they must leave the host: the header, then command, filler,
// data and the CRC high byte first.
std::pair<Bytes, Bytes> ExpectedPacket(uint8_t tid, uint8_t command, const Bytes &data) {
    uint16_t size = static_cast<uint16_t>(data.size() + 2);
    Bytes header = {0xBE, 0xEF, 0xED, 0, 0, 0, uint8_t(size >> 8), uint8_t(size), tid};
    header.push_back(uint8_t(std::accumulate(header.begin(), header.end(), 0u)));
    Bytes rest = {command, 0};
    rest.insert(rest.end(), data.begin(), data.end());
    Bytes whole = header;
    whole.insert(whole.end(), rest.begin(), rest.end());
    uint16_t crc = sim::Crc16(whole.data(), whole.size());
    rest.push_back(uint8_t(crc >> 8));
    rest.push_back(uint8_t(crc));
    return {header, rest};
}

TEST(PacketBytes, EachCommandLeavesAsHeaderThenBodyAndCrc) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(check, sizeof check), 0x31C3); // the CRC-16/XMODEM check value

    const sim::HandheldModel &model = Model("68k-v3");
    LinkBench bench(model);
    CapturePipe &tap = bench.tap;
    bench.OpenLine(&tap);
    ASSERT_EQ(bench.job.ReceivePacket(60), 0); // the state packet the handheld sent by itself
    tap.sends.clear();

    ASSERT_EQ(bench.job.SendPacket(debugger::kStateRequest, 0, nullptr), 0);
    ASSERT_EQ(bench.job.ReceivePacket(5), 0);
    ASSERT_EQ(bench.job.ReadMemChunk(0x10C00000, 256), 0);
    EXPECT_EQ(Bytes(bench.job.Packet() + 12, bench.job.Packet() + 12 + 256),
              MemoryBytes(*bench.handheld, 0x10C00000, 256));
    const Bytes word = {0xCA, 0xFE, 0xF0, 0x0D};
    ASSERT_EQ(bench.job.WriteMemChunk(word.data(), 0x10000100, 4), 0);
    ASSERT_EQ(bench.job.Resume(0x10C000C0), 0);

    sim::RegisterBlock resumed = model.registers;
    resumed.pc = 0x10C000C0;
    Bytes continueData(88, 0); // 74 register bytes, then 14 zero bytes
    resumed.Encode(continueData.data());
    const std::vector<std::pair<uint8_t, Bytes>> commands = {
        {0x00, {}},
        {0x01, {0x10, 0xC0, 0x00, 0x00, 0x01, 0x00}},
        {0x02, {0x10, 0x00, 0x01, 0x00, 0x00, 0x04, 0xCA, 0xFE, 0xF0, 0x0D}},
        {0x07, continueData},
    };
    ASSERT_EQ(tap.sends.size(), 2 * commands.size());
    EXPECT_EQ(tap.sends[0], (Bytes{0xBE, 0xEF, 0xED, 0, 0, 0, 0x00, 0x02, 0x01, 0x9D}));
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(i);
        auto [header, rest] = ExpectedPacket(uint8_t(i + 1), commands[i].first, commands[i].second);
        EXPECT_EQ(tap.sends[2 * i], header);
        EXPECT_EQ(tap.sends[2 * i + 1], rest);
    }

    // The handheld took every packet and acted on it.
    EXPECT_EQ(MemoryBytes(*bench.handheld, 0x10000100, 4), word);
    ASSERT_TRUE(bench.handheld->LastResume().has_value());
    EXPECT_EQ(bench.handheld->LastResume()->registers, resumed);
}

TEST(TransactionIds, RunFrom1To254ThenStartAgainAt1) {
    JobRecorder recorder;
    CapturePipe pipe;
    DebugPacket job(recorder.Settings(""));
    job.AttachPipe(&pipe);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(job.SendPacket(debugger::kStateRequest, 0, nullptr), 0);
    }
    ASSERT_EQ(pipe.sends.size(), 1200u);
    for (size_t i = 0; i < 600; ++i) {
        ASSERT_EQ(pipe.sends[2 * i][8], i % 254 + 1) << "packet " << i;
    }
}

TEST(TransactionIds, WaitForDeviceStartsThemAgainAt1) {
    // The state packet and the replies to five earlier requests are lost, so the wait has to
    // ask for the handheld's state itself.
    LinkBench bench(Model("68k-v3"), BenchOptions().Faults("drop@0-5"));
    bench.OpenLine();
    for (int i = 0; i < 5; ++i) {
        bench.job.SendPacket(debugger::kStateRequest, 0, nullptr);
    }
    ASSERT_EQ(bench.job.WaitForDevice(), 0);
    std::vector<sim::RequestRecord> requests = bench.handheld->Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[4].transactionId, 5);
    EXPECT_EQ(requests[5].transactionId, 1);
}

TEST(ReceivePacket, TheLastAllowedCallMeansNothingCameWhateverItBrings) {
    // Four noise bytes precede the state packet, so its first byte comes with the fifth call.
    LinkBench late(Model("68k-v3"), BenchOptions().Faults("garbage@0:4"));
    late.OpenLine();
    EXPECT_EQ(late.job.ReceivePacket(5), ErrNoResponse);
    EXPECT_EQ(late.pipe.Counters().receives, 5u);

    LinkBench inTime(Model("68k-v3"), BenchOptions().Faults("garbage@0:4"));
    inTime.OpenLine();
    EXPECT_EQ(inTime.job.ReceivePacket(6), 0);
    EXPECT_EQ(inTime.job.Packet()[10], debugger::kStateReply);

    LinkBench silent(Model("68k-v3"), BenchOptions().Quiet());
    silent.OpenLine();
    EXPECT_EQ(silent.job.ReceivePacket(3), ErrNoResponse);
    EXPECT_EQ(silent.pipe.Counters().receives, 3u);
}

TEST(ReceivePacket, StatePacketRefreshesTheRegisters) {
    const sim::HandheldModel &model = Model("68k-v3");
    LinkBench bench(model);
    bench.OpenLine();
    ASSERT_EQ(bench.job.ReceivePacket(60), 0);
    Registers expected{};
    model.registers.Encode(expected.data());
    Bytes firstWord = MemoryBytes(*bench.handheld, model.registers.pc, 2);
    expected[74] = firstWord[0];
    expected[75] = firstWord[1];
    EXPECT_EQ(bench.job.SavedRegisters(), expected);
}

TEST(ReceivePacket, BadSignatureIsRefusedWithoutReadingTheBody) {
    LinkBench bench(Model("68k-v3"), BenchOptions().Faults("bad-signature@0"));
    bench.OpenLine();
    EXPECT_EQ(bench.job.ReceivePacket(60), ErrBadSignature);
    EXPECT_EQ(bench.pipe.PendingBytes(), sim::kStateBodySize + 2);
    EXPECT_EQ(bench.job.SavedRegisters(), Registers{});
}

TEST(ReceivePacket, CorruptedPacketsAreRefusedAndTheExchangeRetried) {
    const sim::HandheldModel &model = Model("68k-v3");
    for (std::string fault :
         {"bad-checksum@0", "bad-crc@0", "flip@0:40", "oversize@0:400", "undersize@0"}) {
        SCOPED_TRACE(fault);
        LinkBench announced(model, BenchOptions().Faults(fault));
        announced.OpenLine();
        EXPECT_EQ(announced.job.ReceivePacket(60), ErrBadSignature);
        EXPECT_EQ(announced.job.SavedRegisters(), Registers{});

        LinkBench asked(model, BenchOptions().Faults(fault).Quiet());
        asked.OpenLine();
        Bytes read(256);
        EXPECT_EQ(asked.job.ReadMemory(0x10C00000, read.data(), 256), 0);
        EXPECT_EQ(read, MemoryBytes(*asked.handheld, 0x10C00000, 256));
        EXPECT_EQ(asked.Requests(debugger::kReadMemory).size(), 2u);
    }
}

TEST(ReceivePacket, BodiesOf2To272BytesAreTakenOthersRefusedUnread) {
    for (uint32_t size : {2u, 272u, 1u, 273u, 0xFFFFu}) {
        SCOPED_TRACE(size);
        JobRecorder recorder;
        CapturePipe pipe;
        DebugPacket job(recorder.Settings(""));
        job.AttachPipe(&pipe);
        Bytes body(size, 0x5A);
        body[0] = debugger::kReadReply;
        pipe.Feed(sim::FramePacket(7, body));
        bool fits = size >= 2 && size <= 272;
        EXPECT_EQ(job.ReceivePacket(5), fits ? 0 : ErrBadSignature);
        if (fits) {
            uint16_t sizeField;
            std::memcpy(&sizeField, job.Packet() + 6, 2);
            EXPECT_EQ(sizeField, size); // in host order
            EXPECT_EQ(Bytes(job.Packet() + 10, job.Packet() + 10 + size), body);
            EXPECT_EQ(pipe.Unread(), 0u);
        } else {
            EXPECT_EQ(pipe.Unread(), size + 2); // the body was not read
        }
    }
}

TEST(MemoryExchanges, EachPieceGetsElevenExchanges) {
    const sim::HandheldModel &model = Model("68k-v3");
    Bytes buffer(512);
    {
        // Ten lost replies for each piece: the eleventh exchange still brings it.
        LinkBench bench(model, BenchOptions().Faults("drop@0-9,drop@11-20").Quiet());
        bench.OpenLine();
        EXPECT_EQ(bench.job.ReadMemory(0x10C00000, buffer.data(), 512), 0);
        EXPECT_EQ(buffer, MemoryBytes(*bench.handheld, 0x10C00000, 512));
        EXPECT_EQ(bench.Requests(debugger::kReadMemory).size(), 22u);
    }
    for (uint8_t command : {debugger::kReadMemory, debugger::kWriteMemory}) {
        SCOPED_TRACE(int(command));
        LinkBench bench(model, BenchOptions().Faults("drop@0-10").Quiet());
        bench.OpenLine();
        int32_t status = command == debugger::kReadMemory
                             ? bench.job.ReadMemory(0x10C00000, buffer.data(), 512)
                             : bench.job.WriteMemory(0x10001000, buffer.data(), 512);
        EXPECT_EQ(status, ErrRead);
        std::vector<sim::RequestRecord> requests = bench.handheld->Requests();
        EXPECT_EQ(requests.size(), 11u); // the second piece is never asked for
        EXPECT_EQ(bench.Requests(command).size(), 11u);
    }
}

TEST(MemoryExchanges, ReplyCarryingAnotherTransactionIdIsNotTaken) {
    LinkBench bench(Model("68k-v3"), BenchOptions().Faults("wrong-tid@0").Quiet());
    bench.OpenLine();
    Bytes read(256);
    EXPECT_EQ(bench.job.ReadMemory(0x10C00000, read.data(), 256), 0);
    EXPECT_EQ(read, MemoryBytes(*bench.handheld, 0x10C00000, 256));
    EXPECT_EQ(bench.Requests(debugger::kReadMemory).size(), 2u); // the stray reply was skipped
}

TEST(MemoryExchanges, ReadAnsweredByStatePacketsEndsWith128) {
    LinkBench bench(Model("68k-v3"), BenchOptions().Faults("state").Quiet());
    bench.OpenLine();
    Bytes buffer(256);
    EXPECT_EQ(bench.job.ReadMemory(0x10C00000, buffer.data(), 256), 128);
    EXPECT_EQ(bench.Requests(debugger::kReadMemory).size(), 11u);
}

TEST(MemoryExchanges, LongTransfersGoOutIn256BytePiecesInAddressOrder) {
    LinkBench bench(Model("68k-v3"), BenchOptions().Quiet());
    bench.OpenLine();
    Bytes read(600);
    ASSERT_EQ(bench.job.ReadMemory(0x10C00100, read.data(), 600), 0);
    EXPECT_EQ(read, MemoryBytes(*bench.handheld, 0x10C00100, 600));
    Bytes written(600);
    std::iota(written.begin(), written.end(), uint8_t(3));
    ASSERT_EQ(bench.job.WriteMemory(0x10001000, written.data(), 600), 0);
    EXPECT_EQ(MemoryBytes(*bench.handheld, 0x10001000, 600), written);

    EXPECT_EQ(Pieces(bench.Requests(debugger::kReadMemory)),
              (std::vector<Piece>{{0x10C00100, 256}, {0x10C00200, 256}, {0x10C00300, 88}}));
    EXPECT_EQ(Pieces(bench.Requests(debugger::kWriteMemory)),
              (std::vector<Piece>{{0x10001000, 256}, {0x10001100, 256}, {0x10001200, 88}}));
}

TEST(WaitForDevice, ListensFirstThenAsksEverySixAttemptsUntilTheHandheldAnswers) {
    // The handheld's own state packet and its first 20 answers are lost.
    LinkBench bench(Model("68k-v3"), BenchOptions().Faults("drop@0-20"));
    bench.OpenLine();
    ASSERT_EQ(bench.job.WaitForDevice(), 0);
    EXPECT_EQ(bench.job.Packet()[10], debugger::kStateReply);

    std::vector<sim::RequestRecord> asks = bench.Requests(debugger::kStateRequest);
    ASSERT_EQ(asks.size(), 21u);
    ASSERT_EQ(bench.handheld->Requests().size(), 21u);
    // 4 empty reads of 600 ms before the first request, then 6 between two requests.
    EXPECT_GE(asks[0].at, 2.4s);
    EXPECT_LT(asks[0].at, 2.5s);
    for (size_t i = 1; i < asks.size(); ++i) {
        EXPECT_GE(asks[i].at - asks[i - 1].at, 3.6s) << i;
        EXPECT_LT(asks[i].at - asks[i - 1].at, 3.7s) << i;
    }
    EXPECT_TRUE(bench.recorder.prompter.Boxes().empty());
}

// A handheld that sat in its debugger before the host opened the line (a resumed backup, a
// second run) says nothing by itself: the backup asks after two quiet seconds and is reading
// its ROM within three.
TEST(WaitForDevice, AHandheldAlreadyInItsDebuggerIsBackedUpWithinThreeSeconds) {
    TempDir dir;
    LinkBench bench(Model("68k-v5"), BenchOptions().Quiet().RomFile(dir.File("now.rom")));
    ASSERT_TRUE(bench.RunFirstTurn());
    std::vector<sim::RequestRecord> asks = bench.Requests(debugger::kStateRequest);
    std::vector<sim::RequestRecord> reads = bench.Requests(sim::kCmdReadMemory);
    ASSERT_FALSE(asks.empty());
    ASSERT_FALSE(reads.empty());
    EXPECT_GE(asks[0].at, 2s) << "asked before two quiet seconds";
    EXPECT_LT(reads[0].at, 3s);
}

// The tail of a reply to an earlier run still arriving is no quiet line: the wait drains it
// before asking, instead of asking after every few stray bytes and stacking up requests whose
// replies later reads would take for their own.
TEST(WaitForDevice, StrayBytesAreDrainedBeforeTheHandheldIsAsked) {
    JobRecorder recorder;
    CapturePipe pipe;
    DebugPacket job(recorder.Settings(""));
    job.AttachPipe(&pipe);
    pipe.Feed(Bytes(300, 0x5A));
    // Once the stray bytes are gone, the handheld's state packet comes (as if asked).
    bool answered = false;
    pipe.onRunDry = [&] {
        if (!answered) {
            answered = true;
            Bytes state(sim::kStateBodySize, 0);
            state[0] = debugger::kStateReply;
            pipe.Feed(sim::FramePacket(1, state));
        }
    };
    EXPECT_EQ(job.WaitForDevice(), 0);
    auto headers = std::count_if(pipe.sends.begin(), pipe.sends.end(),
                                 [](const Bytes &sent) { return sent[0] == 0xBE; });
    EXPECT_EQ(headers, 1) << "one state request, after the stray bytes";
}

TEST(WaitForDevice, AFailedReceiveAfterTwoPacketsRaisesTheReadErrorBox) {
    JobRecorder recorder;
    CapturePipe pipe;
    DebugPacket job(recorder.Settings(""));
    job.AttachPipe(&pipe);
    // Two packets that are not the handheld's state, then a header with a bad signature.
    pipe.Feed(sim::FramePacket(1, Bytes{debugger::kReadReply, 0, 1, 2}));
    pipe.Feed(sim::FramePacket(2, Bytes{debugger::kWriteReply, 0}));
    Bytes bad = sim::FramePacket(3, Bytes{debugger::kWriteReply, 0});
    bad[1] = 0xEE;
    pipe.Feed(bad);
    pipe.onRunDry = [&job] { job.RequestStop(); }; // the wait must end at the bad header

    EXPECT_EQ(job.RunJob(), ErrRead);
    std::vector<RecordingPrompter::Box> boxes = recorder.prompter.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Read Error");
    EXPECT_EQ(boxes[0].text, "Error: 32774   Count: 2   BodySize: 2   Command: 130");
    EXPECT_EQ(recorder.slot.status, "Waiting..."); // the handheld was never found
}

TEST(WaitForDevice, RequestStopEndsTheWaitPromptly) {
    // On a real clock: the handheld never speaks and a read waits up to 600 ms.
    LinkBench bench(Model("68k-v3"), BenchOptions().Faults("stall@0").Paced());
    bench.StartJob();
    while (bench.pipe.Counters().receives == 0) {
        std::this_thread::yield();
    }
    auto start = std::chrono::steady_clock::now();
    bench.StopJob();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_TRUE(bench.recorder.prompter.Boxes().empty());
    EXPECT_EQ(bench.recorder.slot.status, "Waiting...");
    EXPECT_FALSE(bench.recorder.slot.closed);
}

} // namespace
} // namespace ostervane
