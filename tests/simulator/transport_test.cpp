// The simulated handheld's transports: the in-process pipe's serial time-outs, wire timing,
// events and abort, and the pseudo-terminal carrying packets both ways.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "simulator/pty_transport.h"
#include "simulator/rom_presets.h"
#include "simulator/simulated_pipe.h"

using namespace ostervane::simulator;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ReadRequest(uint8_t tid, uint32_t address, uint16_t count) {
    return FramePacket(tid, Bytes{kCmdReadMemory, 0, static_cast<uint8_t>(address >> 24),
                                  static_cast<uint8_t>(address >> 16),
                                  static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                  static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)});
}

std::unique_ptr<HandheldDebugger> Handheld(const std::string &faults = "") {
    HandheldOptions options;
    std::string error;
    EXPECT_TRUE(faults.empty() || options.faults.Add(faults, &error)) << error;
    return MakeHandheld(*FindHandheldModel("68k-v5"), std::move(options));
}

uint32_t Receive(SimulatedPipe &pipe, Bytes &into, uint32_t count) {
    into.assign(count, 0);
    uint32_t got = 0;
    EXPECT_EQ(pipe.Receive(into.data(), count, &got), 0);
    into.resize(got);
    return got;
}

int32_t Send(SimulatedPipe &pipe, const Bytes &bytes) {
    uint32_t sent = 0;
    return pipe.Send(bytes.data(), static_cast<uint32_t>(bytes.size()), &sent);
}

TEST(SimulatedPipe, ReadsTimeOutAsASerialPortDoes) {
    auto handheld = Handheld();
    SimulatedPipe pipe(*handheld, {.announceOnOpen = false});
    pipe.Open();
    Bytes got;
    EXPECT_EQ(Receive(pipe, got, 1), 0u);
    EXPECT_EQ(pipe.Now(), 600ms);
    EXPECT_EQ(Receive(pipe, got, 3), 0u);
    EXPECT_EQ(pipe.Now(), 1400ms);
    EXPECT_EQ(pipe.Counters().emptyReceives, 2u);
}

TEST(SimulatedPipe, BytesTakeTheirWireTime) {
    auto handheld = Handheld("pause@1:150");
    SimulatedPipe pipe(*handheld, {.baud = 57600});
    pipe.Open(); // the state packet leaves at once
    Bytes got;
    EXPECT_EQ(Receive(pipe, got, 10), 10u);
    EXPECT_EQ(pipe.Now(), WireTime(10, 57600));
    Receive(pipe, got, kStateBodySize + 2);

    Bytes request = ReadRequest(1, 0x10008008, 4);
    SimTime sent = pipe.Now() + WireTime(request.size(), 57600);
    EXPECT_EQ(Send(pipe, request), 0);
    EXPECT_EQ(pipe.Now(), sent);
    // The reply's header comes, then the line pauses 150 ms: more than the 100 ms interval.
    EXPECT_EQ(Receive(pipe, got, 18), 10u);
    EXPECT_EQ(pipe.Now(), sent + WireTime(10, 57600) + 100ms);
    EXPECT_EQ(Receive(pipe, got, 8), 8u);
    EXPECT_EQ(pipe.Now(), sent + WireTime(10, 57600) + 150ms + WireTime(8, 57600));
    EXPECT_EQ(Bytes(got.begin() + 2, got.begin() + 6), (Bytes{0xFE, 0xED, 0xBE, 0xEF}));
}

TEST(SimulatedPipe, OpenCloseAndTransfersOnAClosedPipe) {
    std::vector<uint32_t> events;
    auto handler = [](uint32_t event, const void *, uint32_t, void *context) -> int32_t {
        static_cast<std::vector<uint32_t> *>(context)->push_back(event);
        return 0;
    };
    auto handheld = Handheld();
    SimulatedPipe pipe(*handheld, {}, handler, &events);
    pipe.Open();
    pipe.Open();
    EXPECT_EQ(pipe.Close(), 0);
    pipe.Close();
    EXPECT_EQ(events, (std::vector<uint32_t>{ostervane::PipeOpened, ostervane::PipeClosed}));
    uint8_t byte = 0;
    uint32_t got = 0;
    EXPECT_EQ(pipe.Receive(&byte, 1, &got), SimulatedPipe::kClosedError);
}

TEST(SimulatedPipe, AbortEndsAPacedReceivePromptly) {
    auto handheld = Handheld("stall@0");
    SimulatedPipe pipe(*handheld, {.timing = PipeTiming::Paced});
    pipe.Open();
    int32_t status = 0;
    auto started = std::chrono::steady_clock::now();
    std::thread reader([&] {
        uint8_t buffer[100];
        uint32_t got = 0;
        status = pipe.Receive(buffer, sizeof buffer, &got); // would wait 10.5 s
    });
    std::this_thread::sleep_for(50ms);
    pipe.Abort();
    reader.join();
    EXPECT_EQ(status, ostervane::PipeAborted);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
}

// Reads exactly `count` bytes from `fd`, waiting at most 2 s in all.
Bytes ReadFd(int fd, size_t count) {
    Bytes bytes;
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            uint8_t buffer[512];
            ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n > 0) {
                bytes.insert(bytes.end(), buffer, buffer + n);
            }
        }
    }
    return bytes;
}

TEST(PtyTransport, CarriesPacketsBothWays) {
    auto handheld = Handheld();
    PtyTransport transport(*handheld, {.baud = 115200, .announceDelay = 0ms});
    std::string error;
    ASSERT_TRUE(transport.Open(&error)) << error;
    std::atomic<bool> stop{false};
    std::thread server([&] { transport.Run(stop); });

    int fd = open(transport.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    Bytes announced = ReadFd(fd, 10 + kStateBodySize + 2);
    ASSERT_EQ(announced.size(), 10 + kStateBodySize + 2);
    EXPECT_EQ(announced[10], kReplyState);

    Bytes request = ReadRequest(7, 0x10030000, 16);
    ASSERT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes reply = ReadFd(fd, 10 + 2 + 16 + 2);
    ASSERT_EQ(reply.size(), 30u);
    EXPECT_EQ(reply[8], 7);
    EXPECT_EQ(Bytes(reply.begin() + 12, reply.begin() + 16), (Bytes{'h', 'E', 'a', 'P'}));
    EXPECT_EQ(Crc16(reply.data(), 28), reply[28] << 8 | reply[29]);

    close(fd);
    stop = true;
    server.join();
}

} // namespace
