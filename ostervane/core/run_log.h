// The run log "Keelstone.log": opened "a+" so earlier runs' lines stay, one line per call in the
// form "<date>  <time>:  <text>" with the locale's short date and time, flushed after every line,
// and serialised by a lock of count 1 so lines from several jobs never interleave.
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <semaphore>
#include <string>

namespace ostervane {

inline constexpr const char *kLogFileName = "Keelstone.log";

class RunLog {
public:
    using Clock = std::function<std::time_t()>;

    explicit RunLog(Clock clock = [] { return std::time(nullptr); });
    ~RunLog();
    RunLog(const RunLog &) = delete;
    RunLog &operator=(const RunLog &) = delete;

    // Opens (creating if needed) the file for appending; false when it cannot be opened, after
    // which every line is dropped.
    bool Open(const std::string &path);
    bool IsOpen() const { return file_ != nullptr; }
    void Close();

    // Writes one line under the lock; a line that cannot be written is lost without a message.
    void WriteLogLine(const std::string &text);

    // The line as written, with its line feed: "%s  %s:  %s\n".
    static std::string FormatLine(std::time_t when, const std::string &text);

private:
    Clock clock_;
    std::binary_semaphore lock_{1};
    std::FILE *file_ = nullptr;
};

} // namespace ostervane
