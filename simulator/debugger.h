// The simulated handheld sitting in its debugger: it reads the host's debugger packets from a
// byte stream, answers them from its memory and registers exactly as a handheld does, leaves
// the debugger on Continue, and comes back (with a state packet) when the code it ran breaks.
//
// Replies (every one echoes the request's transaction id):
//   0x00 state request -> 0x80 state packet
//   0x01 read memory   -> 0x81, the bytes from body offset 2 (at most 256 bytes)
//   0x02 write memory  -> 0x82 (RAM takes the bytes; ROM ignores them, as flash does)
//   0x07 continue      -> no reply; the handheld runs from the pc it was given
// A read or write that touches unmapped memory is a bus error: the handheld answers with a
// state packet (exception 0x0008) instead, which the host counts as a failed exchange.
// Requests that fail their checks (header checksum, CRC, body size), malformed requests,
// unknown commands and anything that arrives while the handheld runs get no answer.
//
// State packet body (188 bytes): command 0x80, filler, reset flag, 0, exception id (16-bit;
// 0x0080 the debugger's break trap, 0x0008 bus error), then from body offset 6 the 74 register
// bytes (d0-d7, a0-a6, usp, ssp, pc, sr, big-endian) and 15 instruction words read at pc (so
// the host's 76-byte block ends with the first of them), 6 breakpoints of 6 bytes, routine
// start and end, a 32-byte routine name, the trap table revision and a filler byte.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "simulator/fault_plan.h"
#include "simulator/handheld_memory.h"
#include "simulator/packet_framing.h"
#include "simulator/sim_time.h"

namespace ostervane::simulator {

inline constexpr uint8_t kCmdStateRequest = 0x00;
inline constexpr uint8_t kCmdReadMemory = 0x01;
inline constexpr uint8_t kCmdWriteMemory = 0x02;
inline constexpr uint8_t kCmdContinue = 0x07;
inline constexpr uint8_t kReplyState = 0x80;
inline constexpr uint8_t kReplyRead = 0x81;
inline constexpr uint8_t kReplyWrite = 0x82;
inline constexpr uint16_t kExceptionBusError = 0x0008;
inline constexpr uint16_t kExceptionBreak = 0x0080;
inline constexpr size_t kMaxMemoryChunk = 256;
inline constexpr size_t kContinueDataSize = 88;
inline constexpr size_t kStateBodySize = 188;
inline constexpr size_t kRegistersOffset = 6; // in the state packet body

// The 68k register set as the debugger reports and takes it.
struct RegisterBlock {
    static constexpr size_t kSize = 74;
    std::array<uint32_t, 8> d{};
    std::array<uint32_t, 7> a{};
    uint32_t usp = 0;
    uint32_t ssp = 0;
    uint32_t pc = 0;
    uint16_t sr = 0;

    void Encode(uint8_t *out) const;                // kSize bytes, big-endian
    static RegisterBlock Decode(const uint8_t *in); // kSize bytes, big-endian
    bool operator==(const RegisterBlock &) const = default;
};

// How a run of code that the host started with Continue ends.
struct ResumeOutcome {
    bool reentersDebugger = false; // false: the handheld keeps running
    SimTime after{0};              // how long the code runs before it breaks
    uint16_t exception = kExceptionBreak;
    bool reset = false; // the state packet reports a reset
    // The code handed control to the handheld's own system (a jump into ROM): the handheld
    // restarts, and comes back as the options' reenterAfter says.
    bool restarted = false;
};

// Runs the code the host resumed (a flasher, say) against the handheld's memory and registers.
// Called with the handheld's lock held: it must not call back into the HandheldDebugger.
class CodeRunner {
public:
    virtual ~CodeRunner() = default;
    virtual ResumeOutcome Run(HandheldMemory &memory, RegisterBlock &registers) = 0;
};

// One request the handheld accepted (also those it ignored because it was running).
struct RequestRecord {
    SimTime at{0};
    uint8_t command = 0;
    uint8_t transactionId = 0;
    uint32_t address = 0; // read and write requests
    uint16_t count = 0;   // read and write requests
};

struct ResumeRecord {
    SimTime at{0};
    RegisterBlock registers; // as the host sent them; registers.pc is where the handheld went
    std::array<uint8_t, kContinueDataSize> data{};
};

struct DebuggerStats {
    uint32_t requests = 0;          // packets that passed every check
    uint32_t rejectedPackets = 0;   // failed checksum, body size or CRC
    uint32_t malformedRequests = 0; // wrong length for their command, or unknown command
    uint32_t ignoredWhileRunning = 0;
    uint32_t stateRequests = 0;
    uint32_t reads = 0;
    uint32_t writes = 0;
    uint32_t continues = 0;
    uint32_t busErrors = 0;
    uint32_t packetsSent = 0; // numbered packets, the dropped ones included
    uint32_t packetsDropped = 0;
    uint32_t corruptedReplies = 0; // read replies sent with a data bit inverted (fault corrupt)
    uint64_t bytesRead = 0;        // memory bytes served by reads
    uint64_t bytesWritten = 0;     // memory bytes taken by writes
};

struct HandheldOptions {
    FaultPlan faults;
    // A restarted handheld (a Continue that is not into the 68k flasher when no CodeRunner is
    // set, or a run the CodeRunner says restarted it) is put back into its debugger (by its
    // user) this long after, with its start-up registers.  Unset: it stays out.  Without a
    // CodeRunner a Continue into the 68k flasher is done on the flash chips (flash_behaviour.h).
    std::optional<SimTime> reenterAfter;
};

class HandheldDebugger {
public:
    HandheldDebugger(HandheldMemory memory, const RegisterBlock &registers,
                     HandheldOptions options = {});

    void SetFaults(FaultPlan faults);
    void SetReenterAfter(std::optional<SimTime> after);
    // Not owned; must outlive the handheld or be reset to nullptr first.
    void SetCodeRunner(CodeRunner *runner);
    // Called (under the handheld's lock) for every accepted request; for logging.
    void SetRequestObserver(std::function<void(const RequestRecord &)> observer);

    // If the handheld sits in its debugger at `at`, it sends its state packet then, as it does
    // on entering the debugger.  Transports call it when the host opens the line.
    void Announce(SimTime at);

    // Takes bytes from the host, the last of which arrived at `at`; answers whole packets.
    void Receive(const uint8_t *data, size_t count, SimTime at);

    // Takes what the handheld has put on its line since the last call, in order.
    std::vector<Transmission> TakeOutput();

    bool InDebugger(SimTime at) const;
    DebuggerStats Stats() const;
    // The requests in the order they came (the first 1,048,576 of them).
    std::vector<RequestRecord> Requests() const;
    std::optional<ResumeRecord> LastResume() const;
    RegisterBlock Registers() const;

    // Direct access to memory, not synchronised: for setting up before the handheld is
    // connected, and for checking after the host is done with it.
    HandheldMemory &Memory() { return memory_; }

private:
    void Dispatch(const Packet &request, SimTime at);
    void AnswerRead(const Packet &request, uint32_t address, uint16_t count, SimTime at);
    void AnswerWrite(const Packet &request, uint32_t address, uint16_t count, SimTime at);
    void TakeContinue(const Packet &request, SimTime at);
    std::vector<uint8_t> StateBody(bool reset, uint16_t exception) const;
    void SendState(uint8_t transactionId, SimTime at, bool reset, uint16_t exception);
    void Send(std::vector<uint8_t> body, uint8_t transactionId, SimTime at);

    mutable std::mutex mutex_;
    HandheldMemory memory_;
    RegisterBlock startRegisters_;
    RegisterBlock registers_;
    FaultPlan faults_;
    std::optional<SimTime> reenterAfter_;
    CodeRunner *runner_ = nullptr;
    std::function<void(const RequestRecord &)> observer_;

    PacketReader reader_;
    std::optional<SimTime> debuggerSince_{SimTime(0)}; // unset while the handheld runs
    uint16_t exception_ = kExceptionBreak;
    bool resetPending_ = true;
    uint32_t nextPacketNumber_ = 0;
    std::vector<Transmission> output_;
    std::vector<RequestRecord> requests_;
    std::optional<ResumeRecord> lastResume_;
    DebuggerStats stats_;
};

} // namespace ostervane::simulator
