// The texts a device slot shows for events and job results.
#pragma once

#include <cstdint>
#include <string>

namespace ostervane {

// The fixed status text of an event ("Device Found", "Saving ROM", ...), or nullptr when the
// event sets no fixed text.
const char *EventStatusText(uint32_t code);

// The text of a job result: the table's own text for 0x8000 to 0x8006, otherwise "Error: "
// followed by the value in signed decimal.
std::string JobErrorText(int32_t code);

} // namespace ostervane
