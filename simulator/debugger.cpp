// The simulated handheld's debugger: request dispatch, memory access, Continue and re-entry.
#include "simulator/debugger.h"

#include <algorithm>
#include <utility>

#include "simulator/flash_behaviour.h"

namespace ostervane::simulator {

namespace {

// Unsolicited state packets answer no request; the host does not look at their id.
constexpr uint8_t kUnsolicitedTransactionId = 0;
constexpr size_t kInstructionWords = 15;
constexpr size_t kBreakpoints = 6;
constexpr size_t kMaxRequestLog = size_t{1} << 20;

void Put32(uint8_t *out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

uint32_t Get32(const uint8_t *in) {
    return uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 | in[3];
}

uint16_t Get16(const uint8_t *in) {
    return static_cast<uint16_t>(in[0] << 8 | in[1]);
}

} // namespace

void RegisterBlock::Encode(uint8_t *out) const {
    for (uint32_t value : d) {
        Put32(out, value);
        out += 4;
    }
    for (uint32_t value : a) {
        Put32(out, value);
        out += 4;
    }
    Put32(out, usp);
    Put32(out + 4, ssp);
    Put32(out + 8, pc);
    out[12] = static_cast<uint8_t>(sr >> 8);
    out[13] = static_cast<uint8_t>(sr);
}

RegisterBlock RegisterBlock::Decode(const uint8_t *in) {
    RegisterBlock r;
    for (uint32_t &value : r.d) {
        value = Get32(in);
        in += 4;
    }
    for (uint32_t &value : r.a) {
        value = Get32(in);
        in += 4;
    }
    r.usp = Get32(in);
    r.ssp = Get32(in + 4);
    r.pc = Get32(in + 8);
    r.sr = Get16(in + 12);
    return r;
}

HandheldDebugger::HandheldDebugger(HandheldMemory memory, const RegisterBlock &registers,
                                   HandheldOptions options)
    : memory_(std::move(memory)), startRegisters_(registers), registers_(registers),
      faults_(std::move(options.faults)), reenterAfter_(options.reenterAfter) {}

void HandheldDebugger::SetFaults(FaultPlan faults) {
    std::lock_guard lock(mutex_);
    faults_ = std::move(faults);
}

void HandheldDebugger::SetReenterAfter(std::optional<SimTime> after) {
    std::lock_guard lock(mutex_);
    reenterAfter_ = after;
}

void HandheldDebugger::SetCodeRunner(CodeRunner *runner) {
    std::lock_guard lock(mutex_);
    runner_ = runner;
}

void HandheldDebugger::SetRequestObserver(std::function<void(const RequestRecord &)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

bool HandheldDebugger::InDebugger(SimTime at) const {
    std::lock_guard lock(mutex_);
    return debuggerSince_ && at >= *debuggerSince_;
}

void HandheldDebugger::Announce(SimTime at) {
    std::lock_guard lock(mutex_);
    if (debuggerSince_ && at >= *debuggerSince_) {
        SendState(kUnsolicitedTransactionId, at, resetPending_, exception_);
    }
}

void HandheldDebugger::Receive(const uint8_t *data, size_t count, SimTime at) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < count; ++i) {
        if (std::optional<Packet> packet = reader_.Push(data[i])) {
            Dispatch(*packet, at);
        }
    }
    stats_.rejectedPackets = reader_.Rejected();
}

std::vector<Transmission> HandheldDebugger::TakeOutput() {
    std::lock_guard lock(mutex_);
    return std::exchange(output_, {});
}

DebuggerStats HandheldDebugger::Stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

std::vector<RequestRecord> HandheldDebugger::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::optional<ResumeRecord> HandheldDebugger::LastResume() const {
    std::lock_guard lock(mutex_);
    return lastResume_;
}

RegisterBlock HandheldDebugger::Registers() const {
    std::lock_guard lock(mutex_);
    return registers_;
}

void HandheldDebugger::Dispatch(const Packet &request, SimTime at) {
    ++stats_.requests;
    const std::vector<uint8_t> &body = request.body;
    RequestRecord record{at, request.Command(), request.transactionId, 0, 0};
    bool hasRange =
        body.size() >= 8 && (record.command == kCmdReadMemory || record.command == kCmdWriteMemory);
    if (hasRange) {
        record.address = Get32(&body[2]);
        record.count = Get16(&body[6]);
    }
    if (requests_.size() < kMaxRequestLog) {
        requests_.push_back(record);
    }
    if (observer_) {
        observer_(record);
    }
    if (!(debuggerSince_ && at >= *debuggerSince_)) {
        ++stats_.ignoredWhileRunning;
        return;
    }
    switch (record.command) {
    case kCmdStateRequest:
        ++stats_.stateRequests;
        SendState(request.transactionId, at, resetPending_, exception_);
        return;
    case kCmdReadMemory:
        if (hasRange && body.size() == 8 && record.count <= kMaxMemoryChunk) {
            AnswerRead(request, record.address, record.count, at);
            return;
        }
        break;
    case kCmdWriteMemory:
        if (hasRange && body.size() == 8u + record.count && record.count <= kMaxMemoryChunk) {
            AnswerWrite(request, record.address, record.count, at);
            return;
        }
        break;
    case kCmdContinue:
        if (body.size() == 2 + kContinueDataSize) {
            TakeContinue(request, at);
            return;
        }
        break;
    default:
        break;
    }
    ++stats_.malformedRequests;
}

void HandheldDebugger::AnswerRead(const Packet &request, uint32_t address, uint16_t count,
                                  SimTime at) {
    ++stats_.reads;
    std::vector<uint8_t> body(2 + count, 0);
    body[0] = kReplyRead;
    if (!memory_.Read(address, body.data() + 2, count)) {
        ++stats_.busErrors;
        exception_ = kExceptionBusError;
        SendState(request.transactionId, at, false, exception_);
        return;
    }
    stats_.bytesRead += count;
    Send(std::move(body), request.transactionId, at);
}

void HandheldDebugger::AnswerWrite(const Packet &request, uint32_t address, uint16_t count,
                                   SimTime at) {
    ++stats_.writes;
    if (!memory_.Write(address, request.body.data() + 8, count)) {
        ++stats_.busErrors;
        exception_ = kExceptionBusError;
        SendState(request.transactionId, at, false, exception_);
        return;
    }
    stats_.bytesWritten += count;
    Send({kReplyWrite, 0}, request.transactionId, at);
}

void HandheldDebugger::TakeContinue(const Packet &request, SimTime at) {
    ++stats_.continues;
    ResumeRecord resume;
    resume.at = at;
    std::copy_n(request.body.begin() + 2, kContinueDataSize, resume.data.begin());
    resume.registers = RegisterBlock::Decode(resume.data.data());
    lastResume_ = resume;
    registers_ = resume.registers;

    ResumeOutcome outcome;
    if (runner_ != nullptr) {
        outcome = runner_->Run(memory_, registers_);
    } else if (std::optional<ResumeOutcome> flashed = RunFlasherBehaviour(memory_, registers_)) {
        outcome = *flashed;
    } else {
        outcome.restarted = true;
    }
    if (outcome.restarted && reenterAfter_) {
        // A restarted handheld that its user puts back into the debugger.
        outcome = {true, *reenterAfter_, kExceptionBreak, true};
        registers_ = startRegisters_;
    }
    if (!outcome.reentersDebugger) {
        debuggerSince_.reset();
        return;
    }
    debuggerSince_ = at + outcome.after;
    exception_ = outcome.exception;
    resetPending_ = outcome.reset;
    SendState(kUnsolicitedTransactionId, *debuggerSince_, resetPending_, exception_);
}

std::vector<uint8_t> HandheldDebugger::StateBody(bool reset, uint16_t exception) const {
    std::vector<uint8_t> body(kStateBodySize, 0);
    body[0] = kReplyState;
    body[2] = reset ? 1 : 0;
    body[4] = static_cast<uint8_t>(exception >> 8);
    body[5] = static_cast<uint8_t>(exception);
    registers_.Encode(&body[kRegistersOffset]);
    // The instruction words at pc, where they can be read.
    uint8_t *words = &body[kRegistersOffset + RegisterBlock::kSize];
    if (!memory_.Read(registers_.pc, words, kInstructionWords * 2)) {
        std::fill_n(words, kInstructionWords * 2, 0);
    }
    // Breakpoints, routine bounds, routine name, trap table revision: all clear.
    static_assert(kRegistersOffset + RegisterBlock::kSize + kInstructionWords * 2 +
                      kBreakpoints * 6 + 8 + 32 + 2 ==
                  kStateBodySize);
    return body;
}

void HandheldDebugger::SendState(uint8_t transactionId, SimTime at, bool reset,
                                 uint16_t exception) {
    Send(StateBody(reset, exception), transactionId, at);
    resetPending_ = false;
}

void HandheldDebugger::Send(std::vector<uint8_t> body, uint8_t transactionId, SimTime at) {
    uint32_t number = nextPacketNumber_++;
    ++stats_.packetsSent;
    PacketFaults faults = faults_.ForPacket(number);
    if (faults.drop) {
        ++stats_.packetsDropped;
        return;
    }
    if (faults.state && body[0] != kReplyState) {
        body = StateBody(false, exception_);
    }
    if (faults.corruptOffset && body[0] == kReplyRead && 2 + *faults.corruptOffset < body.size()) {
        // Changed before framing, so the CRC vouches for the wrong byte.
        body[2 + *faults.corruptOffset] ^= 0x01;
        ++stats_.corruptedReplies;
    }
    std::vector<Transmission> shaped = ShapePacket(faults, transactionId, std::move(body), at);
    output_.insert(output_.end(), shaped.begin(), shaped.end());
}

} // namespace ostervane::simulator
