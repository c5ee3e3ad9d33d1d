// ostervane-cli identify FILE: what identification finds in a ROM image, which part of the
// file a restore writes, and whether that part's checksum holds, as one JSON object.
#include <climits>
#include <cstdio>
#include <memory>

#include "ostervane/cli/commands.h"
#include "ostervane/core/rom_checksum.h"
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

const char *PartWritten(const RomImageInfo &info) {
    return info.wholeCard ? "big ROM part of a whole-card image" : "whole file";
}

const char *ChecksumStateName(RomChecksumState state) {
    switch (state) {
    case RomChecksumState::Verified:
        return "verified";
    case RomChecksumState::Mismatch:
        return "mismatch";
    case RomChecksumState::NotCarried:
        return "not carried";
    default:
        return "cannot check";
    }
}

// The numbers only mean something once the CRC was computed.
std::string ChecksumJson(const RomChecksumResult &checksum) {
    bool compared = checksum.state == RomChecksumState::Verified ||
                    checksum.state == RomChecksumState::Mismatch;
    auto number = [compared](uint64_t value) {
        return compared ? std::to_string(value) : std::string("null");
    };
    return std::string("{\"state\": \"") + ChecksumStateName(checksum.state) +
           "\", \"stored\": " + number(checksum.stored) +
           ", \"computed\": " + number(checksum.computed) +
           ", \"coveredBytes\": " + number(checksum.coveredBytes) +
           ", \"text\": " + JsonString(checksum.text) + "}";
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

// The checksum of the part a restore writes, read from the file piece by piece.
RomChecksumResult CheckWrittenPart(const std::string &path, const RomImageInfo &info) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    return CheckRomChecksum(info.writeSize, [&](uint64_t offset, std::span<uint8_t> out) {
        uint64_t at = info.bigRomOffset + offset;
        return file != nullptr && at <= uint64_t(LONG_MAX) &&
               std::fseek(file.get(), long(at), SEEK_SET) == 0 &&
               std::fread(out.data(), 1, out.size(), file.get()) == out.size();
    });
}

std::string IdentityJson(const RomImageInfo &info, const RomChecksumResult &checksum,
                         RomVerdict verdict) {
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
           ", \"checksum\": " + ChecksumJson(checksum) + ", \"verdict\": \"" +
           RomVerdictName(verdict) + "\"}";
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
    RomChecksumResult checksum = CheckWrittenPart(args[0], *info);
    std::printf("%s\n", IdentityJson(*info, checksum, verdict).c_str());
    return verdict == RomVerdict::Restore ? kExitSuccess : kExitJobFailed;
}

} // namespace ostervane::cli
