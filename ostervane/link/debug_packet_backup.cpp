// The backup: copies the handheld's big ROM into the .rom file in 4,096-byte blocks.  The blocks
// go into a partial file beside the final name, which records after every block how far it got,
// so an interrupted backup of the same handheld goes on from the first block it lacks.  The
// saved image is checked against the ROM checksum its header carries, and the file takes its
// name only when every block was saved and the check did not fail: a failed backup never leaves
// an image that a later restore could flash.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ostervane/core/rom_checksum.h"
#include "ostervane/core/slot_event.h"
#include "ostervane/link/arm_header_order.h"
#include "ostervane/link/debug_packet.h"

namespace ostervane {

namespace {

constexpr uint32_t kFileBlockSize = kBackupBlockSize;

uint32_t BlockCount(uint32_t length) {
    return static_cast<uint32_t>((uint64_t(length) + kFileBlockSize - 1) / kFileBlockSize);
}

uint64_t BlockOffset(uint32_t index) {
    return uint64_t(index) * kFileBlockSize;
}

bool SameRom(const BackupRecord &a, const BackupRecord &b) {
    return a.bigRomHeader == b.bigRomHeader && a.bigRomBase == b.bigRomBase &&
           a.backupLength == b.backupLength;
}

std::string BlocksText(uint32_t count, uint32_t of) {
    return std::to_string(count) + " of " + std::to_string(of);
}

} // namespace

int32_t DebugPacket::RunBackup() {
    LogLine("Start Backup");
    if (!rom_.bigRomFound) {
        Ask("Backup Failed", "No Big ROM Found on Device");
        return ErrNoBigRom;
    }
    Report(EvSavingRom);
    bool checksumFailed = false;
    if (int32_t status = SaveRomChecked(rom_.bigRomBase, rom_.backupLength, &checksumFailed);
        status != 0) {
        if (checksumFailed) {
            Ask("Backup Failed", "The saved ROM does not match its checksum.  Back up again: the "
                                 "saved blocks are then compared with the handheld.");
        } else if (!StopRequested()) {
            Ask("Backup Failed", "The Backup Failed.  Check log for error number.");
        }
        return status;
    }
    LogLine("End Backup");
    return 0;
}

int32_t DebugPacket::SaveRom(uint32_t address, uint32_t length) {
    bool checksumFailed = false;
    return SaveRomChecked(address, length, &checksumFailed);
}

int32_t DebugPacket::SaveRomChecked(uint32_t address, uint32_t length, bool *checksumFailed) {
    std::unique_ptr<BackupFile> file = settings_.makeRomFile ? settings_.makeRomFile() : nullptr;
    if (file == nullptr || !file->Open(settings_.romFileName)) {
        return ErrCannotOpenFile;
    }
    BackupRun run{*file, address, length, BlockCount(length), 0, 0, {}, 0};
    int32_t status = StartOrResume(run);
    if (status == 0) {
        status = SaveBlocks(run);
    }
    if (status == 0 && SavedImageFailsChecksum(run)) {
        *checksumFailed = true;
        status = ErrRomChecksum; // bytes that came over the line are not what it holds
    }
    if (status == 0 && !file->Commit()) {
        status = ErrCannotOpenFile;
    }
    if (status != 0 && run.record.blocksSaved == 0) {
        file->Discard(); // nothing worth going on with
    }
    return status;
}

// Goes on with the partial file when it holds blocks of this handheld's ROM whose last one the
// handheld still has; otherwise starts it afresh.
int32_t DebugPacket::StartOrResume(BackupRun &run) {
    BackupRecord wanted;
    wanted.bigRomHeader = rom_.bigRomHeader;
    wanted.bigRomBase = run.address;
    wanted.backupLength = run.length;
    std::optional<BackupRecord> found = run.file.Record();
    if (settings_.restartBackup) {
        if (run.file.FoundPartial()) {
            LogLine("Partial backup ignored: starting afresh");
        }
    } else if (!found) {
        if (run.file.FoundPartial()) {
            LogLine("Partial backup's record is damaged: starting afresh");
        }
    } else if (!SameRom(*found, wanted) || found->blocksSaved > run.blocks) {
        LogLine("Partial backup is of another ROM: starting afresh");
    } else if (found->needsCheck) {
        run.record = *found;
        run.checkBelow = found->blocksSaved;
        LogLine("Checking " + std::to_string(run.checkBelow) +
                " saved blocks against the handheld");
        return 0;
    } else if (found->blocksSaved > 0) {
        run.record = *found; // kept whatever happens to the check below
        bool matches = false;
        if (int32_t status = LastSavedBlockMatches(run, &matches); status != 0) {
            return status;
        }
        if (matches) {
            run.firstBlock = found->blocksSaved;
            LogLine("Resuming at block " + BlocksText(run.firstBlock, run.blocks));
            return 0;
        }
        LogLine("Partial backup's last block differs from the handheld: starting afresh");
    }
    run.record = wanted;
    return run.file.Restart(wanted) ? 0 : ErrCannotOpenFile;
}

// Reads the last saved block again: a partial file whose last write was torn, or that a later
// change to the handheld's flash made stale there, is not trusted.
int32_t DebugPacket::LastSavedBlockMatches(BackupRun &run, bool *matches) {
    uint32_t index = run.record.blocksSaved - 1;
    std::vector<uint8_t> fromHandheld(kFileBlockSize), fromFile(kFileBlockSize);
    uint32_t size = 0;
    if (int32_t status = ReadRomBlock(run, index, fromHandheld.data(), &size); status != 0) {
        return status;
    }
    *matches = run.file.Read(BlockOffset(index), fromFile.data(), size) &&
               std::equal(fromFile.begin(), fromFile.begin() + size, fromHandheld.begin());
    return 0;
}

// The progress bar counts every block of the ROM: a resumed backup starts it where it stopped.
int32_t DebugPacket::SaveBlocks(BackupRun &run) {
    uint16_t steps = static_cast<uint16_t>(run.blocks);
    Report(EvProgressStart, &steps);
    for (uint32_t i = 0; i < run.firstBlock; ++i) {
        Report(EvProgressStep);
    }
    std::vector<uint8_t> block(kFileBlockSize);
    int32_t status = 0;
    for (uint32_t index = run.firstBlock; index < run.blocks && status == 0; ++index) {
        status = SaveOneBlock(run, index, block);
        if (status == 0) {
            Report(EvProgressStep);
        }
    }
    Report(EvProgressEnd);
    if (status == 0 && run.checkBelow > 0) {
        LogLine("Rewrote " + BlocksText(run.rewritten, run.checkBelow) +
                " checked blocks that differed from the handheld");
    }
    return status;
}

// A block saved before is compared with the handheld and rewritten only when it differs; a new
// block is written and then claimed by the record.
int32_t DebugPacket::SaveOneBlock(BackupRun &run, uint32_t index, std::vector<uint8_t> &block) {
    uint32_t size = 0;
    if (int32_t status = ReadRomBlock(run, index, block.data(), &size); status != 0) {
        return status;
    }
    if (index < run.checkBelow) {
        std::vector<uint8_t> saved(size);
        if (run.file.Read(BlockOffset(index), saved.data(), size) &&
            std::equal(saved.begin(), saved.end(), block.begin())) {
            return 0;
        }
        ++run.rewritten;
        return run.file.Write(BlockOffset(index), block.data(), size) ? 0 : ErrCannotOpenFile;
    }
    if (!run.file.Write(BlockOffset(index), block.data(), size)) {
        return ErrCannotOpenFile;
    }
    run.record.blocksSaved = index + 1;
    return run.file.SaveRecord(run.record) ? 0 : ErrCannotOpenFile;
}

// One file block from the handheld, as the .rom file holds it.
int32_t DebugPacket::ReadRomBlock(const BackupRun &run, uint32_t index, uint8_t *block,
                                  uint32_t *size) {
    *size = std::min<uint32_t>(kFileBlockSize, run.length - index * kFileBlockSize);
    if (int32_t status = ReadMemory(run.address + index * kFileBlockSize, block, *size);
        status != 0) {
        return status;
    }
    if (index == 0) {
        ArmHeaderToFileOrder(block, *size);
    }
    return 0;
}

// Checks the image as it was saved (read back from the partial file, which becomes the .rom
// file).  A mismatch keeps the blocks and marks them for comparison with the handheld.  When
// every block was compared and none differed, the handheld holds a ROM that does not match its
// own checksum (a patched one, say): it is saved as it is, or it could never be backed up.
bool DebugPacket::SavedImageFailsChecksum(BackupRun &run) {
    RomChecksumResult result =
        CheckRomChecksum(run.length, [&run](uint64_t offset, std::span<uint8_t> out) {
            return run.file.Read(offset, out.data(), out.size());
        });
    LogLine(result.text);
    if (result.state != RomChecksumState::Mismatch) {
        return false;
    }
    if (run.checkBelow == run.blocks && run.rewritten == 0) {
        LogLine("Every block read twice alike: the handheld's ROM itself fails its checksum");
        return false;
    }
    run.record.needsCheck = true;
    if (run.file.SaveRecord(run.record)) {
        LogLine("Saved blocks kept: the next backup compares them with the handheld");
    }
    return true;
}

} // namespace ostervane
