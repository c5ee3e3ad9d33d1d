// Decoding of a handheld's USB connection information and the choice of its debugger port.
//
// Answer to vendor request 0x04 (four-character function ids), little-endian where wider:
//   0  u8  number of ports        1  u8  endpoint numbers differ (0 or 1)     2  u16 reserved
//   4  per port, 8 bytes: u32 function id as four characters in order ('p' 's' 'y' 's'),
//      u8 port, u8 endpoint info (high nibble: IN endpoint, low nibble: OUT endpoint; used
//      only when the endpoint numbers differ, otherwise both are the port), u16 reserved.
// Answer to vendor request 0x03 (numeric function ids):
//   0  u16 number of ports, little-endian
//   2  per port, 2 bytes: u8 function id (1 is the debugger), u8 port (both endpoints).
// Ports the answer counts but does not hold in full are left out, as are port 0 and endpoint
// numbers above 15.  A 0x04 answer that holds no port counts as no answer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ostervane {

inline constexpr uint8_t kUsbExtConnectionRequest = 0x04;
inline constexpr uint8_t kUsbConnectionRequest = 0x03;
inline constexpr uint32_t kUsbDebuggerFunction = 0x70737973; // 'psys'
inline constexpr uint8_t kUsbDebuggerFunctionNumber = 1;

struct UsbFunctionPort {
    uint32_t function = 0; // four characters (0x04 answers) or a number (0x03 answers)
    bool fourCharacterId = false;
    uint8_t inEndpoint = 0;  // endpoint address, direction bit 0x80 set
    uint8_t outEndpoint = 0; // endpoint address
};

struct UsbDebuggerEndpoints {
    uint8_t in = 0;
    uint8_t out = 0;
    bool operator==(const UsbDebuggerEndpoints &) const = default;
};

std::vector<UsbFunctionPort> DecodeExtConnectionInfo(std::span<const uint8_t> answer);
std::vector<UsbFunctionPort> DecodeConnectionInfo(std::span<const uint8_t> answer);

// The debugger's port among the decoded ones.
std::optional<UsbDebuggerEndpoints> ChooseDebuggerPort(const std::vector<UsbFunctionPort> &ports);

// The 0x04 answer when there is a usable one, else the 0x03 answer (either may be absent).
std::optional<UsbDebuggerEndpoints>
DebuggerEndpoints(std::optional<std::span<const uint8_t>> extAnswer,
                  std::optional<std::span<const uint8_t>> plainAnswer);

} // namespace ostervane
