// A pseudo-terminal for serial tests: the test holds the master end and plays the far side of
// the line; the slave's path is opened as a serial port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace ostervane::testing {

class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slavePath_ = ptsname(master_);
        }
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const std::string &SlavePath() const { return slavePath_; }
    int Master() const { return master_; }
    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

    void Send(const std::string &bytes) const {
        (void)!::write(master_, bytes.data(), bytes.size());
    }

    // What the port wrote, waiting up to `timeoutMs` for `count` bytes.
    std::string Take(size_t count, int timeoutMs = 1000) const {
        std::string taken;
        while (taken.size() < count) {
            pollfd entry{master_, POLLIN, 0};
            if (::poll(&entry, 1, timeoutMs) <= 0) {
                break;
            }
            char chunk[4096];
            ssize_t got = ::read(master_, chunk, sizeof chunk);
            if (got <= 0) {
                break;
            }
            taken.append(chunk, static_cast<size_t>(got));
        }
        return taken;
    }

private:
    int master_ = -1;
    std::string slavePath_;
};

} // namespace ostervane::testing
