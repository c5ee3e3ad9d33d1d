// The console slot: status lines, the progress bar and its figures, log lines.
#include "ostervane/cli/console_slot.h"

#include <algorithm>
#include <chrono>

namespace ostervane {
namespace {

constexpr uint64_t kBlockBytes = 4096;
constexpr int kBarWidth = 20;
constexpr double kRedrawSeconds = 0.1;

std::string FormatDuration(double seconds) {
    auto total = static_cast<uint64_t>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                      static_cast<unsigned long long>(total / 3600),
                      static_cast<unsigned long long>(total / 60 % 60),
                      static_cast<unsigned long long>(total % 60));
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(total / 60),
                      static_cast<unsigned long long>(total % 60));
    }
    return text;
}

} // namespace

std::string FormatProgress(uint64_t doneBytes, uint64_t totalBytes, double seconds, bool withBar) {
    doneBytes = std::min(doneBytes, totalBytes);
    int percent = totalBytes == 0 ? 100 : static_cast<int>(doneBytes * 100 / totalBytes);
    std::string line;
    if (withBar) {
        int filled = percent * kBarWidth / 100;
        line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]  ";
    }
    char figures[96];
    std::snprintf(figures, sizeof figures, "%3d%%  %llu/%llu KiB", percent,
                  static_cast<unsigned long long>(doneBytes / 1024),
                  static_cast<unsigned long long>(totalBytes / 1024));
    line += figures;
    double rate = seconds > 0 ? doneBytes / seconds : 0; // bytes per second
    if (rate > 0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, "  %.1f KiB/s  ", rate / 1024);
        line += speed + FormatDuration((totalBytes - doneBytes) / rate) + " left";
    } else {
        line += "  --.- KiB/s  --:-- left";
    }
    return line;
}

ConsoleSlot::ConsoleSlot(std::FILE *out, bool interactive, RunLog *log, Seconds clock)
    : out_(out), interactive_(interactive), log_(log), clock_(std::move(clock)) {}

ConsoleSlot::Seconds ConsoleSlot::SteadySeconds() {
    return [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

void ConsoleSlot::SetStatus(const std::string &text) {
    status_ = text;
    FinishLine();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void ConsoleSlot::StartProgress(uint16_t blocks) {
    FinishLine();
    blocks_ = blocks;
    steps_ = 0;
    startedAt_ = clock_();
    drawnAt_ = -1;
    reportedTenths_ = 0;
    DrawProgress(true);
}

void ConsoleSlot::StepProgress() {
    ++steps_;
    DrawProgress(steps_ >= blocks_);
}

void ConsoleSlot::EndProgress() {
    FinishLine();
    steps_ = 0;
    blocks_ = 0;
}

// The run log's lines are shown too: on a console they are how the user learns that a backup
// went on where it stopped, or that its ROM checksum holds.
void ConsoleSlot::WriteLogLine(const std::string &text) {
    if (log_ != nullptr) {
        log_->WriteLogLine(text);
    }
    FinishLine();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void ConsoleSlot::FinishLine() {
    if (lineOpen_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        lineOpen_ = false;
    }
}

// On a terminal the line is redrawn at most every kRedrawSeconds (and at the end); elsewhere a
// plain line goes out at the start and at every further tenth of the transfer.
void ConsoleSlot::DrawProgress(bool force) {
    double now = clock_();
    uint64_t total = uint64_t(blocks_) * kBlockBytes;
    uint64_t done = uint64_t(std::min(steps_, blocks_)) * kBlockBytes;
    if (interactive_) {
        if (!force && drawnAt_ >= 0 && now - drawnAt_ < kRedrawSeconds) {
            return;
        }
        std::fprintf(out_, "\r%s\x1b[K",
                     FormatProgress(done, total, now - startedAt_, true).c_str());
        lineOpen_ = true;
    } else {
        int tenths = blocks_ == 0 ? 10 : static_cast<int>(uint64_t(steps_) * 10 / blocks_);
        if (steps_ != 0 && tenths <= reportedTenths_) {
            return;
        }
        reportedTenths_ = tenths;
        std::fprintf(out_, "%s\n", FormatProgress(done, total, now - startedAt_, false).c_str());
    }
    drawnAt_ = now;
    std::fflush(out_);
}

} // namespace ostervane
