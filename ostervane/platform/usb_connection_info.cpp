// Decoding of the connection-information answers and the debugger endpoint choice.
#include "ostervane/platform/usb_connection_info.h"

namespace ostervane {

namespace {
constexpr size_t kExtHeaderSize = 4;
constexpr size_t kExtPortSize = 8;
constexpr size_t kPlainHeaderSize = 2;
constexpr size_t kPlainPortSize = 2;
constexpr uint8_t kInDirection = 0x80;

bool UsableEndpoint(uint8_t number) {
    return number != 0 && number <= 15;
}

void AddPort(std::vector<UsbFunctionPort> *ports, uint32_t function, bool fourCharacters,
             uint8_t in, uint8_t out) {
    if (UsableEndpoint(in) && UsableEndpoint(out)) {
        ports->push_back({function, fourCharacters, static_cast<uint8_t>(in | kInDirection), out});
    }
}
} // namespace

std::vector<UsbFunctionPort> DecodeExtConnectionInfo(std::span<const uint8_t> answer) {
    std::vector<UsbFunctionPort> ports;
    if (answer.size() < kExtHeaderSize) {
        return ports;
    }
    size_t count = answer[0];
    bool endpointsDiffer = answer[1] != 0;
    for (size_t i = 0; i < count; ++i) {
        size_t at = kExtHeaderSize + i * kExtPortSize;
        if (at + kExtPortSize > answer.size()) {
            break;
        }
        uint32_t function = uint32_t(answer[at]) << 24 | uint32_t(answer[at + 1]) << 16 |
                            uint32_t(answer[at + 2]) << 8 | answer[at + 3];
        uint8_t port = answer[at + 4];
        uint8_t info = answer[at + 5];
        uint8_t in = endpointsDiffer ? uint8_t(info >> 4) : port;
        uint8_t out = endpointsDiffer ? uint8_t(info & 0x0F) : port;
        AddPort(&ports, function, true, in, out);
    }
    return ports;
}

std::vector<UsbFunctionPort> DecodeConnectionInfo(std::span<const uint8_t> answer) {
    std::vector<UsbFunctionPort> ports;
    if (answer.size() < kPlainHeaderSize) {
        return ports;
    }
    size_t count = answer[0] | size_t(answer[1]) << 8;
    for (size_t i = 0; i < count; ++i) {
        size_t at = kPlainHeaderSize + i * kPlainPortSize;
        if (at + kPlainPortSize > answer.size()) {
            break;
        }
        AddPort(&ports, answer[at], false, answer[at + 1], answer[at + 1]);
    }
    return ports;
}

std::optional<UsbDebuggerEndpoints> ChooseDebuggerPort(const std::vector<UsbFunctionPort> &ports) {
    for (const UsbFunctionPort &port : ports) {
        uint32_t wanted = port.fourCharacterId ? kUsbDebuggerFunction : kUsbDebuggerFunctionNumber;
        if (port.function == wanted) {
            return UsbDebuggerEndpoints{port.inEndpoint, port.outEndpoint};
        }
    }
    return std::nullopt;
}

std::optional<UsbDebuggerEndpoints>
DebuggerEndpoints(std::optional<std::span<const uint8_t>> extAnswer,
                  std::optional<std::span<const uint8_t>> plainAnswer) {
    if (extAnswer) {
        std::vector<UsbFunctionPort> ports = DecodeExtConnectionInfo(*extAnswer);
        if (!ports.empty()) {
            return ChooseDebuggerPort(ports);
        }
    }
    if (plainAnswer) {
        return ChooseDebuggerPort(DecodeConnectionInfo(*plainAnswer));
    }
    return std::nullopt;
}

} // namespace ostervane
