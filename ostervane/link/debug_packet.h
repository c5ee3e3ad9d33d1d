// DebugPacket: the job of one device slot.  It drives one handheld through the Palm OS debugger
// over the slot's pipe: waits for the handheld, probes its ROM headers, backs the ROM up into a
// .rom file, resumes the handheld, and reports every step to the slot.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "ostervane/core/device_slot.h"
#include "ostervane/core/image_identity.h"
#include "ostervane/core/prompter.h"
#include "ostervane/link/backup_file.h"
#include "ostervane/link/flash_geometry.h"
#include "ostervane/link/pipe_base.h"

namespace ostervane {

// Everything a job is given when it is made.
struct JobSettings {
    SlotCallback slotCallback;
    DeviceSlot *slot = nullptr;
    std::span<const uint8_t> armFlashCode;  // the ARM flasher
    std::span<const uint8_t> flashDatabase; // the 68k flasher database "LowLevelFlash"
    std::string romFileName;
    bool isBackup = true;
    ImageIdentity image;
    Prompter *prompter = nullptr;
    // A restore asks the flasher for the checksum of each piece's destination first and
    // leaves alone the pieces the flash already holds.
    bool onlyChanged = false;
    // Makes the file a backup saves its blocks into; without one a backup cannot save.
    BackupFileFactory makeRomFile;
    // A backup starts afresh, replacing a partial file it could have gone on with.
    bool restartBackup = false;
};

// What the header probe found on the handheld.
struct HandheldRom {
    bool smallRomFound = false;
    bool bigRomFound = false;
    bool isArm = false;
    uint32_t bigRomBase = 0;
    uint32_t bigRomLength = 0;
    uint32_t cardBase = 0;
    uint32_t resetAddress = 0;
    uint32_t deviceId = 0;
    std::string deviceManufacturer;
    uint32_t backupLength = 0;
    uint32_t markerAddress = 0;
    uint32_t flasherAddress = 0;
    uint32_t imageBufferAddress = 0;
    uint32_t flashBlockSize = 0x20000;
    std::array<uint8_t, kCardHeaderSize> bigRomHeader{}; // as read, when bigRomFound
};

namespace debugger {
inline constexpr size_t kPacketSize = 284; // header 10 + body up to 272 + CRC 2
inline constexpr size_t kHeaderSize = 10;
inline constexpr size_t kMaxBodySize = 272;
inline constexpr size_t kMinBodySize = 2;
inline constexpr size_t kRegisterBlockSize = 76;
inline constexpr size_t kContinueDataSize = 88;
inline constexpr size_t kRegistersSentOnContinue = 74;
inline constexpr size_t kProgramCounterOffset = 68;
inline constexpr uint32_t kChunkSize = 256; // bytes per memory exchange
inline constexpr int kExchangeTries = 11;   // the first exchange and 10 repeats
inline constexpr uint8_t kStateRequest = 0x00;
inline constexpr uint8_t kReadMemory = 0x01;
inline constexpr uint8_t kWriteMemory = 0x02;
inline constexpr uint8_t kContinue = 0x07;
inline constexpr uint8_t kStateReply = 0x80;
inline constexpr uint8_t kReadReply = 0x81;
inline constexpr uint8_t kWriteReply = 0x82;
inline constexpr uint32_t kDeviceMT64 = 0x4D543634; // 'MT64'
inline constexpr uint32_t kDeviceArm0 = 0x61726D30; // 'arm0'
} // namespace debugger

class DebugPacket {
public:
    explicit DebugPacket(JobSettings settings);
    ~DebugPacket(); // stops the job thread and waits for it
    DebugPacket(const DebugPacket &) = delete;
    DebugPacket &operator=(const DebugPacket &) = delete;

    // Keeps the pipe, installs the job's event handler on it, takes its display name as the
    // log prefix and reports EvSlotWaiting with it.
    void AttachPipe(PipeBase *pipe);

    // The job side of the pipe's events: PipeOpened starts the job thread, PipeClosed ends the
    // turn, PipeError reports its code as the slot event of that number.
    static int32_t HandlePipeEvent(uint32_t event, const void *data, uint32_t extra, void *job);

    // Ends the job thread: no further job starts, transfers under way end with 777, and the
    // wait for a handheld gives up.  Safe from any thread; Join waits for the thread.
    void RequestStop();
    void JoinJobThread();
    bool StopRequested() const { return stopRequested_.load(); }

    // The whole job: wait, probe, backup or restore, resume.  0 or a status.
    int32_t RunJob();

    // Debugger protocol.
    int32_t SendPacket(uint8_t command, uint16_t dataLength, const uint8_t *data);
    int32_t ReceivePacket(int attempts);
    int32_t ReadMemChunk(uint32_t address, uint16_t count);
    int32_t WriteMemChunk(const uint8_t *source, uint32_t address, uint16_t count);
    int32_t ReadMemory(uint32_t address, uint8_t *destination, uint32_t count);
    int32_t WriteMemory(uint32_t address, const uint8_t *source, uint32_t count);
    int32_t Resume(uint32_t address);
    int32_t WaitForDevice();

    // The opening steps, the backup and the restore.
    int32_t ProbeHeaders();
    int32_t RunBackup();
    // Saves `length` bytes from `address` into the ROM file: goes on with a partial file of the
    // same handheld, checks the saved image's ROM checksum, and puts the file in place.
    int32_t SaveRom(uint32_t address, uint32_t length);
    int32_t RunRestore();
    bool HandheldMatchesImage() const;
    int32_t LoadBytes(std::span<const uint8_t> bytes, uint32_t address);
    int32_t FlashBlock(uint32_t cardBase, uint32_t destination, uint32_t source, uint32_t count);
    // The 68k flasher's other operations: the CRC-32 of flash (or RAM), and what chip the
    // flash is with its sector geometry.
    int32_t FlashChecksum(uint32_t address, uint32_t count, uint32_t *crc);
    int32_t DescribeFlash(FlashGeometry *geometry);

    // Reports "<pipe name>: <text>" (at most 99 characters) as a log line.
    void LogLine(const std::string &text);

    const HandheldRom &Rom() const { return rom_; }
    const uint8_t *Packet() const { return packet_.data(); }
    const std::array<uint8_t, debugger::kRegisterBlockSize> &SavedRegisters() const {
        return savedRegisters_;
    }
    uint8_t NextTransactionId() const { return nextTransactionId_; }
    PipeBase *Pipe() const { return pipe_; }

private:
    void Report(uint32_t code, const void *data = nullptr);
    PromptAnswer Ask(const std::string &caption, const std::string &text);
    void StartJobThread();
    void JobThreadMain();
    void RunTurns();
    void EndTurn();
    void EndTurnOnClose();
    int32_t RunBackupAndResume();
    // One backup into its partial file: where it starts, what it has saved so far.
    struct BackupRun {
        BackupFile &file;
        uint32_t address;
        uint32_t length;
        uint32_t blocks;
        uint32_t firstBlock = 0; // the first block read in this run
        uint32_t checkBelow = 0; // blocks below this were saved before and are compared
        BackupRecord record;     // what the partial file's record says
        uint32_t rewritten = 0;  // compared blocks that differed
    };
    int32_t SaveRomChecked(uint32_t address, uint32_t length, bool *checksumFailed);
    int32_t StartOrResume(BackupRun &run);
    int32_t LastSavedBlockMatches(BackupRun &run, bool *matches);
    int32_t SaveBlocks(BackupRun &run);
    int32_t SaveOneBlock(BackupRun &run, uint32_t index, std::vector<uint8_t> &block);
    int32_t ReadRomBlock(const BackupRun &run, uint32_t index, uint8_t *block, uint32_t *size);
    bool SavedImageFailsChecksum(BackupRun &run);
    // One run of the 68k flasher: its registers as the contract sets them.
    struct FlasherCall {
        uint32_t operation;
        uint32_t cardBase;
        uint32_t destination;
        uint32_t source;
        uint32_t count;
    };
    int32_t CallFlasher(const FlasherCall &call);
    uint32_t FlasherResult(int dataRegister) const;
    int32_t FlashArm();
    int32_t Flash68k();
    int32_t FlashImage68k(std::FILE *file, uint64_t offset, uint32_t size);
    int32_t FlashOnePiece(const FlashPiece &piece, std::span<const uint8_t> bytes,
                          const FlashGeometry &geometry);
    int32_t FlashPieceWithRetries(const FlashPiece &piece, uint32_t crc, uint32_t *keptBelow);
    int32_t SmallRomChecksum(uint32_t *crc);
    void LogImagePart();
    int32_t ClearImageMarkers();
    void RunClosingSteps();
    int32_t ReceiveExactly(size_t offset, size_t count, int calls, int32_t *lastStatus);
    int32_t VerifyReceivedPacket(uint16_t bodySize) const;
    int32_t ReceiveReplyTo(uint8_t transactionId);
    void DrainInput();
    int32_t ExchangeWithRetries(const std::function<int32_t()> &exchange);
    uint16_t ReceivedBodySize() const;
    std::string ReadErrorText(int32_t status, int counter) const;
    int32_t ProbeSmallRom(uint32_t start);
    int32_t ProbeBigRom();
    void SearchHeapMarker();
    void WriteMT64Words();
    void SearchImageMarker();

    JobSettings settings_;
    PipeBase *pipe_ = nullptr;
    std::string pipeName_;
    std::array<uint8_t, debugger::kPacketSize> packet_{};
    std::array<uint8_t, debugger::kRegisterBlockSize> savedRegisters_{};
    uint8_t nextTransactionId_ = 1;
    int16_t lastBodySize_ = 0;    // the last header's body size field, for the "Read Error" box
    size_t huntSkippedBytes_ = 0; // bytes the last packet hunt passed over
    HandheldRom rom_;
    uint32_t workAreaAddress_ = 0; // where the 68k flasher keeps a sector it rewrites
    std::thread jobThread_;
    std::atomic<bool> stopRequested_{false};
    // A link that closes while its job still unwinds ends the turn when the job is done, so
    // that the job's last report cannot come after the slot's "Waiting...".
    std::mutex turnMutex_;
    bool jobRunning_ = false;
    bool turnEndedWhileRunning_ = false;
};

} // namespace ostervane
