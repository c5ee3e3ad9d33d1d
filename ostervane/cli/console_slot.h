// A device slot on the console: status texts as lines on the output, the progress bar as one
// redrawn line on a terminal (plain progress lines otherwise), and log lines into the run log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "ostervane/core/device_slot.h"
#include "ostervane/core/run_log.h"

namespace ostervane {

// "[#####...............]  25%  1024/4096 KiB  10.0 KiB/s  5:07 left": the share done, the
// bytes, the rate so far and the time left at that rate ("--:--" before there is a rate).
// With `withBar` false the bar is left out.
std::string FormatProgress(uint64_t doneBytes, uint64_t totalBytes, double seconds, bool withBar);

class ConsoleSlot final : public DeviceSlot {
public:
    using Seconds = std::function<double()>;

    // `interactive`: the output is a terminal, so the bar is redrawn in place.  `log` may be
    // null (log lines are dropped).
    ConsoleSlot(std::FILE *out, bool interactive, RunLog *log, Seconds clock = SteadySeconds());

    void SetStatus(const std::string &text) override;
    void SetLabel(const std::string &text) override { label_ = text; }
    void ShowLabelAndStatus() override {}
    void StartProgress(uint16_t blocks) override;
    void StepProgress() override;
    void EndProgress() override;
    void CloseWindow() override {}
    void WriteLogLine(const std::string &text) override;

    // Ends a progress line still on the screen, so that what follows starts on a line of its own.
    void FinishLine();

    const std::string &Status() const { return status_; }
    const std::string &Label() const { return label_; }

    static Seconds SteadySeconds();

private:
    void DrawProgress(bool force);

    std::FILE *out_;
    bool interactive_;
    RunLog *log_;
    Seconds clock_;
    std::string status_;
    std::string label_;
    uint32_t blocks_ = 0;
    uint32_t steps_ = 0;
    double startedAt_ = 0;
    double drawnAt_ = -1;
    int reportedTenths_ = 0;
    bool lineOpen_ = false;
};

} // namespace ostervane
