// Reading a ROM image: where its parts start, their card and storage headers, and the LocalID
// mapping the later steps (heaps, directory) use.
#include "ostervane/core/rom_reader.h"

#include <algorithm>
#include <cstdio>

#include "ostervane/core/rom_image.h"
#include "ostervane/core/rom_part_reading.h"
#include "ostervane/core/rom_text.h"

namespace ostervane {

using rom_reading::Hex;
using rom_reading::LocalIdFault;
using rom_reading::PartReading;
using rom_reading::RomFields;

namespace {

constexpr uint32_t kCardSignature = 0xFEEDBEEF;
constexpr uint32_t kStoreSignature = 0xFEEDFACE;
constexpr uint16_t kLastM68kVersion = 5;
constexpr uint32_t kBlockListPastBase = 0x200;
constexpr uint64_t kStorageHeaderOffset = 0x100;
constexpr uint64_t kStorageHeaderSize = 256;
constexpr uint64_t kArmVectorsSize = 0x60;
constexpr uint32_t kLargestInitStack = 0x100000;
constexpr size_t kNameFieldSize = 32;

// The byte order of the header's fields, and whether it is an ARM one.  An ARM header keeps
// its signature and version big-endian on the handheld and little-endian in a backup; its other
// fields are little-endian either way.
bool HeaderKind(std::span<const uint8_t> bytes, uint64_t offset, RomCardHeader &card,
                std::string &why) {
    RomFields big(bytes, RomByteOrder::BigEndian), little(bytes, RomByteOrder::LittleEndian);
    if (big.U32(offset + 8) == kCardSignature) {
        card.headerVersion = big.U16(offset + 12);
        card.arm = card.headerVersion > kLastM68kVersion;
    } else if (little.U32(offset + 8) == kCardSignature) {
        card.headerVersion = little.U16(offset + 12);
        card.arm = true;
        if (card.headerVersion <= kLastM68kVersion) {
            why = "a little-endian card header of version " + std::to_string(card.headerVersion) +
                  " is of no known layout";
            return false;
        }
    } else {
        why = "no card header signature";
        return false;
    }
    if (card.headerVersion == 0) {
        why = "card header version 0";
        return false;
    }
    card.order = card.arm ? RomByteOrder::LittleEndian : RomByteOrder::BigEndian;
    return true;
}

// The fields both card header layouts keep at the same offsets.
void ReadSharedCardFields(const RomFields &f, uint64_t at, RomCardHeader &card) {
    card.initStack = f.U32(at); // a branch instruction on ARM
    card.resetVector = f.U32(at + 4);
    card.flags = f.U16(at + 14);
    card.name = f.Text(at + 16, kNameFieldSize);
    card.manufacturer = f.Text(at + 48, kNameFieldSize);
    card.cardVersion = f.U16(at + 80);
}

void Read68kCardFields(const RomFields &f, uint64_t at, RomCardHeader &card) {
    ReadSharedCardFields(f, at, card);
    card.creationDate = f.U32(at + 82);
    card.numRamBlocks = f.U16(at + 86);
    card.blockListOffset = f.U32(at + 88);
    const uint16_t version = card.headerVersion;
    if (version >= 2) {
        card.readWriteParmsOffset = f.U32(at + 92);
        card.readWriteParmsSize = f.U32(at + 96);
        card.readOnlyParmsOffset = f.U32(at + 100);
        card.bigRomOffset = f.U32(at + 104);
        card.checksumBytes = f.U32(at + 108);
        card.checksumValue = f.U16(at + 112);
    }
    if (version >= 3) {
        card.readWriteWorkingOffset = f.U32(at + 114);
        card.readWriteWorkingSize = f.U32(at + 118);
    }
    if (version >= 4) {
        card.halCodeOffset = f.U32(at + 122);
    }
    if (version >= 5) {
        card.companyId = f.U32(at + 126);
        card.halId = f.U32(at + 130);
        card.romVersionNumber = f.U32(at + 134);
        card.romVersionString = f.Text(at + 138, kNameFieldSize);
    }
}

void ReadArmCardFields(const RomFields &f, uint64_t at, RomCardHeader &card) {
    ReadSharedCardFields(f, at, card);
    card.numRamBlocks = f.U16(at + 82);
    card.creationDate = f.U32(at + 84);
    card.blockListOffset = f.U32(at + 88);
    card.readOnlyParmsOffset = f.U32(at + 100);
    card.bigRomOffset = f.U32(at + 104);
    card.checksumBytes = f.U32(at + 108);
    card.checksumValue = f.U16(at + 112);
    card.companyId = f.U32(at + 128);
    card.halId = f.U32(at + 132);
    card.romVersionNumber = f.U32(at + 136);
    card.romVersionString = f.Text(at + 140, kNameFieldSize);
}

// Where the parts start: a whole card's small ROM header (at 0, or after an ARM image's
// exception vectors) and its big ROM header, found as identification finds it.
struct PartPlaces {
    std::optional<uint64_t> small;
    std::optional<uint64_t> big;
};

std::optional<uint64_t> FirstHeader(std::span<const uint8_t> bytes, std::string &why) {
    for (uint64_t offset : {uint64_t(0), kArmVectorsSize}) {
        if (ReadCardHeader(bytes, offset, offset == 0 ? &why : nullptr)) {
            return offset;
        }
    }
    return std::nullopt;
}

// A header that names a big ROM other than itself is a small ROM's.
bool NamesAnotherBigRom(const RomCardHeader &card) {
    return card.headerVersion >= 2 && card.blockListOffset >= kBlockListPastBase &&
           card.bigRomOffset > card.base && ((card.bigRomOffset ^ card.base) & 0xFFFFF) != 0;
}

PartPlaces FindParts(std::span<const uint8_t> bytes, std::vector<std::string> &problems) {
    PartPlaces places;
    std::string why;
    std::optional<uint64_t> first = FirstHeader(bytes, why);
    if (!first) {
        problems.push_back("no card header at the start of the image: " + why);
        return places;
    }
    uint64_t bigOffset =
        FindBigRomOffset(bytes.first(std::min(bytes.size(), kRomImageHeadSize)), bytes.size());
    if (bigOffset != 0) {
        places.small = first;
        if (ReadCardHeader(bytes, bigOffset, &why)) {
            places.big = bigOffset;
        } else {
            problems.push_back("big ROM card header at " + Hex(bigOffset) + ": " + why);
        }
        return places;
    }
    std::optional<RomCardHeader> card = ReadCardHeader(bytes, *first);
    if (*first == 0 && !NamesAnotherBigRom(*card)) {
        places.big = 0;
        return places;
    }
    places.small = first;
    problems.push_back("small ROM: the big ROM it names (" + Hex(card->bigRomOffset) +
                       ") is not in the image");
    return places;
}

void CrossCheckBase(const RomCardHeader &card, RomPartKind kind,
                    std::vector<std::string> &problems) {
    const std::string where = std::string(PartName(kind)) + " card header";
    if (!card.arm && (card.initStack == 0 || card.initStack >= kLargestInitStack)) {
        problems.push_back(where + ": initial stack " + Hex(card.initStack) +
                           " is not that of a ROM");
    }
    if (card.blockListOffset < kBlockListPastBase) {
        problems.push_back(where + ": RAM block list at " + Hex(card.blockListOffset) +
                           " is below 0x200, so its LocalIDs cannot be placed");
    } else if (kind == RomPartKind::Big && card.headerVersion >= 2 &&
               card.bigRomOffset != card.base) {
        problems.push_back(where + ": its base " + Hex(card.base) +
                           " differs from the big ROM address it gives, " + Hex(card.bigRomOffset));
    }
}

RomPart ReadPart(std::span<const uint8_t> bytes, RomPartKind kind, uint64_t offset, uint64_t end,
                 std::vector<std::string> &problems) {
    RomPart part;
    part.kind = kind;
    part.card = *ReadCardHeader(bytes, offset);
    part.extent = {offset, end - offset};
    CrossCheckBase(part.card, kind, problems);
    if (part.card.blockListOffset < kBlockListPastBase) {
        return part;
    }
    PartReading reading(bytes, part, problems);
    rom_reading::ReadStorageHeader(reading);
    if (part.storage) {
        rom_reading::ReadHeaps(reading);
    }
    if (part.databasesSupported && !part.chunkIndex.empty()) {
        rom_reading::ReadDirectory(reading);
    }
    return part;
}

} // namespace

namespace rom_reading {

std::string RomFields::Text(uint64_t at, size_t fieldSize) const {
    const char *start = reinterpret_cast<const char *>(&bytes_[size_t(at)]);
    return std::string(start, std::find(start, start + fieldSize, '\0'));
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

void PartReading::Problem(const std::string &where, const std::string &what) {
    problems_.push_back(std::string(PartName(part.kind)) + (where.empty() ? "" : ", ") + where +
                        ": " + what);
}

std::optional<uint64_t> PartReading::FileOffsetOf(uint32_t localId, uint64_t count,
                                                  LocalIdFault *fault) const {
    LocalIdFault ignored;
    LocalIdFault &out = fault != nullptr ? *fault : ignored;
    if (localId < part.card.base) {
        out = LocalIdFault::BeforePart;
        return std::nullopt;
    }
    const uint64_t offset = part.card.fileOffset + (uint64_t(localId) - part.card.base);
    if (!fields.Has(offset, count)) {
        out = LocalIdFault::PastEnd;
        return std::nullopt;
    }
    out = LocalIdFault::None;
    return offset;
}

std::optional<uint32_t> PartReading::LocalIdOf(uint64_t fileOffset) const {
    const uint64_t localId = uint64_t(part.card.base) + (fileOffset - part.card.fileOffset);
    if (fileOffset < part.card.fileOffset || localId > UINT32_MAX) {
        return std::nullopt;
    }
    return uint32_t(localId);
}

const RomChunk *PartReading::ResolveChunk(uint32_t localId, LocalIdFault &fault) const {
    if (localId == 0) {
        fault = LocalIdFault::Zero;
        return nullptr;
    }
    if (localId & 1) {
        fault = LocalIdFault::Odd;
        return nullptr;
    }
    if (!FileOffsetOf(localId, 1, &fault)) {
        return nullptr;
    }
    const RomChunk *chunk = part.ChunkAt(localId);
    fault = chunk == nullptr ? LocalIdFault::NotChunk
            : chunk->free    ? LocalIdFault::FreeChunk
                             : LocalIdFault::None;
    return fault == LocalIdFault::None ? chunk : nullptr;
}

std::string LocalIdFaultText(LocalIdFault fault, uint32_t localId) {
    const std::string id = " (LocalID " + Hex(localId) + ")";
    switch (fault) {
    case LocalIdFault::Zero:
        return "has no data (LocalID 0)";
    case LocalIdFault::Odd:
        return "is a handle" + id + ", which a ROM store does not use";
    case LocalIdFault::BeforePart:
        return "lies before the start of the part" + id;
    case LocalIdFault::PastEnd:
        return "lies past the end of the image" + id;
    case LocalIdFault::NotChunk:
        return "is not the start of a chunk" + id;
    case LocalIdFault::FreeChunk:
        return "names a free chunk" + id;
    case LocalIdFault::None:
        break;
    }
    return "is fine" + id;
}

void ReadStorageHeader(PartReading &reading) {
    const RomFields &f = reading.fields;
    const uint64_t at = reading.part.card.fileOffset + kStorageHeaderOffset;
    if (!f.Has(at, kStorageHeaderSize)) {
        reading.Problem("storage header", "cut short by the end of the image at " + Hex(f.Size()));
        return;
    }
    if (f.U32(at) != kStoreSignature) {
        reading.Problem("storage header at " + Hex(at), "no store signature");
        return;
    }
    RomStorageHeader store;
    store.fileOffset = at;
    store.version = f.U16(at + 4);
    store.flags = f.U16(at + 6);
    store.name = f.Text(at + 8, kNameFieldSize);
    store.creationDate = f.U32(at + 40);
    store.backupDate = f.U32(at + 44);
    store.heapListOffset = f.U32(at + 48);
    store.initCodeOffset1 = f.U32(at + 52);
    store.initCodeOffset2 = f.U32(at + 56);
    store.databaseDirId = f.U32(at + 60);
    const bool arm = reading.Arm();
    store.splashScreenPtr = f.U32(at + (arm ? 88 : 86));
    store.hardResetScreenPtr = f.U32(at + (arm ? 92 : 90));
    store.localeLanguage = f.U16(at + (arm ? 96 : 94));
    store.localeCountry = f.U16(at + (arm ? 98 : 96));
    if (store.flags & 0x0001) {
        reading.Problem("storage header", "marked as a RAM store");
    }
    reading.part.storage = store;
}

} // namespace rom_reading

uint64_t RomDatabase::DataBytes() const {
    uint64_t total = (appInfo ? appInfo->size : 0) + (sortInfo ? sortInfo->size : 0);
    for (const RomRecord &record : records) {
        total += record.data ? record.data->size : 0;
    }
    for (const RomResource &resource : resources) {
        total += resource.data ? resource.data->size : 0;
    }
    return total;
}

const RomChunk *RomPart::ChunkAt(uint32_t localId) const {
    auto found = std::lower_bound(
        chunkIndex.begin(), chunkIndex.end(), localId,
        [](const std::pair<uint32_t, size_t> &entry, uint32_t id) { return entry.first < id; });
    return found != chunkIndex.end() && found->first == localId ? &chunks[found->second] : nullptr;
}

std::vector<const RomDatabase *> RomImage::Databases() const {
    std::vector<const RomDatabase *> all;
    for (const std::optional<RomPart> *part : {&small, &big}) {
        if (*part) {
            for (const RomDatabase &database : (*part)->databases) {
                all.push_back(&database);
            }
        }
    }
    return all;
}

const RomPart *RomImage::MainPart() const {
    return big ? &*big : small ? &*small : nullptr;
}

const char *PartName(RomPartKind kind) {
    return kind == RomPartKind::Small ? "small ROM" : "big ROM";
}

std::optional<RomCardHeader> ReadCardHeader(std::span<const uint8_t> bytes, uint64_t offset,
                                            std::string *why) {
    std::string reason;
    RomCardHeader card;
    card.fileOffset = offset;
    if (!RomFields(bytes, RomByteOrder::BigEndian).Has(offset, kCardHeaderSize)) {
        reason = "the image ends before a card header at " + Hex(offset) + " is complete";
    } else if (HeaderKind(bytes, offset, card, reason)) {
        RomFields fields(bytes, card.order);
        card.arm ? ReadArmCardFields(fields, offset, card)
                 : Read68kCardFields(fields, offset, card);
        if (card.flags & kRomCardFlagRamOnly) {
            reason = "the card header is that of a RAM-only card";
        } else {
            card.base = card.blockListOffset >= kBlockListPastBase
                            ? card.blockListOffset - kBlockListPastBase
                            : 0;
            return card;
        }
    }
    if (why != nullptr) {
        *why = reason;
    }
    return std::nullopt;
}

RomImage ReadRomImage(std::span<const uint8_t> bytes) {
    RomImage image;
    image.bytes = bytes;
    PartPlaces places = FindParts(bytes, image.problems);
    image.wholeCard = places.small.has_value();
    const uint64_t end = bytes.size();
    if (places.small) {
        image.small = ReadPart(bytes, RomPartKind::Small, *places.small, places.big.value_or(end),
                               image.problems);
    }
    if (places.big) {
        image.big = ReadPart(bytes, RomPartKind::Big, *places.big, end, image.problems);
    }
    return image;
}

} // namespace ostervane
