// The backup: copies the handheld's big ROM into the .rom file in 4,096-byte blocks.  The file
// is written beside its final name and takes that name only when every block was saved, so a
// failed backup never leaves a truncated image that a later restore could flash.
#include <vector>

#include "ostervane/core/slot_event.h"
#include "ostervane/link/arm_header_order.h"
#include "ostervane/link/debug_packet.h"

namespace ostervane {

namespace {

constexpr uint32_t kFileBlockSize = 4096;

} // namespace

int32_t DebugPacket::RunBackup() {
    LogLine("Start Backup");
    if (!rom_.bigRomFound) {
        Ask("Backup Failed", "No Big ROM Found on Device");
        return ErrNoBigRom;
    }
    Report(EvSavingRom);
    if (int32_t status = SaveRom(rom_.bigRomBase, rom_.backupLength); status != 0) {
        if (!StopRequested()) {
            Ask("Backup Failed", "The Backup Failed.  Check log for error number.");
        }
        return status;
    }
    LogLine("End Backup");
    return 0;
}

int32_t DebugPacket::SaveRom(uint32_t address, uint32_t length) {
    std::unique_ptr<RomFileWriter> file = settings_.makeRomFile ? settings_.makeRomFile() : nullptr;
    if (file == nullptr || !file->Open(settings_.romFileName)) {
        return ErrCannotOpenFile;
    }
    uint16_t blocks =
        static_cast<uint16_t>((uint64_t(length) + kFileBlockSize - 1) / kFileBlockSize);
    Report(EvProgressStart, &blocks);
    std::vector<uint8_t> block(kFileBlockSize);
    int32_t status = 0;
    for (uint32_t done = 0; done < length;) {
        uint32_t size = std::min(kFileBlockSize, length - done);
        status = ReadMemory(address + done, block.data(), size);
        if (status != 0) {
            break;
        }
        if (done == 0) {
            ArmHeaderToFileOrder(block.data(), size);
        }
        if (!file->Write(block.data(), size)) {
            status = ErrCannotOpenFile;
            break;
        }
        Report(EvProgressStep);
        done += size;
    }
    Report(EvProgressEnd);
    if (status == 0 && !file->Commit()) {
        status = ErrCannotOpenFile;
    }
    if (status != 0) {
        file->Discard();
    }
    return status;
}

} // namespace ostervane
