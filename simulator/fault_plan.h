// Fault injection for the simulated handheld: a small language that says which packets the
// handheld sends go wrong and how, and the shaping of one packet by the faults that hit it.
//
// Syntax of FAULTS (also printed by `handheld-sim --help`):
//
//   FAULTS := ITEM { "," ITEM }                   several --fault options add up
//   ITEM   := ACTION [ "@" WHICH ] [ ":" VALUE ]   |   "seed:" N
//   WHICH  := N       packet N only
//           | N-M     packets N to M
//           | N+      packet N and every later one
//           | *       every packet (the default when "@" is left out)
//           | ~P      each packet with probability P (0 to 1), from a generator seeded with
//                     "seed" (default 1), so a run repeats exactly
//
// Packets are numbered in the order the handheld sends them, from 0; every packet counts, the
// state packets it sends by itself included.  Normally packet 0 is the state packet sent when
// the handheld enters its debugger and packet N is the reply to the host's Nth request.
//
//   drop             the packet is lost
//   stall            this packet and every later one are lost (the handheld hangs);
//                    WHICH is N or N+ (stall@0: the handheld never says anything)
//   delay:MS         the packet leaves MS milliseconds late
//   pause:MS         the line goes quiet for MS milliseconds after the packet's 10 header bytes
//   state            a state packet is sent instead of the reply (transaction id kept)
//   command:C        the packet carries command byte C (decimal or 0x..), checksums valid
//   wrong-tid        the packet carries the transaction id plus one, checksums valid
//   bad-signature    the second signature byte goes out as 0xEE
//   bad-checksum     the header checksum goes out one too high
//   bad-crc          the low byte of the CRC goes out inverted
//   flip[:OFF]       bit 0 of the byte at packet offset OFF (default 12) is inverted
//   truncate:K       only the first K bytes of the packet go out
//   oversize[:SIZE]  the body size field says SIZE (273 to 65535, default 300) and that many
//                    body bytes follow (the body, zero padded), with a valid CRC
//   undersize        the body size field says 1 and one body byte follows, with a valid CRC
//   garbage:K        K noise bytes (never 0xBE) go out before the packet
//   duplicate        the packet goes out twice
//   corrupt[:OFF]    a read-memory reply carries bit 0 of its data byte OFF (default 0) inverted,
//                    framed with a valid CRC: well-formed, but not what memory holds; other
//                    packets, and replies whose data is shorter, go out unchanged
//
// Examples: "drop@1", "bad-crc@2-4", "stall@10", "drop@~0.05,seed:7", "delay:20",
// "state@3", "oversize@1", "drop@0" (the host has to ask for the state packet), "corrupt@40:17".
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/packet_framing.h"
#include "simulator/sim_time.h"

namespace ostervane::simulator {

enum class FaultAction {
    Drop,
    Stall,
    Delay,
    Pause,
    State,
    Command,
    WrongTid,
    BadSignature,
    BadChecksum,
    BadCrc,
    Flip,
    Truncate,
    Oversize,
    Undersize,
    Garbage,
    Duplicate,
    Corrupt,
};

// Which packets a fault hits.
struct PacketSelector {
    uint32_t first = 0;
    uint32_t last = UINT32_MAX;
    double probability = 1.0; // below 1: each packet in range is hit by chance

    static PacketSelector Every() { return {}; }
    static PacketSelector Only(uint32_t n) { return {n, n, 1.0}; }
    static PacketSelector Range(uint32_t first, uint32_t last) { return {first, last, 1.0}; }
    static PacketSelector From(uint32_t n) { return {n, UINT32_MAX, 1.0}; }
    static PacketSelector Randomly(double p) { return {0, UINT32_MAX, p}; }
};

struct Fault {
    FaultAction action = FaultAction::Drop;
    PacketSelector which;
    int64_t value = 0; // milliseconds, bytes, offset, size or command byte, by action
};

// Everything that happens to one packet.
struct PacketFaults {
    bool drop = false;
    bool state = false;
    bool wrongTid = false;
    bool badSignature = false;
    bool badChecksum = false;
    bool badCrc = false;
    bool undersize = false;
    bool duplicate = false;
    std::optional<uint8_t> command;
    std::optional<uint16_t> oversize;
    std::optional<size_t> flipOffset;
    std::optional<size_t> truncate;
    std::optional<size_t> corruptOffset; // in a read-memory reply's data
    size_t garbage = 0;
    SimTime delay{0};
    SimTime pause{0};
};

class FaultPlan {
public:
    FaultPlan() : generator_(kDefaultSeed) {}

    // Parses a FAULTS text and adds its faults; on a syntax error adds nothing and returns false
    // with the reason in `error`.
    bool Add(std::string_view text, std::string *error);
    void Add(const Fault &fault) { faults_.push_back(fault); }
    void SetSeed(uint32_t seed) { generator_.seed(seed); }
    bool Empty() const { return faults_.empty(); }

    // The faults that hit packet `number`; draws the chances of random selectors, in plan order.
    PacketFaults ForPacket(uint32_t number);

    // The syntax of FAULTS, as shown by `handheld-sim --help`.
    static const char *SyntaxHelp();

private:
    static constexpr uint32_t kDefaultSeed = 1;
    bool Hits(const PacketSelector &which, uint32_t number);

    std::vector<Fault> faults_;
    std::mt19937 generator_;
};

// Frames one packet the handheld sends (`body`: command, filler, data) with `transactionId` and
// applies the framing, wire and timing faults in `faults` (all but `state` and `corruptOffset`,
// which the sender applies to the body before it is framed).  `at`: when the packet is ready. Empty
// when dropped.
std::vector<Transmission> ShapePacket(const PacketFaults &faults, uint8_t transactionId,
                                      std::vector<uint8_t> body, SimTime at);

} // namespace ostervane::simulator
