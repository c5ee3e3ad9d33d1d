// Parsing fault texts and applying the faults to the packets the handheld sends.
#include "simulator/fault_plan.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace ostervane::simulator {

namespace {

enum class ValueRule { None, Required, Optional };

struct ActionInfo {
    const char *name;
    FaultAction action;
    ValueRule value;
    int64_t defaultValue;
    int64_t minValue;
    int64_t maxValue;
};

constexpr int64_t kMaxMillis = 86'400'000;
constexpr int64_t kMaxCorruptOffset = 255; // a read reply carries at most 256 data bytes

const ActionInfo kActions[] = {
    {"drop", FaultAction::Drop, ValueRule::None, 0, 0, 0},
    {"stall", FaultAction::Stall, ValueRule::None, 0, 0, 0},
    {"delay", FaultAction::Delay, ValueRule::Required, 0, 0, kMaxMillis},
    {"pause", FaultAction::Pause, ValueRule::Required, 0, 0, kMaxMillis},
    {"state", FaultAction::State, ValueRule::None, 0, 0, 0},
    {"command", FaultAction::Command, ValueRule::Required, 0, 0, 255},
    {"wrong-tid", FaultAction::WrongTid, ValueRule::None, 0, 0, 0},
    {"bad-signature", FaultAction::BadSignature, ValueRule::None, 0, 0, 0},
    {"bad-checksum", FaultAction::BadChecksum, ValueRule::None, 0, 0, 0},
    {"bad-crc", FaultAction::BadCrc, ValueRule::None, 0, 0, 0},
    {"flip", FaultAction::Flip, ValueRule::Optional, 12, 0, 65535},
    {"truncate", FaultAction::Truncate, ValueRule::Required, 0, 0, 65535},
    {"oversize", FaultAction::Oversize, ValueRule::Optional, 300, kMaxBodySize + 1, 65535},
    {"undersize", FaultAction::Undersize, ValueRule::None, 0, 0, 0},
    {"garbage", FaultAction::Garbage, ValueRule::Required, 0, 1, 65535},
    {"duplicate", FaultAction::Duplicate, ValueRule::None, 0, 0, 0},
    {"corrupt", FaultAction::Corrupt, ValueRule::Optional, 0, 0, kMaxCorruptOffset},
};

bool ParseInteger(std::string_view text, int64_t *value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value, base);
    return !text.empty() && ec == std::errc() && ptr == end;
}

bool ParseCount(std::string_view text, uint32_t *value) {
    int64_t number = 0;
    if (!ParseInteger(text, &number) || number < 0 || number > UINT32_MAX) {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

bool ParseProbability(std::string_view text, double *p) {
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *p);
    return !text.empty() && ec == std::errc() && ptr == end && *p >= 0.0 && *p <= 1.0;
}

bool ParseSelector(std::string_view text, PacketSelector *which) {
    if (text == "*") {
        *which = PacketSelector::Every();
        return true;
    }
    if (text.starts_with('~')) {
        double p = 0;
        if (!ParseProbability(text.substr(1), &p)) {
            return false;
        }
        *which = PacketSelector::Randomly(p);
        return true;
    }
    if (text.ends_with('+')) {
        uint32_t first = 0;
        if (!ParseCount(text.substr(0, text.size() - 1), &first)) {
            return false;
        }
        *which = PacketSelector::From(first);
        return true;
    }
    size_t dash = text.find('-');
    uint32_t first = 0;
    uint32_t last = 0;
    if (dash == std::string_view::npos) {
        if (!ParseCount(text, &first)) {
            return false;
        }
        *which = PacketSelector::Only(first);
        return true;
    }
    if (!ParseCount(text.substr(0, dash), &first) || !ParseCount(text.substr(dash + 1), &last) ||
        last < first) {
        return false;
    }
    *which = PacketSelector::Range(first, last);
    return true;
}

bool ParseItem(std::string_view item, Fault *fault, std::optional<uint32_t> *seed,
               std::string *error) {
    auto fail = [&](const std::string &why) {
        *error = "fault \"" + std::string(item) + "\": " + why;
        return false;
    };
    size_t colon = item.find(':');
    std::string_view head = item.substr(0, colon);
    std::optional<std::string_view> valueText;
    if (colon != std::string_view::npos) {
        valueText = item.substr(colon + 1);
    }
    if (head == "seed") {
        uint32_t value = 0;
        if (!valueText || !ParseCount(*valueText, &value)) {
            return fail("seed needs a number, as in seed:7");
        }
        *seed = value;
        return true;
    }
    size_t at = head.find('@');
    std::string_view name = head.substr(0, at);
    const ActionInfo *info = nullptr;
    for (const ActionInfo &candidate : kActions) {
        if (name == candidate.name) {
            info = &candidate;
        }
    }
    if (info == nullptr) {
        return fail("unknown action \"" + std::string(name) + "\"");
    }
    fault->action = info->action;
    fault->which = PacketSelector::Every();
    if (at != std::string_view::npos && !ParseSelector(head.substr(at + 1), &fault->which)) {
        return fail("packets must be N, N-M, N+, * or ~P");
    }
    if (info->action == FaultAction::Stall) {
        if (fault->which.probability < 1.0 ||
            (fault->which.last != fault->which.first && fault->which.last != UINT32_MAX)) {
            return fail("stall takes one packet number, as in stall@5");
        }
        fault->which = PacketSelector::From(fault->which.first);
    }
    fault->value = info->defaultValue;
    if (valueText) {
        if (info->value == ValueRule::None) {
            return fail("takes no value");
        }
        if (!ParseInteger(*valueText, &fault->value) || fault->value < info->minValue ||
            fault->value > info->maxValue) {
            return fail("value must be a number from " + std::to_string(info->minValue) + " to " +
                        std::to_string(info->maxValue));
        }
    } else if (info->value == ValueRule::Required) {
        return fail("needs a value, as in " + std::string(name) + ":" +
                    std::to_string(info->maxValue > 1000 ? 100 : info->maxValue));
    }
    return true;
}

std::vector<uint8_t> NoiseBytes(size_t count) {
    std::vector<uint8_t> noise(count);
    for (size_t i = 0; i < count; ++i) {
        uint8_t byte = static_cast<uint8_t>(i * 37 + 11);
        noise[i] = byte == kSignature0 ? 0x5A : byte;
    }
    return noise;
}

} // namespace

bool FaultPlan::Add(std::string_view text, std::string *error) {
    std::vector<Fault> parsed;
    std::optional<uint32_t> seed;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string_view item = text.substr(start, comma - start);
        if (item.empty()) {
            *error = "empty fault in \"" + std::string(text) + "\"";
            return false;
        }
        Fault fault;
        std::optional<uint32_t> itemSeed;
        if (!ParseItem(item, &fault, &itemSeed, error)) {
            return false;
        }
        if (itemSeed) {
            seed = itemSeed;
        } else {
            parsed.push_back(fault);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    faults_.insert(faults_.end(), parsed.begin(), parsed.end());
    if (seed) {
        SetSeed(*seed);
    }
    return true;
}

bool FaultPlan::Hits(const PacketSelector &which, uint32_t number) {
    if (number < which.first || number > which.last) {
        return false;
    }
    if (which.probability >= 1.0) {
        return true;
    }
    // The draw happens for every packet in range, so the sequence depends only on the seed.
    double draw = static_cast<double>(generator_()) / 4294967296.0;
    return draw < which.probability;
}

PacketFaults FaultPlan::ForPacket(uint32_t number) {
    PacketFaults f;
    for (const Fault &fault : faults_) {
        if (!Hits(fault.which, number)) {
            continue;
        }
        const auto millis = std::chrono::milliseconds(fault.value);
        switch (fault.action) {
        case FaultAction::Drop:
        case FaultAction::Stall:
            f.drop = true;
            break;
        case FaultAction::Delay:
            f.delay += millis;
            break;
        case FaultAction::Pause:
            f.pause += millis;
            break;
        case FaultAction::State:
            f.state = true;
            break;
        case FaultAction::Command:
            f.command = static_cast<uint8_t>(fault.value);
            break;
        case FaultAction::WrongTid:
            f.wrongTid = true;
            break;
        case FaultAction::BadSignature:
            f.badSignature = true;
            break;
        case FaultAction::BadChecksum:
            f.badChecksum = true;
            break;
        case FaultAction::BadCrc:
            f.badCrc = true;
            break;
        case FaultAction::Flip:
            f.flipOffset = static_cast<size_t>(fault.value);
            break;
        case FaultAction::Truncate:
            f.truncate = static_cast<size_t>(fault.value);
            break;
        case FaultAction::Oversize:
            f.oversize = static_cast<uint16_t>(fault.value);
            break;
        case FaultAction::Undersize:
            f.undersize = true;
            break;
        case FaultAction::Garbage:
            f.garbage += static_cast<size_t>(fault.value);
            break;
        case FaultAction::Duplicate:
            f.duplicate = true;
            break;
        case FaultAction::Corrupt:
            f.corruptOffset = static_cast<size_t>(fault.value);
            break;
        }
    }
    return f;
}

std::vector<Transmission> ShapePacket(const PacketFaults &faults, uint8_t transactionId,
                                      std::vector<uint8_t> body, SimTime at) {
    if (faults.drop) {
        return {};
    }
    if (faults.command) {
        body[0] = *faults.command;
    }
    if (faults.wrongTid) {
        ++transactionId;
    }
    uint16_t sizeField = static_cast<uint16_t>(body.size());
    if (faults.oversize) {
        sizeField = *faults.oversize;
        body.resize(std::max<size_t>(body.size(), sizeField), 0);
    } else if (faults.undersize) {
        sizeField = 1;
        body.resize(1);
    }
    std::vector<uint8_t> bytes = FramePacket(transactionId, body, sizeField);
    if (faults.badSignature) {
        bytes[1] = 0xEE;
    }
    if (faults.badChecksum) {
        ++bytes[9];
    }
    if (faults.badCrc) {
        bytes.back() ^= 0xFF;
    }
    if (faults.flipOffset && *faults.flipOffset < bytes.size()) {
        bytes[*faults.flipOffset] ^= 0x01;
    }
    if (faults.truncate && *faults.truncate < bytes.size()) {
        bytes.resize(*faults.truncate);
    }

    const SimTime start = at + faults.delay;
    std::vector<Transmission> packet;
    if (faults.pause > SimTime(0) && bytes.size() > kHeaderSize) {
        packet.push_back({start, SimTime(0), {bytes.begin(), bytes.begin() + kHeaderSize}});
        packet.push_back({start, faults.pause, {bytes.begin() + kHeaderSize, bytes.end()}});
    } else {
        packet.push_back({start, SimTime(0), bytes});
    }
    std::vector<Transmission> out;
    if (faults.garbage > 0) {
        out.push_back({start, SimTime(0), NoiseBytes(faults.garbage)});
    }
    out.insert(out.end(), packet.begin(), packet.end());
    if (faults.duplicate) {
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}

const char *FaultPlan::SyntaxHelp() {
    return R"(FAULTS (--fault may be given several times; faults add up):
  FAULTS := ITEM {"," ITEM}
  ITEM   := ACTION ["@" WHICH] [":" VALUE]   |   "seed:" N
  WHICH  := N | N-M | N+ | * | ~P
           packet N, packets N to M, packet N and later, every packet (the default),
           or each packet with probability P (0 to 1) from a generator seeded by
           "seed" (default 1), so runs repeat exactly.
  Packets are numbered from 0 in the order the handheld sends them: normally packet 0
  is the state packet it sends when it enters its debugger, packet N the reply to the
  host's Nth request.
  ACTION:
    drop             the packet is lost
    stall            this packet and every later one are lost (WHICH is N or N+)
    delay:MS         the packet leaves MS milliseconds late
    pause:MS         the line goes quiet for MS ms after the packet's 10 header bytes
    state            a state packet is sent instead of the reply
    command:C        the packet carries command byte C (decimal or 0x..)
    wrong-tid        the packet carries the transaction id plus one
    bad-signature    the second signature byte goes out as 0xEE
    bad-checksum     the header checksum goes out one too high
    bad-crc          the low CRC byte goes out inverted
    flip[:OFF]       bit 0 of the byte at packet offset OFF (default 12) is inverted
    truncate:K       only the first K bytes of the packet go out
    oversize[:SIZE]  the body size field says SIZE (273..65535, default 300), that
                     many body bytes follow, CRC valid
    undersize        the body size field says 1, one body byte follows, CRC valid
    garbage:K        K noise bytes (never 0xBE) go out before the packet
    duplicate        the packet goes out twice
    corrupt[:OFF]    a read-memory reply carries bit 0 of its data byte OFF (0..255,
                     default 0) inverted, with a valid CRC: well-formed but wrong;
                     other packets, and replies with less data, are unchanged
  Examples: drop@1   bad-crc@2-4   stall@10   drop@~0.05,seed:7   delay:20   drop@0
            corrupt@40:17
)";
}

} // namespace ostervane::simulator
