// SerialPort on a pseudo-terminal: exclusive open, line settings, and the read and write
// time-out rules, run on a scripted clock so that no test waits for real.
#include "ostervane/platform/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <map>

#include <gtest/gtest.h>
#include <termios.h>

#include "pty_test_support.h"

namespace ostervane {
namespace {

using Millis = PortClock::Millis;
using testing::PtyPair;

// Fake time that jumps over every wait; bytes scheduled for a moment reach the port's input when
// a wait passes that moment, and the wait ends there as poll would.
class ScriptedClock final : public PortClock {
public:
    explicit ScriptedClock(const PtyPair &pty) : pty_(pty) {}

    void At(int64_t ms, const std::string &bytes) { schedule_[Millis(ms)] += bytes; }
    Millis Now() override { return now_; }
    Millis LongestWait() const { return longestWait_; }

    int Poll(int fd, short events, Millis timeout, short *revents) override {
        longestWait_ = std::max(longestWait_, timeout);
        Millis until = now_ + timeout;
        if (!schedule_.empty() && schedule_.begin()->first <= until) {
            now_ = std::max(now_, schedule_.begin()->first);
            pty_.Send(schedule_.begin()->second);
            schedule_.erase(schedule_.begin());
        } else {
            now_ = until;
        }
        pollfd entry{fd, events, 0};
        int result = ::poll(&entry, 1, 0);
        *revents = entry.revents;
        return result;
    }

private:
    const PtyPair &pty_;
    std::map<Millis, std::string> schedule_;
    Millis now_{0};
    Millis longestWait_{0};
};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty_.SlavePath().empty());
        ASSERT_EQ(port_.Open(pty_.SlavePath()), 0);
        ASSERT_EQ(port_.ApplyLineSettings(57600), 0);
    }

    // Reads `count` bytes; returns what came and stores when the read ended.
    std::string ReadFor(size_t count, Millis *ended, const SerialPort::AbortCheck &abort = {}) {
        std::string buffer(count, '\0');
        size_t got = 99;
        status_ = port_.Read(reinterpret_cast<uint8_t *>(buffer.data()), count, &got, abort);
        *ended = clock_.Now();
        return buffer.substr(0, got);
    }

    PtyPair pty_;
    ScriptedClock clock_{pty_};
    SerialPort port_{clock_};
    int status_ = -1;
};

TEST_F(SerialPortTest, AppliesRawEightNoneOneWithHandshakeAtTheRate) {
    termios settings{};
    ASSERT_EQ(tcgetattr(port_.Fd(), &settings), 0);
    EXPECT_EQ(cfgetispeed(&settings), B57600);
    EXPECT_EQ(cfgetospeed(&settings), B57600);
    EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_NE(settings.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);

    ASSERT_EQ(port_.SetBaudRate(115200), 0);
    ASSERT_EQ(tcgetattr(port_.Fd(), &settings), 0);
    EXPECT_EQ(cfgetospeed(&settings), B115200);
    EXPECT_EQ(port_.SetBaudRate(12345), EINVAL);
}

TEST_F(SerialPortTest, SecondOpenIsBusyUntilTheFirstCloses) {
    SerialPort second;
    EXPECT_EQ(second.Open(pty_.SlavePath()), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    port_.Close();
    EXPECT_EQ(second.Open(pty_.SlavePath()), 0);
}

TEST(SerialPortOpen, MissingOrNonTerminalDevicesFail) {
    SerialPort port;
    EXPECT_EQ(port.Open("/dev/no-such-serial-port"), ENOENT);
    EXPECT_EQ(port.Open("/dev/null"), ENOTTY);
    EXPECT_FALSE(port.IsOpen());
    size_t count = 1;
    uint8_t byte = 0;
    EXPECT_EQ(port.Read(&byte, 1, &count), EBADF);
    EXPECT_EQ(count, 0u);
}

TEST_F(SerialPortTest, EmptyReadsTimeOutOnTheTotalLimitWithNothingRead) {
    Millis ended{};
    EXPECT_EQ(ReadFor(1, &ended), "");
    EXPECT_EQ(status_, 0);
    EXPECT_EQ(ended, Millis(600)); // 100 per byte + 500
    EXPECT_EQ(ReadFor(4, &ended), "");
    EXPECT_EQ(ended, Millis(600 + 900));
    EXPECT_LE(clock_.LongestWait(), SerialPort::kAbortSlice);
}

TEST_F(SerialPortTest, IntervalCountsFromTheLastByte) {
    clock_.At(0, "abc");
    clock_.At(80, "def");
    clock_.At(250, "ghi"); // 170 ms after the last byte: too late
    Millis ended{};
    EXPECT_EQ(ReadFor(10, &ended), "abcdef");
    EXPECT_EQ(ended, Millis(180));
    EXPECT_EQ(ReadFor(3, &ended), "ghi"); // returns as soon as every byte came
    EXPECT_EQ(ended, Millis(250));
}

TEST_F(SerialPortTest, TotalLimitCutsALateStart) {
    clock_.At(650, "a");
    clock_.At(740, "b"); // within the interval, but past 100 * 2 + 500
    Millis ended{};
    EXPECT_EQ(ReadFor(2, &ended), "a");
    EXPECT_EQ(ended, Millis(700));
}

TEST_F(SerialPortTest, InputPendingAtPurgeIsDiscarded) {
    pty_.Send("stale");
    EXPECT_EQ(port_.PurgeInput(), 0);
    clock_.At(100, "new");
    Millis ended{};
    EXPECT_EQ(ReadFor(3, &ended), "new");
}

TEST_F(SerialPortTest, AbortEndsAWaitWithinOneSlice) {
    Millis ended{};
    auto abortAfter120 = [this] { return clock_.Now() >= Millis(120); };
    EXPECT_EQ(ReadFor(1, &ended, abortAfter120), "");
    EXPECT_EQ(status_, ECANCELED);
    EXPECT_LE(ended, Millis(120) + SerialPort::kAbortSlice);
}

TEST_F(SerialPortTest, WriteDeliversBytesAndStopsAtItsTotalLimit) {
    const uint8_t hello[] = {'h', 'i'};
    size_t sent = 0;
    ASSERT_EQ(port_.Write(hello, 2, &sent), 0);
    EXPECT_EQ(sent, 2u);
    EXPECT_EQ(pty_.Take(2), "hi");

    // Nobody drains the far end, so the line fills and the write gives up after per byte * n +
    // constant (a small per-byte figure keeps the scripted waits few).
    PortTimeouts timeouts;
    timeouts.writePerByte = 1;
    port_.SetTimeouts(timeouts);
    std::vector<uint8_t> flood(1 << 18, 0x55);
    ASSERT_EQ(port_.Write(flood.data(), flood.size(), &sent), 0);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, flood.size());
    EXPECT_EQ(clock_.Now(), Millis(static_cast<int64_t>(flood.size()) + 100));
}

TEST_F(SerialPortTest, HungUpLineIsAnErrorNotATimeOut) {
    pty_.CloseMaster();
    Millis ended{};
    ReadFor(1, &ended);
    EXPECT_EQ(status_, EIO);
}

} // namespace
} // namespace ostervane
