// The run log: appended lines with the locale's short date and time, one writer at a time.
#include "ostervane/core/run_log.h"

namespace ostervane {

namespace {

constexpr size_t kDateTimeBufferSize = 100;

// strftime gives 0 for a text that does not fit its buffer; such a part is left empty.
std::string FormatLocal(const std::tm &local, const char *format) {
    char buffer[kDateTimeBufferSize];
    size_t len = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, len);
}

} // namespace

RunLog::RunLog(Clock clock) : clock_(std::move(clock)) {}

RunLog::~RunLog() {
    Close();
}

bool RunLog::Open(const std::string &path) {
    Close();
    file_ = std::fopen(path.c_str(), "a+");
    return file_ != nullptr;
}

void RunLog::Close() {
    lock_.acquire();
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    lock_.release();
}

std::string RunLog::FormatLine(std::time_t when, const std::string &text) {
    std::tm local{};
    localtime_r(&when, &local);
    return FormatLocal(local, "%x") + "  " + FormatLocal(local, "%X") + ":  " + text + "\n";
}

void RunLog::WriteLogLine(const std::string &text) {
    std::string line = FormatLine(clock_(), text);
    lock_.acquire();
    if (file_ != nullptr) {
        std::fputs(line.c_str(), file_);
        std::fflush(file_);
    }
    lock_.release();
}

} // namespace ostervane
