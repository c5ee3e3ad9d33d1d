// The restore: checks that the handheld matches the image, loads the flasher into handheld
// memory, and flashes the image: piece by piece through the 68k flasher, each piece verified
// by its checksum and the small ROM checked untouched, or in one hand-over to the ARM flasher.
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "ostervane/core/slot_event.h"
#include "ostervane/link/arm_header_order.h"
#include "ostervane/link/byte_order.h"
#include "ostervane/link/crc32.h"
#include "ostervane/link/debug_packet.h"
#include "ostervane/link/flash_geometry.h"
#include "ostervane/link/image_piece.h"

namespace ostervane {

using namespace debugger;

namespace {

constexpr uint32_t kFileBlockSize = 4096;
constexpr int kLoadTries = 10;
constexpr int kFlashTries = 11;
constexpr uint32_t kMinPieceRoom = 0x10000;
constexpr uint32_t kArmParameterOffset = 0x10000;
constexpr uint32_t kArmFlasherOffset = 0x10100;
constexpr uint32_t kArmImageOffset = 0x20000;
constexpr uint32_t kFlasherEntryOffset = 138;
constexpr uint32_t kWorkAreaHeader = 16;
constexpr int32_t kArmImageUnreadable = 1;
constexpr int kFlashReplyAttempts = 100;
constexpr int32_t kFlashStillBusy = 3;
constexpr uint32_t kDeviceRlka = 0x726C6B61; // 'rlka'
constexpr uint32_t kImageMarker = 0xFEEDFACE;

// The 68k flasher's operations (d3).
constexpr uint32_t kFlashOperation = 1;
constexpr uint32_t kChecksumOperation = 2;
constexpr uint32_t kDescribeOperation = 3;
constexpr uint32_t kNoCfiAnswer = 3;

// Register offsets in the saved register block.
constexpr size_t kD0 = 0, kD3 = 3 * 4, kD4 = 4 * 4, kD5 = 5 * 4;
constexpr size_t kA2 = 32 + 2 * 4, kA3 = 32 + 3 * 4, kA4 = 32 + 4 * 4, kA6 = 32 + 6 * 4;
constexpr size_t kStatusRegister = 72;

uint64_t FileSize(std::FILE *file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return 0;
    }
    long size = std::ftell(file);
    std::rewind(file);
    return size < 0 ? 0 : uint64_t(size);
}

// The bytes a restore writes: the whole file, or a whole-card image's big ROM part.
uint32_t WrittenSize(std::FILE *file, uint64_t offset) {
    uint64_t size = FileSize(file);
    return size > offset ? static_cast<uint32_t>(size - offset) : 0;
}

uint16_t BlockCount(uint64_t size) {
    return static_cast<uint16_t>((size + kFileBlockSize - 1) / kFileBlockSize);
}

uint32_t RoundUp(uint32_t value, uint32_t unit) {
    return (value + unit - 1) / unit * unit;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

bool DebugPacket::HandheldMatchesImage() const {
    const ImageIdentity &image = settings_.image;
    if (image.imageDeviceId != 0) {
        return rom_.deviceId == image.imageDeviceId || rom_.deviceId == 0 ||
               (rom_.deviceId == kDeviceArm0 &&
                (image.imageDeviceId == kDeviceMT64 || image.imageDeviceId == kDeviceRlka));
    }
    if (image.imageExpectedEnd != 0) {
        return rom_.bigRomBase + rom_.bigRomLength == image.imageExpectedEnd;
    }
    return image.imageManufacturer == rom_.deviceManufacturer;
}

int32_t DebugPacket::RunRestore() {
    if (!HandheldMatchesImage()) {
        return ErrWrongDevice;
    }
    // An ARM handheld runs its flasher from RAM at the image's load base; an image known only
    // by its heap marker names none, and RAM at 0 is no place to load anything.
    if (rom_.isArm && settings_.image.imageLoadBase == 0) {
        Ask("Restore Failed", "This image does not say where an ARM handheld loads it, so it "
                              "cannot be restored into this handheld.  Nothing was written.");
        return ErrWrongDevice;
    }
    LogLine("Start Restore");
    Report(EvLoadingDriver);
    int32_t status = rom_.isArm ? WriteMemory(settings_.image.imageLoadBase + kArmFlasherOffset,
                                              settings_.armFlashCode.data(),
                                              uint32_t(settings_.armFlashCode.size()))
                                : WriteMemory(rom_.flasherAddress, settings_.flashDatabase.data(),
                                              uint32_t(settings_.flashDatabase.size()));
    if (status != 0) {
        return status;
    }
    status = rom_.isArm ? FlashArm() : Flash68k();
    if (status == 0) {
        LogLine("End Restore");
    }
    RunClosingSteps();
    return status;
}

// Copies image bytes into handheld memory in 4,096-byte groups, each with up to 10 tries, one
// progress step per group.
int32_t DebugPacket::LoadBytes(std::span<const uint8_t> bytes, uint32_t address) {
    for (size_t done = 0; done < bytes.size();) {
        uint32_t size =
            static_cast<uint32_t>(std::min<size_t>(kFileBlockSize, bytes.size() - done));
        int32_t status = 0;
        for (int attempt = 0; attempt < kLoadTries; attempt++) {
            status = WriteMemory(address + uint32_t(done), bytes.data() + done, size);
            if (status == 0) {
                break;
            }
        }
        if (status != 0) {
            return status;
        }
        Report(EvProgressStep);
        done += size;
    }
    return 0;
}

void DebugPacket::LogImagePart() {
    if (settings_.image.imageOffset != 0) {
        char text[80];
        std::snprintf(text, sizeof text, "Whole-card image: writing its big ROM from offset 0x%llX",
                      static_cast<unsigned long long>(settings_.image.imageOffset));
        LogLine(text);
    }
}

int32_t DebugPacket::FlashArm() {
    uint32_t target =
        settings_.image.imageExpectedEnd ? settings_.image.imageExpectedEnd : rom_.bigRomBase;
    if (target < rom_.bigRomBase) {
        // The small ROM in front of the big ROM is never written.
        LogLine("The image would overwrite the small ROM at " + Hex(target));
        return ErrWrongDevice;
    }
    Report(EvLoadingRom);
    File file(std::fopen(settings_.romFileName.c_str(), "rb"));
    if (!file) {
        return kArmImageUnreadable;
    }
    uint64_t offset = settings_.image.imageOffset;
    uint32_t size = WrittenSize(file.get(), offset);
    uint16_t blocks = BlockCount(size);
    Report(EvProgressStart, &blocks);
    LogImagePart();
    uint32_t loadBase = settings_.image.imageLoadBase;
    // The handheld holds its header's signature and version big-endian, as before the backup
    // turned them around.
    std::optional<std::vector<uint8_t>> image = ReadImagePiece(file.get(), offset, size);
    if (!image) {
        Report(EvProgressEnd);
        LogLine("The image file could not be read");
        return kArmImageUnreadable;
    }
    ArmHeaderToHandheldOrder(image->data(), size);
    int32_t status = LoadBytes(*image, loadBase + kArmImageOffset);
    Report(EvProgressEnd);
    file.reset();
    if (status != 0) {
        return status;
    }
    Report(EvFlashingWait);
    uint32_t workArea = loadBase + kArmImageOffset + RoundUp(size, kMinPieceRoom);
    const uint32_t parameters[] = {
        rom_.cardBase, loadBase + kArmImageOffset, size, rom_.markerAddress, target, 0,
        workArea,      rom_.flashBlockSize,        0};
    // The flasher trusts these words blindly, so it is never started on a block that did not
    // arrive whole.
    for (uint32_t i = 0; i < std::size(parameters); i++) {
        uint8_t word[4];
        WriteLe32(word, parameters[i]);
        if (int32_t status = WriteMemory(loadBase + kArmParameterOffset + 4 * i, word, sizeof word);
            status != 0) {
            return status;
        }
    }
    return Resume(loadBase + kArmFlasherOffset);
}

int32_t DebugPacket::CallFlasher(const FlasherCall &call) {
    uint8_t *r = savedRegisters_.data();
    WriteBe32(r + kD3, call.operation);
    WriteBe32(r + kD4, rom_.flashBlockSize);
    WriteBe32(r + kD5, call.count);
    WriteBe32(r + kA2, call.cardBase);
    WriteBe32(r + kA3, call.source);
    WriteBe32(r + kA4, workAreaAddress_);
    WriteBe32(r + kA6, call.destination);
    WriteBe32(r + kProgramCounterOffset, rom_.flasherAddress + kFlasherEntryOffset);
    r[kStatusRegister] = 0x27;
    r[kStatusRegister + 1] = 0x00;
    uint8_t data[kContinueDataSize] = {};
    std::memcpy(data, r, kRegistersSentOnContinue);
    if (int32_t status = SendPacket(kContinue, kContinueDataSize, data); status != 0) {
        return status;
    }
    // The flasher answers with the state packet of its break trap when it is done; a channel
    // that reports it still busy (3) is waited out.
    int32_t status;
    do {
        status = ReceivePacket(kFlashReplyAttempts);
    } while (status == kFlashStillBusy && !StopRequested());
    return status == 0 ? 0 : ErrRead;
}

uint32_t DebugPacket::FlasherResult(int index) const {
    return ReadBe32(savedRegisters_.data() + kD0 + 4 * index);
}

int32_t DebugPacket::FlashBlock(uint32_t cardBase, uint32_t destination, uint32_t source,
                                uint32_t count) {
    if (int32_t status = CallFlasher({kFlashOperation, cardBase, destination, source, count});
        status != 0) {
        return status;
    }
    // The flasher leaves its result in d0; a flash it could not program or verify is a failed
    // flash command like any other, never a success.
    return FlasherResult(0) == 0 ? 0 : ErrWrite;
}

int32_t DebugPacket::FlashChecksum(uint32_t address, uint32_t count, uint32_t *crc) {
    int32_t status = CallFlasher({kChecksumOperation, rom_.cardBase, address, 0, count});
    *crc = FlasherResult(0);
    return status;
}

int32_t DebugPacket::DescribeFlash(FlashGeometry *geometry) {
    uint32_t buffer = rom_.imageBufferAddress;
    if (int32_t status = CallFlasher({kDescribeOperation, rom_.cardBase, 0, buffer, 0});
        status != 0) {
        return status;
    }
    // Without a CFI answer (3) the description still names the command set and the ids.
    uint32_t result = FlasherResult(0);
    uint8_t description[FlashGeometry::kMaxDescriptionSize] = {};
    bool described = (result == 0 || result == kNoCfiAnswer) &&
                     ReadMemory(buffer, description, sizeof description) == 0;
    *geometry = FlashGeometry::FromDescription(description, described ? sizeof description : 0,
                                               rom_.cardBase, rom_.flashBlockSize);
    if (result != 0) {
        geometry->regions.clear();
    }
    return 0;
}

// One piece: the first flash command and 10 repeats, each checked by the checksum of the
// flash the piece went to.
int32_t DebugPacket::FlashPieceWithRetries(const FlashPiece &piece, uint32_t crc,
                                           uint32_t *keptBelow) {
    int32_t status = 0;
    for (int attempt = 0; attempt < kFlashTries; attempt++) {
        status = FlashBlock(rom_.cardBase, piece.address, rom_.imageBufferAddress, piece.length);
        *keptBelow = status == 0 ? FlasherResult(2) : 0;
        uint32_t flashCrc = 0;
        if (status == 0) {
            status = FlashChecksum(piece.address, piece.length, &flashCrc);
        }
        if (status == 0 && flashCrc != crc) {
            status = ErrWrite;
        }
        if (status == 0 || StopRequested()) {
            break;
        }
    }
    if (status != 0) {
        char text[80];
        std::snprintf(text, sizeof text, "Flashing %s failed, flasher result %X",
                      Hex(piece.address).c_str(), FlasherResult(0));
        LogLine(text);
    }
    return status;
}

int32_t DebugPacket::FlashOnePiece(const FlashPiece &piece, std::span<const uint8_t> bytes,
                                   const FlashGeometry &geometry) {
    uint32_t crc = Crc32(bytes.data(), bytes.size());
    if (settings_.onlyChanged) {
        uint32_t flashCrc = 0;
        if (int32_t status = FlashChecksum(piece.address, piece.length, &flashCrc); status != 0) {
            return status;
        }
        if (flashCrc == crc) {
            for (uint16_t step = BlockCount(piece.length); step > 0; --step) {
                Report(EvProgressStep);
            }
            return 0;
        }
    }
    if (int32_t status = LoadBytes(bytes, rom_.imageBufferAddress); status != 0) {
        return status;
    }
    uint32_t keptBelow = 0;
    if (int32_t status = FlashPieceWithRetries(piece, crc, &keptBelow); status != 0) {
        return status;
    }
    if (keptBelow != 0) {
        LogLine("Small ROM kept: sector at " + Hex(geometry.SectorAt(piece.address).start) +
                " rewritten around it");
    }
    return 0;
}

int32_t DebugPacket::SmallRomChecksum(uint32_t *crc) {
    *crc = 0;
    if (rom_.bigRomBase <= rom_.cardBase) {
        return 0;
    }
    return FlashChecksum(rom_.cardBase, rom_.bigRomBase - rom_.cardBase, crc);
}

int32_t DebugPacket::FlashImage68k(std::FILE *file, uint64_t offset, uint32_t size) {
    FlashGeometry geometry;
    if (int32_t status = DescribeFlash(&geometry); status != 0) {
        return status;
    }
    LogLine("Flash: " + geometry.Text());
    // The work area, where the flasher keeps a sector's bytes while it rewrites it, lies past
    // the room of the largest piece; its tag starts cleared.
    workAreaAddress_ = rom_.imageBufferAddress + std::max(kMinPieceRoom, geometry.LargestSector());
    const uint8_t clearedTag[kWorkAreaHeader] = {};
    if (int32_t status = WriteMemory(workAreaAddress_, clearedTag, sizeof clearedTag);
        status != 0) {
        return status;
    }
    uint32_t smallRomBefore = 0, smallRomAfter = 0;
    if (int32_t status = SmallRomChecksum(&smallRomBefore); status != 0) {
        return status;
    }
    for (const FlashPiece &piece : PlanFlashPieces(rom_.bigRomBase, size, geometry)) {
        std::optional<std::vector<uint8_t>> bytes =
            ReadImagePiece(file, offset + piece.fileOffset, piece.length);
        if (!bytes) {
            LogLine("The image file could not be read at " + Hex(piece.fileOffset));
            return ErrCannotOpenFile;
        }
        if (int32_t status = FlashOnePiece(piece, *bytes, geometry); status != 0) {
            return status;
        }
    }
    if (int32_t status = SmallRomChecksum(&smallRomAfter); status != 0) {
        return status;
    }
    if (smallRomAfter != smallRomBefore) {
        LogLine("The small ROM changed during the restore");
        return ErrWrite;
    }
    return 0;
}

int32_t DebugPacket::Flash68k() {
    Report(EvFlashing);
    File file(std::fopen(settings_.romFileName.c_str(), "rb"));
    if (!file) {
        return ErrCannotOpenFile;
    }
    uint64_t offset = settings_.image.imageOffset;
    uint32_t size = WrittenSize(file.get(), offset);
    uint16_t blocks = BlockCount(size);
    Report(EvProgressStart, &blocks);
    LogImagePart();
    int32_t status = FlashImage68k(file.get(), offset, size);
    Report(EvProgressEnd);
    file.reset();
    if (status != 0) {
        return status;
    }
    return ClearImageMarkers();
}

// Marks every listed address whose marker was found at the chosen marker address as cleared.
int32_t DebugPacket::ClearImageMarkers() {
    const auto &list = settings_.image.imageAddressList;
    if (!list.has_value()) {
        return 0;
    }
    int32_t status = 0;
    for (uint32_t address : *list) {
        uint8_t word[4] = {};
        status = ReadMemory(rom_.markerAddress, word, sizeof word);
        if (status == 0 && ReadBe32(word) == kImageMarker) {
            const uint8_t cleared[4] = {0xFF, 0xFF, 0xFF, 0xFF};
            WriteMemory(address, cleared, sizeof cleared);
        }
    }
    return status;
}

} // namespace ostervane
