// The restore: checks that the handheld matches the image, loads the flasher into handheld
// memory, and flashes the image: block by block through the 68k flasher, or in one hand-over
// to the ARM flasher.
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "ostervane/core/slot_event.h"
#include "ostervane/link/byte_order.h"
#include "ostervane/link/debug_packet.h"

namespace ostervane {

using namespace debugger;

namespace {

constexpr uint32_t kFileBlockSize = 4096;
constexpr int kLoadTries = 10;
constexpr int kFlashTries = 11;
constexpr uint32_t kFlashPieceBoundary = 0x10000;
constexpr uint32_t kArmParameterOffset = 0x10000;
constexpr uint32_t kArmFlasherOffset = 0x10100;
constexpr uint32_t kArmImageOffset = 0x20000;
constexpr uint32_t kFlasherEntryOffset = 138;
constexpr int32_t kArmImageUnreadable = 1;
constexpr int kFlashReplyAttempts = 100;
constexpr int32_t kFlashStillBusy = 3;
constexpr uint32_t kDeviceRlka = 0x726C6B61; // 'rlka'
constexpr uint32_t kImageMarker = 0xFEEDFACE;

// Register offsets in the saved register block.
constexpr size_t kD3 = 3 * 4, kD4 = 4 * 4, kD5 = 5 * 4;
constexpr size_t kA2 = 32 + 2 * 4, kA3 = 32 + 3 * 4, kA6 = 32 + 6 * 4;
constexpr size_t kStatusRegister = 72;

uint64_t FileSize(std::FILE *file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return 0;
    }
    long size = std::ftell(file);
    std::rewind(file);
    return size < 0 ? 0 : uint64_t(size);
}

uint16_t BlockCount(uint64_t size) {
    return static_cast<uint16_t>((size + kFileBlockSize - 1) / kFileBlockSize);
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

int32_t DebugPacket::LoadFile(std::FILE *file, uint32_t address, uint32_t count) {
    std::vector<uint8_t> piece(kFileBlockSize);
    for (uint32_t done = 0; done < count;) {
        uint32_t size = std::min(kFileBlockSize, count - done);
        size_t got = std::fread(piece.data(), 1, size, file);
        std::fill(piece.begin() + got, piece.begin() + size, 0xFF);
        int32_t status = 0;
        for (int attempt = 0; attempt < kLoadTries; attempt++) {
            status = WriteMemory(address + done, piece.data(), size);
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

int32_t DebugPacket::FlashArm() {
    Report(EvLoadingRom);
    File file(std::fopen(settings_.romFileName.c_str(), "rb"));
    if (!file) {
        return kArmImageUnreadable;
    }
    uint32_t size = static_cast<uint32_t>(FileSize(file.get()));
    uint16_t blocks = BlockCount(size);
    Report(EvProgressStart, &blocks);
    uint32_t loadBase = settings_.image.imageLoadBase;
    int32_t status = LoadFile(file.get(), loadBase + kArmImageOffset, size);
    Report(EvProgressEnd);
    file.reset();
    if (status != 0) {
        return status;
    }
    Report(EvFlashingWait);
    uint32_t end =
        settings_.image.imageExpectedEnd ? settings_.image.imageExpectedEnd : rom_.bigRomBase;
    const uint32_t parameters[5] = {rom_.cardBase, loadBase + kArmImageOffset, size,
                                    rom_.markerAddress, end};
    // The flasher trusts these words blindly, so it is never started on a block that did not
    // arrive whole.
    for (uint32_t i = 0; i < 5; i++) {
        uint8_t word[4];
        WriteLe32(word, parameters[i]);
        if (int32_t status = WriteMemory(loadBase + kArmParameterOffset + 4 * i, word, sizeof word);
            status != 0) {
            return status;
        }
    }
    return Resume(loadBase + kArmFlasherOffset);
}

int32_t DebugPacket::FlashBlock(uint32_t cardBase, uint32_t destination, uint32_t source,
                                uint32_t count) {
    uint8_t *r = savedRegisters_.data();
    WriteBe32(r + kD3, 1);
    WriteBe32(r + kD4, rom_.flashBlockSize);
    WriteBe32(r + kD5, count);
    WriteBe32(r + kA2, cardBase);
    WriteBe32(r + kA3, source);
    WriteBe32(r + kA6, destination);
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
    if (status != 0) {
        return ErrRead;
    }
    // The flasher leaves its result in d0; a flash it could not program or verify is a failed
    // flash command like any other, never a success.
    return ReadBe32(savedRegisters_.data()) == 0 ? 0 : ErrWrite;
}

// One piece gets the first flash command and 10 repeats.
int32_t DebugPacket::FlashWithRetries(uint32_t destination, uint32_t count) {
    int32_t status = 0;
    for (int attempt = 0; attempt < kFlashTries; attempt++) {
        status = FlashBlock(rom_.cardBase, destination, rom_.imageBufferAddress, count);
        if (status == 0 || StopRequested()) {
            break;
        }
    }
    return status;
}

int32_t DebugPacket::Flash68k() {
    Report(EvFlashing);
    File file(std::fopen(settings_.romFileName.c_str(), "rb"));
    if (!file) {
        return ErrCannotOpenFile;
    }
    uint32_t remaining = static_cast<uint32_t>(FileSize(file.get()));
    uint16_t blocks = BlockCount(remaining);
    Report(EvProgressStart, &blocks);
    uint32_t destination = rom_.bigRomBase;
    int32_t status = 0;
    while (remaining > 0 && status == 0) {
        uint32_t piece =
            std::min(kFlashPieceBoundary - destination % kFlashPieceBoundary, remaining);
        status = LoadFile(file.get(), rom_.imageBufferAddress, piece);
        if (status == 0) {
            status = FlashWithRetries(destination, piece);
        }
        destination += piece;
        remaining -= piece;
    }
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
