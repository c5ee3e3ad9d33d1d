// Summarising a read ROM image for display.
#include "ostervane/core/rom_summary.h"

#include <algorithm>
#include <cstdio>

#include "ostervane/core/rom_features.h"
#include "ostervane/core/rom_text.h"

namespace ostervane {
namespace {

RomDatabaseRow RowOf(const RomDatabase &database) {
    RomDatabaseRow row;
    row.database = &database;
    row.name = Utf8FromWindows1252(database.name);
    row.type = FourCharText(database.type);
    row.creator = FourCharText(database.creator);
    row.attributes = database.attributes;
    row.attributesText = DatabaseAttributeText(database.attributes);
    row.version = database.version;
    row.entries = database.EntryCount();
    row.bytes = database.DataBytes();
    row.part = database.part == RomPartKind::Small ? "small" : "big";
    row.complete = database.complete;
    return row;
}

RomImageInfo Identify(std::span<const uint8_t> bytes) {
    return AnalyseRomImage(bytes.first(std::min(bytes.size(), kRomImageHeadSize)),
                           bytes.last(std::min(bytes.size(), kRomImageTailSize)), bytes.size());
}

} // namespace

std::string DatabaseAttributeText(uint16_t attributes) {
    static const char *const kNames[16] = {
        "resource", "readonly",   "dirty",      "backup", "newer", "reset", "copyprevent", "stream",
        "hidden",   "launchable", "recyclable", "bundle", nullptr, nullptr, nullptr,       "open"};
    std::string text;
    for (int bit = 0; bit < 16; bit++) {
        if ((attributes >> bit & 1) == 0) {
            continue;
        }
        char unnamed[8];
        std::snprintf(unnamed, sizeof unnamed, "0x%X", 1u << bit);
        text += (text.empty() ? "" : "|") + std::string(kNames[bit] ? kNames[bit] : unnamed);
    }
    return text;
}

RomSummary SummariseRom(const RomImage &image) {
    RomSummary summary;
    summary.main = image.MainPart();
    summary.problems = image.problems;
    std::vector<RomFeature> features = ReadFeatureTable(image, &summary.problems);
    summary.osVersion = RomOsVersion(features);
    summary.osVersionText = summary.osVersion ? PalmVersionText(*summary.osVersion) : "";
    if (summary.main != nullptr) {
        summary.cpuFamily = RomCpuFamily(summary.main->card, features);
        summary.checksum = CheckRomChecksum(image.bytes.subspan(summary.main->card.fileOffset));
    }
    if (image.small && image.big) {
        summary.smallChecksum = CheckRomChecksum(image.bytes.subspan(image.small->card.fileOffset));
    }
    summary.identification = Identify(image.bytes);
    summary.verdict = VerdictIfAccepted(summary.identification);
    for (const RomDatabase *database : image.Databases()) {
        summary.rows.push_back(RowOf(*database));
    }
    return summary;
}

} // namespace ostervane
