// ostervane-cli identify FILE: what identification finds in a ROM image, and which part of the
// file a restore writes, as one JSON object.
#include <cstdio>

#include "ostervane/cli/commands.h"
#include "ostervane/core/rom_image.h"

namespace ostervane::cli {
namespace {

// A JSON string; control characters and bytes outside ASCII are written as \u00XX.
std::string JsonString(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

const char *VerdictName(RomVerdict verdict) {
    switch (verdict) {
    case RomVerdict::Restore:
        return "restore";
    case RomVerdict::TooBig:
        return "too big";
    default:
        return "unknown";
    }
}

const char *PartWritten(const RomImageInfo &info) {
    return info.wholeCard ? "big ROM part of a whole-card image" : "whole file";
}

std::string IdentityJson(const RomImageInfo &info, RomVerdict verdict) {
    std::string addresses;
    for (uint32_t address : info.imageAddressList) {
        addresses += (addresses.empty() ? "" : ", ") + std::to_string(address);
    }
    auto flag = [](bool value) { return value ? "true" : "false"; };
    return std::string("{\"deviceId\": ") + JsonString(DeviceIdText(info.imageDeviceId)) +
           ", \"addressList\": [" + addresses + "]" +
           ", \"loadBase\": " + std::to_string(info.imageLoadBase) +
           ", \"sizeLimit\": " + std::to_string(info.sizeLimit) +
           ", \"manufacturer\": " + JsonString(info.imageManufacturer) +
           ", \"expectedEnd\": " + std::to_string(info.imageExpectedEnd) +
           ", \"fileSize\": " + std::to_string(info.fileSize) +
           ", \"wholeCard\": " + flag(info.wholeCard) +
           ", \"writeOffset\": " + std::to_string(info.bigRomOffset) +
           ", \"writeSize\": " + std::to_string(info.writeSize) +
           ", \"writes\": " + JsonString(PartWritten(info)) +
           ", \"identified\": " + flag(info.identified) +
           ", \"markerFound\": " + flag(info.markerFound) + ", \"warning\": " +
           (info.warningCaption.empty() ? "null" : JsonString(info.warningCaption)) +
           ", \"verdict\": \"" + VerdictName(verdict) + "\"}";
}

} // namespace

int RunIdentifyCommand(const Arguments &args) {
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        return Usage();
    }
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        return Usage("identify takes one FILE");
    }
    std::optional<RomImageInfo> info = ExamineRomImageFile(args[0]);
    if (!info) {
        std::fprintf(stderr, "ostervane-cli: cannot read %s\n", args[0].c_str());
        return kExitJobFailed;
    }
    RomVerdict verdict = VerdictIfAccepted(*info);
    std::printf("%s\n", IdentityJson(*info, verdict).c_str());
    return verdict == RomVerdict::Restore ? kExitSuccess : kExitJobFailed;
}

} // namespace ostervane::cli
