// PtyTransport: a pseudo-terminal master serving a simulated handheld.
#include "simulator/pty_transport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ostervane::simulator {

namespace {

constexpr SimTime kMaxPoll = std::chrono::milliseconds(50);
constexpr auto kHungUpNap = std::chrono::milliseconds(20);

std::string Reason(const char *what) {
    return std::string(what) + ": " + std::strerror(errno);
}

timespec PollTimeout(SimTime wait) {
    wait = std::clamp(wait, SimTime(0), kMaxPoll);
    return {static_cast<time_t>(wait.count() / 1'000'000'000),
            static_cast<long>(wait.count() % 1'000'000'000)};
}

} // namespace

PtyTransport::PtyTransport(HandheldDebugger &handheld, PtyOptions options)
    : handheld_(handheld), options_(options) {}

PtyTransport::~PtyTransport() {
    if (master_ >= 0) {
        close(master_);
    }
}

bool PtyTransport::Open(std::string *error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) {
        *error = Reason("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = Reason("grantpt/unlockpt");
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        *error = Reason("ptsname_r");
        return false;
    }
    slavePath_ = name;
    // The line settings live with the terminal, so raw mode set here stays for the host.  Once
    // this descriptor closes, the master reports a hang-up until a host opens the slave.
    int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        *error = Reason("open slave");
        return false;
    }
    termios settings{};
    bool raw = tcgetattr(slave, &settings) == 0;
    if (raw) {
        cfmakeraw(&settings);
        raw = tcsetattr(slave, TCSANOW, &settings) == 0;
    }
    if (!raw) {
        *error = Reason("raw mode");
    }
    close(slave);
    return raw;
}

bool PtyTransport::HostConnected() const {
    pollfd p{master_, 0, 0};
    return poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) == 0;
}

void PtyTransport::ScheduleHandheldOutput() {
    for (Transmission &t : handheld_.TakeOutput()) {
        SimTime start = std::max({t.notBefore, lineFree_ + t.gap, clock_.Now()});
        for (size_t i = 0; i < t.bytes.size(); ++i) {
            outgoing_.push_back({t.bytes[i], start + WireTime(i + 1, options_.baud)});
        }
        lineFree_ = start + WireTime(t.bytes.size(), options_.baud);
    }
}

void PtyTransport::WriteDueBytes(SimTime now) {
    std::vector<uint8_t> due;
    for (const ScheduledByte &byte : outgoing_) {
        if (byte.due > now) {
            break;
        }
        due.push_back(byte.value);
    }
    if (due.empty()) {
        return;
    }
    ssize_t written = write(master_, due.data(), due.size());
    if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
        return; // the terminal is full: the bytes wait, as they would in a UART's buffer
    }
    // Bytes the terminal refuses (no host) are lost, as on a line nobody listens to.
    size_t gone = written < 0 ? due.size() : static_cast<size_t>(written);
    outgoing_.erase(outgoing_.begin(), outgoing_.begin() + static_cast<ptrdiff_t>(gone));
}

void PtyTransport::ReadHostBytes() {
    uint8_t buffer[4096];
    for (;;) {
        ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        handheld_.Receive(buffer, static_cast<size_t>(n), clock_.Now());
    }
}

void PtyTransport::DropDueBytes(SimTime now) {
    while (!outgoing_.empty() && outgoing_.front().due <= now) {
        outgoing_.pop_front();
    }
}

void PtyTransport::Run(const std::atomic<bool> &stop) {
    bool connected = false;
    while (!stop.load()) {
        bool nowConnected = HostConnected();
        if (nowConnected && !connected && options_.announceOnConnect) {
            handheld_.Announce(clock_.Now() + options_.announceDelay);
        }
        connected = nowConnected;
        ScheduleHandheldOutput();
        if (!connected) {
            // Nobody listens: what the handheld sends now is lost.  A hung-up master polls
            // ready at once, so nap instead of polling.
            DropDueBytes(clock_.Now());
            std::this_thread::sleep_for(kHungUpNap);
            continue;
        }
        SimTime now = clock_.Now();
        WriteDueBytes(now);
        // Bytes still due after a write wait for room in the terminal; otherwise sleep until
        // the next byte is due or the host writes.
        bool waitingForRoom = !outgoing_.empty() && outgoing_.front().due <= now;
        SimTime wait = outgoing_.empty() || waitingForRoom ? kMaxPoll : outgoing_.front().due - now;
        pollfd p{master_, static_cast<short>(POLLIN | (waitingForRoom ? POLLOUT : 0)), 0};
        timespec timeout = PollTimeout(wait);
        if (ppoll(&p, 1, &timeout, nullptr) > 0 && (p.revents & POLLIN) != 0) {
            ReadHostBytes();
        }
    }
}

} // namespace ostervane::simulator
