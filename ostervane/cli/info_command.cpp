// ostervane-cli info FILE [--json]: what a ROM image holds: its card header, OS version,
// checksum and identification, and the table of its databases, as text or one JSON object.
#include <cstdio>

#include "ostervane/cli/commands.h"
#include "ostervane/cli/rom_file.h"
#include "ostervane/core/rom_summary.h"
#include "ostervane/core/rom_text.h"

namespace ostervane::cli {
namespace {

std::string HexText(uint64_t value, int digits = 1) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

std::string Text(const std::string &palm) {
    return JsonText(Utf8FromWindows1252(palm));
}

std::string ChecksumOk(const RomChecksumResult &checksum) {
    switch (checksum.state) {
    case RomChecksumState::Verified:
        return "true";
    case RomChecksumState::Mismatch:
        return "false";
    default:
        return "null";
    }
}

// The card header of a part, its place and its checksum.
std::string CardJson(const RomPart &part, const RomChecksumResult &checksum) {
    const RomCardHeader &c = part.card;
    return "{\"name\": " + Text(c.name) + ", \"manufacturer\": " + Text(c.manufacturer) +
           ", \"version\": " + Number(c.headerVersion) +
           ", \"cardVersion\": " + Number(c.cardVersion) + ", \"flags\": " + Number(c.flags) +
           ", \"arm\": " + (c.arm ? "true" : "false") +
           ", \"romVersion\": " + Number(c.romVersionNumber) + ", \"romVersionText\": " +
           (c.romVersionNumber ? JsonText(PalmVersionText(c.romVersionNumber)) : "null") +
           ", \"romVersionString\": " + Text(c.romVersionString) +
           ", \"companyId\": " + JsonText(c.companyId ? FourCharText(c.companyId) : "") +
           ", \"halId\": " + JsonText(c.halId ? FourCharText(c.halId) : "") +
           ", \"created\": " + JsonText(PalmDateText(c.creationDate)) +
           ", \"base\": " + Number(c.base) + ", \"bigRomOffset\": " + Number(c.bigRomOffset) +
           ", \"fileOffset\": " + Number(c.fileOffset) + ", \"size\": " + Number(part.extent.size) +
           ", \"checksumOk\": " + ChecksumOk(checksum) +
           ", \"checksum\": " + JsonText(checksum.text) + "}";
}

std::string RowJson(const RomDatabaseRow &row) {
    const RomDatabase &d = *row.database;
    return "{\"name\": " + JsonText(row.name) + ", \"type\": " + JsonText(row.type) +
           ", \"creator\": " + JsonText(row.creator) +
           ", \"attributes\": " + Number(row.attributes) +
           ", \"attributesText\": " + JsonText(row.attributesText) +
           ", \"version\": " + Number(row.version) + ", \"entries\": " + Number(row.entries) +
           ", \"bytes\": " + Number(row.bytes) + ", \"part\": \"" + row.part +
           "\", \"created\": " + JsonText(PalmDateText(d.creationDate)) +
           ", \"modified\": " + JsonText(PalmDateText(d.modificationDate)) +
           ", \"complete\": " + (row.complete ? "true" : "false") + "}";
}

std::string SummaryJson(const RomImage &image, const RomSummary &s) {
    std::string json =
        "{\"fileSize\": " + Number(image.bytes.size()) +
        ", \"wholeCard\": " + (image.wholeCard ? "true" : "false") +
        ", \"card\": " + (s.main ? CardJson(*s.main, s.checksum) : "null") + ", \"smallCard\": " +
        (image.small && image.big ? CardJson(*image.small, *s.smallChecksum) : "null") +
        ", \"osVersion\": " + (s.osVersion ? JsonText(s.osVersionText) : "null") +
        ", \"osVersionNumber\": " + (s.osVersion ? Number(*s.osVersion) : "null") +
        ", \"cpu\": " + JsonText(s.cpuFamily) + ", \"identification\": {\"verdict\": \"" +
        RomVerdictName(s.verdict) +
        "\", \"deviceId\": " + JsonText(DeviceIdText(s.identification.imageDeviceId)) +
        ", \"warning\": " +
        (s.identification.warningCaption.empty() ? "null"
                                                 : JsonText(s.identification.warningCaption)) +
        "}, \"databasesSupported\": " +
        (s.main == nullptr || s.main->databasesSupported ? "true" : "false") + ", \"databases\": [";
    for (size_t i = 0; i < s.rows.size(); i++) {
        json += (i ? ", " : "") + RowJson(s.rows[i]);
    }
    json += "], \"problems\": [";
    for (size_t i = 0; i < s.problems.size(); i++) {
        json += (i ? ", " : "") + JsonText(s.problems[i]);
    }
    return json + "]}";
}

// Pads UTF-8 text with spaces to `width` characters.
std::string Padded(const std::string &utf8, size_t width) {
    size_t characters = 0;
    for (char c : utf8) {
        characters += (uint8_t(c) & 0xC0) != 0x80;
    }
    return utf8 + std::string(width > characters ? width - characters : 0, ' ');
}

void PrintField(const char *label, const std::string &value) {
    std::printf("%-16s%s\n", label, value.c_str());
}

void PrintCard(const RomImage &image, const RomSummary &s) {
    const RomCardHeader &c = s.main->card;
    PrintField("Card:", ShownPalmText(c.name));
    PrintField("Manufacturer:", ShownPalmText(c.manufacturer));
    PrintField("Header version:", Number(c.headerVersion) + (c.arm ? " (ARM)" : ""));
    PrintField("ROM version:", c.romVersionNumber == 0
                                   ? "-"
                                   : PalmVersionText(c.romVersionNumber) + " (" +
                                         HexText(c.romVersionNumber, 8) + ") \"" +
                                         ShownPalmText(c.romVersionString) + "\"");
    PrintField("OS version:", s.osVersion ? s.osVersionText : "not found");
    PrintField("Company, HAL:", (c.companyId ? FourCharText(c.companyId) : "-") + ", " +
                                    (c.halId ? FourCharText(c.halId) : "-"));
    PrintField("CPU:", s.cpuFamily.empty() ? "-" : s.cpuFamily);
    PrintField("Created:", PalmDateText(c.creationDate));
    PrintField(image.big ? "Big ROM:" : "Small ROM:",
               "base " + HexText(c.base) + ", " + Number(s.main->extent.size) +
                   " bytes from file offset " + HexText(c.fileOffset));
    PrintField("Checksum:", s.checksum.text);
    if (image.small && image.big) {
        PrintField("Small ROM:", "\"" + ShownPalmText(image.small->card.name) + "\", " +
                                     Number(image.small->extent.size) + " bytes; " +
                                     s.smallChecksum->text);
    }
    std::string verdict = RomVerdictName(s.verdict);
    if (s.identification.imageDeviceId != 0) {
        verdict += " (device id \"" + DeviceIdText(s.identification.imageDeviceId) + "\")";
    }
    if (!s.identification.warningCaption.empty()) {
        verdict += " (with the warning \"" + s.identification.warningCaption + "\")";
    }
    PrintField("Identification:", verdict);
}

void PrintDatabases(const RomSummary &s) {
    std::printf("\n%zu database%s\n", s.rows.size(), s.rows.size() == 1 ? "" : "s");
    if (s.rows.empty()) {
        return;
    }
    std::printf("%-6s%s %-4s %-7s %-30s %7s %7s %9s\n", "Part", Padded("Name", 32).c_str(), "Type",
                "Creator", "Attributes", "Version", "Entries", "Bytes");
    for (const RomDatabaseRow &row : s.rows) {
        std::printf("%-6s%s %-4s %-7s %-30s %7u %7zu %9llu%s\n", row.part,
                    Padded(ShownPalmText(row.database->name), 32).c_str(), row.type.c_str(),
                    row.creator.c_str(), row.attributesText.c_str(), unsigned(row.version),
                    row.entries, static_cast<unsigned long long>(row.bytes),
                    row.complete ? "" : "  (incomplete)");
    }
}

void PrintSummary(const RomImage &image, const RomSummary &s) {
    if (s.main != nullptr) {
        PrintCard(image, s);
        if (!s.main->databasesSupported) {
            std::printf("\nDatabase list not supported for this ROM.\n");
        }
    }
    PrintDatabases(s);
    if (!s.problems.empty()) {
        std::printf("\n%zu problem%s:\n", s.problems.size(), s.problems.size() == 1 ? "" : "s");
        for (const std::string &problem : s.problems) {
            std::printf("  %s\n", problem.c_str());
        }
    }
}

} // namespace

int RunInfoCommand(const Arguments &args) {
    std::string path;
    bool json = false;
    for (const std::string &arg : args) {
        if (arg == "-h" || arg == "--help") {
            return Usage();
        }
        if (arg == "--json") {
            json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("info: unknown option \"" + arg + "\"");
        } else if (path.empty()) {
            path = arg;
        } else {
            return Usage("info takes one FILE");
        }
    }
    if (path.empty()) {
        return Usage("info takes one FILE");
    }
    std::string why;
    std::optional<std::vector<uint8_t>> bytes = ReadRomFile(path, why);
    if (!bytes) {
        std::fprintf(stderr, "ostervane-cli: cannot read %s: %s\n", path.c_str(), why.c_str());
        return kExitJobFailed;
    }
    const RomImage image = ReadRomImage(*bytes);
    const RomSummary summary = SummariseRom(image);
    if (json) {
        std::printf("%s\n", SummaryJson(image, summary).c_str());
    } else {
        PrintSummary(image, summary);
    }
    return summary.main != nullptr ? kExitSuccess : kExitJobFailed;
}

} // namespace ostervane::cli
