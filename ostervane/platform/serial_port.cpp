// A serial line on a tty device with termios, flock and poll: exclusive open, line settings,
// and transfers bounded by the port's time-outs.
#include "ostervane/platform/serial_port.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace ostervane {
namespace {

using Millis = PortClock::Millis;

constexpr tcflag_t kDataFormatBits = CSIZE | PARENB | CSTOPB;
constexpr tcflag_t kSoftwareFlowBits = IXON | IXOFF | IXANY;

speed_t SpeedCode(uint32_t baudRate) {
    switch (baudRate) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return 0;
    }
}

// Unix98 pseudo-terminal slaves; they take the handshake setting but have no lines to drive.
bool IsPseudoTerminal(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    unsigned int deviceMajor = major(info.st_rdev);
    return deviceMajor >= 136 && deviceMajor <= 143;
}

// A transfer handle of 0 reads as "not open" to the pipes, so keep the port off the standard
// descriptors even when the program was started with some of them closed.
int MoveAboveStandardStreams(int fd) {
    if (fd > STDERR_FILENO) {
        return fd;
    }
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

int ClaimExclusively(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? EBUSY : errno;
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        return errno;
    }
    return 0;
}

} // namespace

SerialPort::SerialPort(PortClock &clock) : clock_(clock) {}

SerialPort::~SerialPort() {
    Close();
}

int SerialPort::Open(const std::string &path) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        fd = MoveAboveStandardStreams(fd);
    }
    if (fd < 0) {
        return errno;
    }
    if (int error = ClaimExclusively(fd); error != 0) {
        ::close(fd);
        return error;
    }
    fd_ = fd;
    return 0;
}

void SerialPort::Close() {
    if (fd_ < 0) {
        return;
    }
    ioctl(fd_, TIOCNXCL);
    ::close(fd_); // also drops the flock
    fd_ = -1;
}

int SerialPort::PurgeInput() {
    return tcflush(fd_, TCIFLUSH) == 0 ? 0 : errno;
}

int SerialPort::ApplyLineSettings(uint32_t baudRate) {
    speed_t speed = SpeedCode(baudRate);
    termios settings{};
    if (speed == 0) {
        return EINVAL;
    }
    if (tcgetattr(fd_, &settings) != 0) {
        return errno;
    }
    cfmakeraw(&settings);
    settings.c_cflag &= ~kDataFormatBits;
    settings.c_cflag |= CS8 | CRTSCTS | CLOCAL | CREAD;
    settings.c_iflag &= ~kSoftwareFlowBits;
    // With the descriptor non-blocking, VMIN 1 makes a read without data fail with EAGAIN, so
    // that a read returning 0 can only mean a hung-up line; poll and deadlines do the waiting.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) {
        return errno;
    }
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) {
        return errno;
    }
    return CheckLineSettings(baudRate);
}

// tcsetattr succeeds when any part of the change was taken, so read back what holds now.
int SerialPort::CheckLineSettings(uint32_t baudRate) {
    termios now{};
    if (tcgetattr(fd_, &now) != 0) {
        return errno;
    }
    speed_t speed = SpeedCode(baudRate);
    bool formatHolds =
        (now.c_cflag & kDataFormatBits) == CS8 && (now.c_iflag & kSoftwareFlowBits) == 0;
    bool speedHolds = cfgetispeed(&now) == speed && cfgetospeed(&now) == speed;
    bool handshakeHolds = (now.c_cflag & CRTSCTS) != 0 || IsPseudoTerminal(fd_);
    return formatHolds && speedHolds && handshakeHolds ? 0 : EINVAL;
}

int SerialPort::SetBaudRate(uint32_t baudRate) {
    speed_t speed = SpeedCode(baudRate);
    termios settings{};
    if (speed == 0) {
        return EINVAL;
    }
    if (tcgetattr(fd_, &settings) != 0) {
        return errno;
    }
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0 ||
        tcsetattr(fd_, TCSANOW, &settings) != 0) {
        return errno;
    }
    return 0;
}

// Waits one slice of at most kAbortSlice for the port; readiness is left for the caller's
// next read or write to find out (which also reports a hung-up line as its error).
int SerialPort::WaitReady(short events, Millis left, const AbortCheck &aborted) {
    if (aborted && aborted()) {
        return ECANCELED;
    }
    short revents = 0;
    if (clock_.Poll(fd_, events, std::min(left, kAbortSlice), &revents) < 0 && errno != EINTR) {
        return errno;
    }
    return (revents & POLLNVAL) != 0 ? EBADF : 0;
}

int SerialPort::Read(uint8_t *buffer, size_t count, size_t *received, const AbortCheck &aborted) {
    *received = 0;
    if (fd_ < 0) {
        return EBADF;
    }
    const Millis totalEnd =
        clock_.Now() +
        Millis(timeouts_.readPerByte * static_cast<int64_t>(count) + timeouts_.readConstant);
    Millis intervalEnd = Millis::max();
    while (*received < count) {
        ssize_t got = ::read(fd_, buffer + *received, count - *received);
        if (got > 0) {
            *received += static_cast<size_t>(got);
            intervalEnd = clock_.Now() + Millis(timeouts_.readInterval);
            continue;
        }
        if (got == 0) {
            return EIO; // end of file on a tty: the line hung up
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return errno;
        }
        Millis now = clock_.Now();
        Millis end = std::min(totalEnd, intervalEnd);
        if (now >= end) {
            break;
        }
        if (int error = WaitReady(POLLIN, end - now, aborted); error != 0) {
            return error;
        }
    }
    return 0;
}

int SerialPort::Write(const uint8_t *buffer, size_t count, size_t *sent,
                      const AbortCheck &aborted) {
    *sent = 0;
    if (fd_ < 0) {
        return EBADF;
    }
    const Millis totalEnd =
        clock_.Now() +
        Millis(timeouts_.writePerByte * static_cast<int64_t>(count) + timeouts_.writeConstant);
    while (*sent < count) {
        ssize_t put = ::write(fd_, buffer + *sent, count - *sent);
        if (put > 0) {
            *sent += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno != EAGAIN) {
            return errno;
        }
        Millis now = clock_.Now();
        if (now >= totalEnd) {
            break;
        }
        if (int error = WaitReady(POLLOUT, totalEnd - now, aborted); error != 0) {
            return error;
        }
    }
    return 0;
}

} // namespace ostervane
