// Fuzz target: arbitrary bytes identified as a ROM image, both from memory and as a file, with
// warnings answered OK and Cancel in turn.  Both ways must agree, and the result must hold
// together: a name of at most 32 characters (the whole field when it has no terminator), a family's
// fields only for an identified image, a part to write that is the whole file or starts with a card
// header found within the bytes read, and a restore only for an image that is known and whose
// written part is small enough. The written part's checksum is checked too, from memory and in
// pieces, with the same result.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include <unistd.h>

#include "ostervane/core/rom_checksum.h"
#include "ostervane/core/rom_image.h"

namespace {

using namespace ostervane;

class AlternatingPrompter : public Prompter {
public:
    PromptAnswer Ask(const std::string &, const std::string &, PromptButtons buttons,
                     PromptIcon) override {
        if (buttons == PromptButtons::Ok) {
            return PromptAnswer::Ok;
        }
        cancelNext_ = !cancelNext_;
        return cancelNext_ ? PromptAnswer::Ok : PromptAnswer::Cancel;
    }

private:
    bool cancelNext_ = true;
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool StartsWithCardHeader(std::span<const uint8_t> bytes) {
    const uint8_t bigEndian[4] = {0xFE, 0xED, 0xBE, 0xEF},
                  littleEndian[4] = {0xEF, 0xBE, 0xED, 0xFE};
    return bytes.size() >= kCardHeaderSize &&
           (std::equal(bigEndian, bigEndian + 4, &bytes[8]) ||
            std::equal(littleEndian, littleEndian + 4, &bytes[8]));
}

void CheckPartWritten(const RomImageInfo &info, std::span<const uint8_t> bytes) {
    Check(info.fileSize == bytes.size());
    Check(info.wholeCard == (info.bigRomOffset != 0));
    Check(info.bigRomOffset + info.writeSize == info.fileSize);
    if (info.wholeCard) {
        Check(info.bigRomOffset + kCardHeaderSize <= std::min(bytes.size(), kRomImageHeadSize));
        Check(StartsWithCardHeader(bytes.subspan(info.bigRomOffset)));
    }
}

void CheckConsistent(const RomIdentification &result) {
    const RomImageInfo &info = result.info;
    Check(info.imageManufacturer.size() <= kManufacturerFieldSize);
    Check(info.identified == !info.imageAddressList.empty());
    Check(info.identified == (info.sizeLimit != 0));
    Check(!info.markerFound || info.imageDeviceId == 0);
    Check(info.markerFound || info.imageExpectedEnd == 0);
    Check(info.warningCaption.empty() || (info.identified && info.imageDeviceId == 0));
    if (result.verdict == RomVerdict::Restore) {
        Check(info.goOn && (info.identified || info.markerFound));
        Check(!info.identified || info.writeSize <= info.sizeLimit);
    }
}

bool SameInfo(const RomImageInfo &a, const RomImageInfo &b) {
    return a.imageDeviceId == b.imageDeviceId && a.imageAddressList == b.imageAddressList &&
           a.imageLoadBase == b.imageLoadBase && a.sizeLimit == b.sizeLimit &&
           a.imageManufacturer == b.imageManufacturer && a.imageExpectedEnd == b.imageExpectedEnd &&
           a.fileSize == b.fileSize && a.bigRomOffset == b.bigRomOffset &&
           a.wholeCard == b.wholeCard && a.writeSize == b.writeSize &&
           a.identified == b.identified && a.markerFound == b.markerFound &&
           a.warningCaption == b.warningCaption;
}

const std::string &ScratchPath() {
    static const std::string path = "/tmp/fuzz_identify_rom_image." + std::to_string(getpid());
    static const bool removedAtExit = std::atexit([] { std::remove(ScratchPath().c_str()); }) == 0;
    (void)removedAtExit;
    return path;
}

std::optional<RomImageInfo> ExamineAsFile(const uint8_t *data, size_t size) {
    std::FILE *file = std::fopen(ScratchPath().c_str(), "wb");
    Check(file != nullptr);
    Check(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
    return ExamineRomImageFile(ScratchPath());
}

// A result computed only over bytes the part has, agreeing with itself and with a reading in
// pieces that never strays past the part.
void CheckChecksum(std::span<const uint8_t> part) {
    RomChecksumResult result = CheckRomChecksum(part);
    bool compared =
        result.state == RomChecksumState::Verified || result.state == RomChecksumState::Mismatch;
    Check(!result.text.empty());
    Check(!compared ||
          (result.coveredBytes >= kCardHeaderSize && result.coveredBytes <= part.size()));
    Check(result.state != RomChecksumState::Verified || result.stored == result.computed);
    Check(result.state != RomChecksumState::Mismatch || result.stored != result.computed);
    RomChecksumResult inPieces =
        CheckRomChecksum(part.size(), [part](uint64_t offset, std::span<uint8_t> out) {
            Check(offset <= part.size() && out.size() <= part.size() - offset);
            std::copy_n(part.begin() + offset, out.size(), out.begin());
            return true;
        });
    Check(inPieces.state == result.state && inPieces.computed == result.computed &&
          inPieces.text == result.text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    RomImageInfo info = AnalyseRomImage(bytes.first(std::min(size, kRomImageHeadSize)),
                                        bytes.last(std::min(size, kRomImageTailSize)), size);
    CheckPartWritten(info, bytes);
    CheckChecksum(bytes.subspan(info.bigRomOffset));
    AlternatingPrompter prompter;
    for (int round = 0; round < 2; round++) {
        CheckConsistent(DecideRomImage(info, prompter));
    }
    std::optional<RomImageInfo> fromFile = ExamineAsFile(data, size);
    Check(fromFile.has_value() && SameInfo(*fromFile, info));
    return 0;
}
