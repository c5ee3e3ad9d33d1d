// The job of DebugPacket: construction, the pipe's events, the job thread with its turns, the
// whole job's common steps, and reporting to the slot.
#include <cstdio>

#include "ostervane/core/slot_event.h"
#include "ostervane/link/debug_packet.h"

namespace ostervane {

namespace {
constexpr size_t kLogLineSize = 100;
}

DebugPacket::DebugPacket(JobSettings settings) : settings_(std::move(settings)) {}

DebugPacket::~DebugPacket() {
    RequestStop();
    JoinJobThread();
}

void DebugPacket::AttachPipe(PipeBase *pipe) {
    pipe_ = pipe;
    pipe_->SetEventHandler(&DebugPacket::HandlePipeEvent, this);
    pipeName_ = pipe_->GetName();
    Report(EvSlotWaiting, pipeName_.c_str());
}

int32_t DebugPacket::HandlePipeEvent(uint32_t event, const void *data, uint32_t, void *context) {
    auto *job = static_cast<DebugPacket *>(context);
    switch (event) {
    case PipeOpened:
        job->StartJobThread();
        break;
    case PipeClosed:
        job->EndTurnOnClose();
        break;
    case PipeError:
        job->Report(data ? *static_cast<const uint16_t *>(data) : 0);
        break;
    default:
        break;
    }
    return 0;
}

void DebugPacket::RequestStop() {
    stopRequested_.store(true);
    if (pipe_ != nullptr) {
        pipe_->Abort();
    }
}

void DebugPacket::JoinJobThread() {
    if (jobThread_.joinable() && jobThread_.get_id() != std::this_thread::get_id()) {
        jobThread_.join();
    }
}

void DebugPacket::StartJobThread() {
    if (StopRequested()) {
        return;
    }
    JoinJobThread(); // a hot-plug job's earlier run has ended by now
    {
        std::lock_guard lock(turnMutex_);
        jobRunning_ = true;
    }
    jobThread_ = std::thread(&DebugPacket::JobThreadMain, this);
}

void DebugPacket::JobThreadMain() {
    RunTurns();
    bool endTurn = false;
    {
        std::lock_guard lock(turnMutex_);
        jobRunning_ = false;
        endTurn = turnEndedWhileRunning_;
        turnEndedWhileRunning_ = false;
    }
    if (endTurn && !StopRequested()) {
        EndTurn();
    }
}

// A serial pipe runs job after job for as long as the window lives; a hot-plug pipe runs one
// job per arrival and ends its turn when the handheld leaves.
void DebugPacket::RunTurns() {
    do {
        int32_t status = RunJob();
        if (StopRequested()) {
            return;
        }
        if (status != 0) {
            char text[48];
            std::snprintf(text, sizeof text, "Failed with error number %X",
                          static_cast<uint32_t>(status));
            LogLine(text);
            Report(EvJobFailed, &status);
        }
        if (pipe_->IsHotPlug()) {
            return;
        }
        EndTurn();
    } while (!StopRequested());
}

void DebugPacket::EndTurnOnClose() {
    {
        std::lock_guard lock(turnMutex_);
        if (jobRunning_) {
            turnEndedWhileRunning_ = true;
            return;
        }
    }
    EndTurn();
}

void DebugPacket::EndTurn() {
    if (settings_.isBackup) {
        Report(EvCloseWindow);
    } else {
        Report(EvSlotWaiting, pipeName_.c_str());
    }
}

int32_t DebugPacket::RunJob() {
    if (int32_t status = WaitForDevice(); status != 0) {
        return status;
    }
    Report(EvDeviceFound);
    if (int32_t status = ProbeHeaders(); status != 0) {
        return status;
    }
    // A restore runs the closing steps itself, also after a failed flash; a backup only after
    // it succeeded.
    return settings_.isBackup ? RunBackupAndResume() : RunRestore();
}

int32_t DebugPacket::RunBackupAndResume() {
    if (int32_t status = RunBackup(); status != 0) {
        return status;
    }
    RunClosingSteps();
    return 0;
}

void DebugPacket::RunClosingSteps() {
    if (!rom_.isArm) {
        Report(EvResetting);
    }
    Resume(rom_.resetAddress);
}

void DebugPacket::LogLine(const std::string &text) {
    char line[kLogLineSize];
    std::snprintf(line, sizeof line, "%s: %s", pipeName_.c_str(), text.c_str());
    Report(EvLogText, line);
}

void DebugPacket::Report(uint32_t code, const void *data) {
    if (settings_.slotCallback) {
        settings_.slotCallback(code, data, settings_.slot);
    }
}

PromptAnswer DebugPacket::Ask(const std::string &caption, const std::string &text) {
    if (settings_.prompter == nullptr) {
        return PromptAnswer::Ok;
    }
    return settings_.prompter->Ask(caption, text, PromptButtons::Ok, PromptIcon::None);
}

} // namespace ostervane
