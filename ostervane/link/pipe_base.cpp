// PipeBase: event dispatch and the guard sequence shared by every pipe's transfers.
#include "ostervane/link/pipe_base.h"

namespace ostervane {

PipeBase::PipeBase(PipeEventHandler handler, void *context)
    : eventHandler_(handler), eventContext_(context) {}

int32_t PipeBase::Notify(uint32_t event, const void *data, uint32_t extra) {
    if (eventHandler_ == nullptr) {
        return PipeNoHandler;
    }
    return eventHandler_(event, data, extra, eventContext_);
}

void PipeBase::SetEventHandler(PipeEventHandler handler, void *context) {
    eventHandler_ = handler;
    eventContext_ = context;
}

int32_t PipeBase::IsOpen(bool *open) {
    *open = (flags_.load() & kOpenFlag) != 0;
    return 0;
}

void PipeBase::SetOpenFlag(bool open) {
    if (open) {
        flags_.fetch_or(kOpenFlag);
    } else {
        flags_.fetch_and(~kOpenFlag);
    }
}

void PipeBase::Abort() {
    abortFlag_.store(1);
}

template <typename Transfer>
int32_t PipeBase::Guarded(uint32_t count, uint32_t *transferred, Transfer transfer) {
    *transferred = 0;
    if (busyCount_ > 0) {
        return PipeBusy;
    }
    if (abortFlag_.load() != 0) {
        return PipeAborted;
    }
    // A zero handle, not the closed value: a closed pipe reaches the channel and fails there.
    if (readHandle_ == 0 || writeHandle_ == 0) {
        return PipeNotOpen;
    }
    if (count == 0) {
        return 0;
    }
    ++busyCount_;
    int32_t status = transfer();
    --busyCount_;
    return status;
}

int32_t PipeBase::Receive(uint8_t *buffer, uint32_t count, uint32_t *received) {
    return Guarded(count, received, [&] { return ReceiveBytes(buffer, count, received); });
}

int32_t PipeBase::Send(const uint8_t *buffer, uint32_t count, uint32_t *sent) {
    return Guarded(count, sent, [&] { return SendBytes(buffer, count, sent); });
}

} // namespace ostervane
