// SerialPipe over a pseudo-terminal: start and its events, busy and missing ports, transfers
// with the port's time-outs, abort, and closing.
#include "ostervane/platform/serial_pipe.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <termios.h>

#include "pty_test_support.h"

namespace ostervane {
namespace {

using testing::PtyPair;
using SteadyClock = std::chrono::steady_clock;

struct RecordedEvent {
    uint32_t event;
    uint16_t code;
};

int32_t Record(uint32_t event, const void *data, uint32_t, void *context) {
    uint16_t code = data ? *static_cast<const uint16_t *>(data) : 0;
    static_cast<std::vector<RecordedEvent> *>(context)->push_back({event, code});
    return 0;
}

class SerialPipeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(pty_.SlavePath().empty()); }

    std::unique_ptr<SerialPipe> MakePipe(const std::string &path) {
        return std::make_unique<SerialPipe>(path, "pts", 0, &Record, &events_);
    }
    bool IsOpen(PipeBase &pipe) {
        bool open = false;
        pipe.IsOpen(&open);
        return open;
    }

    PtyPair pty_;
    std::vector<RecordedEvent> events_;
};

TEST_F(SerialPipeTest, StartOpensOnceAndRaisesPipeOpened) {
    auto pipe = MakePipe(pty_.SlavePath());
    EXPECT_FALSE(pipe->IsHotPlug());
    EXPECT_EQ(pipe->GetName(), "pts");
    pipe->Start();
    pipe->Start();
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].event, PipeOpened);
    EXPECT_TRUE(IsOpen(*pipe));

    termios settings{};
    ASSERT_EQ(tcgetattr(pty_.Master(), &settings), 0); // a master reports its slave's settings
    EXPECT_EQ(cfgetospeed(&settings), B57600);
    EXPECT_EQ(pipe->GetMaxBaudRate(), 115200u);
    pipe->SetMaxBaudRate(9600);
    ASSERT_EQ(tcgetattr(pty_.Master(), &settings), 0);
    EXPECT_EQ(cfgetospeed(&settings), B115200);
}

TEST_F(SerialPipeTest, BusyMissingOrUnnamedPortsDoNotOpen) {
    auto holder = MakePipe(pty_.SlavePath());
    holder->Start();
    auto second = MakePipe(pty_.SlavePath());
    second->Start();
    auto missing = MakePipe("/dev/no-such-serial-port");
    missing->Start();
    auto unnamed = MakePipe("");
    unnamed->Start();

    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[1].event, PipeError);
    EXPECT_EQ(events_[1].code, kPortBusyCode);
    EXPECT_EQ(events_[2].event, PipeError);
    EXPECT_EQ(events_[2].code, kPortBusyCode);
    EXPECT_FALSE(IsOpen(*second));
    EXPECT_FALSE(IsOpen(*missing));
    EXPECT_EQ(second->LastOpenError(), EBUSY);
    EXPECT_EQ(missing->LastOpenError(), ENOENT);
}

TEST_F(SerialPipeTest, BytesTravelBothWays) {
    auto pipe = MakePipe(pty_.SlavePath());
    pipe->Start();
    const uint8_t header[] = {0xBE, 0xEF, 0xED};
    uint32_t count = 0;
    ASSERT_EQ(pipe->Send(header, 3, &count), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(pty_.Take(3), "\xBE\xEF\xED");

    pty_.Send("reply");
    uint8_t buffer[5] = {};
    ASSERT_EQ(pipe->Receive(buffer, 5, &count), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), count), "reply");
}

TEST_F(SerialPipeTest, EmptyOneByteReadSucceedsWithNothingAfterAboutSixHundredMs) {
    auto pipe = MakePipe(pty_.SlavePath());
    pipe->Start();
    uint8_t byte = 0;
    uint32_t count = 9;
    auto started = SteadyClock::now();
    EXPECT_EQ(pipe->Receive(&byte, 1, &count), 0);
    auto elapsed = SteadyClock::now() - started;
    EXPECT_EQ(count, 0u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(590));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2000));
}

TEST_F(SerialPipeTest, AbortEndsABlockedReadPromptly) {
    auto pipe = MakePipe(pty_.SlavePath());
    pipe->Start();
    std::vector<uint8_t> buffer(64);
    uint32_t count = 0;
    int32_t status = 0;
    auto started = SteadyClock::now();
    std::thread reader([&] { status = pipe->Receive(buffer.data(), 64, &count); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pipe->Abort();
    reader.join();
    EXPECT_EQ(status, PipeAborted);
    EXPECT_LT(SteadyClock::now() - started, std::chrono::milliseconds(1000)); // the read had 6.9 s
    EXPECT_EQ(pipe->Receive(buffer.data(), 1, &count), PipeAborted);
}

TEST_F(SerialPipeTest, ZeroLengthTransfersAndClosedPipes) {
    auto pipe = MakePipe(pty_.SlavePath());
    uint8_t byte = 0;
    uint32_t count = 5;
    EXPECT_EQ(pipe->Receive(&byte, 0, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(pipe->Send(&byte, 0, &count), 0);
    // A transfer on a closed pipe reaches the port, which has no descriptor.
    EXPECT_EQ(pipe->Receive(&byte, 1, &count), EBADF);
    EXPECT_EQ(pipe->Send(&byte, 1, &count), EBADF);
}

TEST_F(SerialPipeTest, CloseRaisesPipeClosedOnlyWhenOpenAndFreesThePort) {
    auto pipe = MakePipe(pty_.SlavePath());
    pipe->Close();
    EXPECT_TRUE(events_.empty());
    pipe->Start();
    EXPECT_EQ(pipe->Close(), 0);
    pipe->Close();
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].event, PipeClosed);
    EXPECT_FALSE(IsOpen(*pipe));

    auto next = MakePipe(pty_.SlavePath());
    next->Start();
    EXPECT_TRUE(IsOpen(*next));
    next.reset(); // the destructor closes without an event
    EXPECT_EQ(events_.size(), 3u);
}

} // namespace
} // namespace ostervane
