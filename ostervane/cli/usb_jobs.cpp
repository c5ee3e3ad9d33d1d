// RunUsbJobs: the slots and jobs of a USB command, the notifier's queue drained on the calling
// thread, and the count of jobs whose threads have ended.
#include "ostervane/cli/usb_jobs.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ostervane/cli/console_slot.h"
#include "ostervane/core/slot_event.h"
#include "ostervane/link/usb_notifier.h"

namespace ostervane::cli {
namespace {

constexpr uint64_t kBlockBytes = 4096;
constexpr auto kStopPoll = std::chrono::milliseconds(100);

// Runs the calls given to it when the thread that made them ends.
class ThreadExitCalls {
public:
    static void Add(std::function<void()> call) { Calls().calls_.push_back(std::move(call)); }

    ~ThreadExitCalls() {
        for (auto &call : calls_) {
            call();
        }
    }

private:
    static ThreadExitCalls &Calls() {
        thread_local ThreadExitCalls calls;
        return calls;
    }
    std::vector<std::function<void()>> calls_;
};

// One of several slots on the console: every line starts with the slot's name, and progress
// is a plain line at the start and at every further tenth.
class NamedConsoleSlot final : public DeviceSlot {
public:
    NamedConsoleSlot(std::string name, std::FILE *out, RunLog *log)
        : name_(std::move(name)), out_(out), log_(log), clock_(ConsoleSlot::SteadySeconds()) {}

    void SetStatus(const std::string &text) override { Line(text); }
    void SetLabel(const std::string &) override {}
    void ShowLabelAndStatus() override {}
    void StartProgress(uint16_t blocks) override {
        blocks_ = blocks;
        steps_ = 0;
        reportedTenths_ = 0;
        startedAt_ = clock_();
        Line(Progress());
    }
    void StepProgress() override {
        ++steps_;
        int tenths = blocks_ == 0 ? 10 : static_cast<int>(uint64_t(steps_) * 10 / blocks_);
        if (tenths > reportedTenths_) {
            reportedTenths_ = tenths;
            Line(Progress());
        }
    }
    void EndProgress() override { blocks_ = steps_ = 0; }
    void CloseWindow() override {}
    void WriteLogLine(const std::string &text) override {
        if (log_ != nullptr) {
            log_->WriteLogLine(text);
        }
        Line(text);
    }

private:
    std::string Progress() const {
        uint64_t total = uint64_t(blocks_) * kBlockBytes;
        uint64_t done = uint64_t(std::min(steps_, blocks_)) * kBlockBytes;
        return FormatProgress(done, total, clock_() - startedAt_, false);
    }
    void Line(const std::string &text) {
        std::fprintf(out_, "%s: %s\n", name_.c_str(), text.c_str());
        std::fflush(out_);
    }

    std::string name_;
    std::FILE *out_;
    RunLog *log_;
    ConsoleSlot::Seconds clock_;
    uint32_t blocks_ = 0;
    uint32_t steps_ = 0;
    int reportedTenths_ = 0;
    double startedAt_ = 0;
};

class UsbJobRunner {
public:
    UsbJobRunner(UsbPortLibrary &library, const JobSettings &settings, int slots,
                 const UsbConsole &console)
        : console_(console), jobsWanted_(slots), notifier_(library) {
        notifier_.SetWakeUp([this] { Wake(); });
        for (int i = 0; i < slots; ++i) {
            AddSlot(settings, i, slots);
        }
    }

    JobTurn::Outcome Run() {
        bool stopped = WaitForJobs();
        for (auto &slot : slots_) {
            slot->job->RequestStop();
            slot->job->JoinJobThread();
        }
        if (singleSlot_ != nullptr) {
            singleSlot_->FinishLine();
        }
        if (stopped) {
            return JobTurn::Outcome::Stopped;
        }
        return failed_ ? JobTurn::Outcome::Failed : JobTurn::Outcome::Succeeded;
    }

private:
    struct Slot {
        std::unique_ptr<DeviceSlot> display;
        std::unique_ptr<DebugPacket> job; // after the display, which it reports to
    };

    void AddSlot(const JobSettings &settings, int index, int slots) {
        auto slot = std::make_unique<Slot>();
        if (slots == 1) {
            auto display =
                std::make_unique<ConsoleSlot>(console_.out, console_.interactive, console_.log);
            singleSlot_ = display.get();
            slot->display = std::move(display);
        } else {
            slot->display = std::make_unique<NamedConsoleSlot>("USB " + std::to_string(index + 1),
                                                               console_.out, console_.log);
        }
        JobSettings own = settings;
        own.slot = slot->display.get();
        own.slotCallback = [this](uint32_t code, const void *data, DeviceSlot *target) {
            OnSlotEvent(code, data, target);
        };
        slot->job = std::make_unique<DebugPacket>(std::move(own));
        USBPipe *pipe = notifier_.CreateUsbPipe(static_cast<uint32_t>(index), 0,
                                                &DebugPacket::HandlePipeEvent, slot->job.get());
        DebugPacket *job = slot->job.get();
        // A handheld plugged back while its old job unwinds is opened only after that job.
        pipe->SetWaitForTurnEnd([job] { job->JoinJobThread(); });
        job->AttachPipe(pipe);
        slots_.push_back(std::move(slot));
    }

    // Returns true when a stop was asked for before the jobs were done.
    bool WaitForJobs() {
        for (;;) {
            if (console_.stopRequested && console_.stopRequested()) {
                std::lock_guard<std::mutex> hold(mutex_);
                done_ = true;
                return true;
            }
            notifier_.DeliverPending();
            std::unique_lock<std::mutex> hold(mutex_);
            if (jobsEnded_ >= jobsWanted_) {
                done_ = true;
                return false;
            }
            wakeUp_.wait_for(hold, kStopPoll,
                             [this] { return woken_ || jobsEnded_ >= jobsWanted_; });
            woken_ = false;
        }
    }

    void Wake() {
        std::lock_guard<std::mutex> hold(mutex_);
        woken_ = true;
        wakeUp_.notify_all();
    }

    // Events from a job's own thread mark that thread, so that its end counts as a job done.
    // Once the jobs are done, later events are dropped and the slots keep the jobs' last words.
    void OnSlotEvent(uint32_t code, const void *data, DeviceSlot *target) {
        WatchJobThread();
        std::lock_guard<std::mutex> hold(mutex_);
        if (done_ || target == nullptr) {
            return;
        }
        uint32_t event = code & 0xFFFF;
        if (event == EvJobFailed || event == EvPortBusy) {
            failed_ = true;
        }
        ApplySlotEvent(code, data, *target);
    }

    void WatchJobThread() {
        thread_local bool watched = false;
        if (watched || std::this_thread::get_id() == ownerThread_) {
            return;
        }
        watched = true;
        ThreadExitCalls::Add([this] { JobThreadEnded(); });
    }

    void JobThreadEnded() {
        std::lock_guard<std::mutex> hold(mutex_);
        ++jobsEnded_;
        wakeUp_.notify_all();
    }

    UsbConsole console_;
    const int jobsWanted_;
    const std::thread::id ownerThread_ = std::this_thread::get_id();
    std::mutex mutex_; // the counts, and the slots' output one event at a time
    std::condition_variable wakeUp_;
    bool woken_ = false;
    bool done_ = false;
    bool failed_ = false;
    int jobsEnded_ = 0;
    UsbNotifier notifier_;
    ConsoleSlot *singleSlot_ = nullptr;
    std::vector<std::unique_ptr<Slot>> slots_; // after the notifier: jobs end before their pipes
};

} // namespace

JobTurn::Outcome RunUsbJobs(UsbPortLibrary &library, const JobSettings &settings, int slots,
                            const UsbConsole &console) {
    UsbJobRunner runner(library, settings, std::clamp(slots, 1, kMaxUsbSlots), console);
    return runner.Run();
}

} // namespace ostervane::cli
