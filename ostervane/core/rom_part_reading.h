// Shared by the ROM reader's steps: bounds-checked numbers in one byte order, and the state of
// reading one part of an image (its LocalID mapping and where problems go).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ostervane/core/rom_reader.h"

namespace ostervane::rom_reading {

// Numbers and texts of the image in one byte order.  U8/U16/U32/Text read only what Has allowed.
class RomFields {
public:
    RomFields(std::span<const uint8_t> bytes, RomByteOrder order) : bytes_(bytes), order_(order) {}

    bool Has(uint64_t offset, uint64_t count) const {
        return offset <= bytes_.size() && bytes_.size() - offset >= count;
    }
    uint8_t U8(uint64_t at) const { return bytes_[size_t(at)]; }
    uint16_t U16(uint64_t at) const {
        const uint8_t *p = &bytes_[size_t(at)];
        return order_ == RomByteOrder::BigEndian ? uint16_t(p[0] << 8 | p[1])
                                                 : uint16_t(p[1] << 8 | p[0]);
    }
    uint32_t U32(uint64_t at) const {
        const uint8_t *p = &bytes_[size_t(at)];
        return order_ == RomByteOrder::BigEndian
                   ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                   : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    // The bytes of a text field up to its NUL (all of them when there is none).
    std::string Text(uint64_t at, size_t fieldSize) const;
    uint64_t Size() const { return bytes_.size(); }
    RomByteOrder Order() const { return order_; }

private:
    std::span<const uint8_t> bytes_;
    RomByteOrder order_;
};

// "0x1A2B".
std::string Hex(uint64_t value);

// Why a LocalID does not lead to a chunk's data.
enum class LocalIdFault { None, Zero, Odd, BeforePart, PastEnd, NotChunk, FreeChunk };

// Reading one part: its fields, its LocalID mapping, and the problems found, each prefixed
// with the part's name.
class PartReading {
public:
    PartReading(std::span<const uint8_t> bytes, RomPart &part, std::vector<std::string> &problems)
        : fields(bytes, part.card.order), part(part), problems_(problems) {}

    void Problem(const std::string &where, const std::string &what);
    // The file offset of `count` bytes at LocalID `localId`, or nullopt (BeforePart or PastEnd
    // in `fault`) when they do not lie wholly inside the image.
    std::optional<uint64_t> FileOffsetOf(uint32_t localId, uint64_t count,
                                         LocalIdFault *fault = nullptr) const;
    // The LocalID of a file offset; nullopt when it is beyond 32 bits.
    std::optional<uint32_t> LocalIdOf(uint64_t fileOffset) const;
    // The chunk whose data `localId` names, or nullptr with the reason.
    const RomChunk *ResolveChunk(uint32_t localId, LocalIdFault &fault) const;
    bool Arm() const { return part.card.arm; }

    RomFields fields;
    RomPart &part;

private:
    std::vector<std::string> &problems_;
};

// The reason text for a fault: "lies past the end of the image", "is not the start of a chunk".
std::string LocalIdFaultText(LocalIdFault fault, uint32_t localId);

// Steps of reading a part, in order.
void ReadStorageHeader(PartReading &reading);
void ReadHeaps(PartReading &reading);
void ReadDirectory(PartReading &reading);

} // namespace ostervane::rom_reading
