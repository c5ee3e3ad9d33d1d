// Shared pieces of the link tests: a job wired to a simulated handheld on an in-process line
// with its slot and message boxes recorded, a pipe that keeps the host's bytes, and helpers.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

#include "ostervane/core/prompter.h"
#include "ostervane/core/rom_checksum.h"
#include "ostervane/core/slot_event.h"
#include "ostervane/link/debug_packet.h"
#include "ostervane/platform/partial_backup_file.h"
#include "ostervane/recording_slot.h"
#include "simulator/debugger.h"
#include "simulator/packet_framing.h"
#include "simulator/rom_presets.h"
#include "simulator/simulated_pipe.h"

namespace ostervane::testing {

namespace sim = ostervane::simulator;
using Bytes = std::vector<uint8_t>;

class RecordingPrompter : public Prompter {
public:
    struct Box {
        std::string caption, text;
    };
    PromptAnswer Ask(const std::string &caption, const std::string &text, PromptButtons,
                     PromptIcon) override {
        std::lock_guard lock(mutex_);
        boxes_.push_back({caption, text});
        return PromptAnswer::Ok;
    }
    std::vector<Box> Boxes() {
        std::lock_guard lock(mutex_);
        return boxes_;
    }

private:
    std::mutex mutex_;
    std::vector<Box> boxes_;
};

// Keeps every Send call's bytes.  With a far pipe it forwards both directions to it; without
// one it hands out the bytes fed to it (a call gets what is left, up to its count, and nothing
// once they run out, as a read that timed out).
class CapturePipe : public PipeBase {
public:
    explicit CapturePipe(PipeBase *far = nullptr) : PipeBase(nullptr, nullptr), far_(far) {
        readHandle_ = writeHandle_ = 1;
        displayName_ = "CAP";
    }
    void Feed(std::span<const uint8_t> bytes) {
        script_.insert(script_.end(), bytes.begin(), bytes.end());
    }
    size_t Unread() const { return script_.size() - readPos_; }

    int32_t Configure(uint32_t) override { return 0; }
    int32_t Close() override { return 0; }
    bool IsHotPlug() const override { return false; }
    uint32_t GetMaxBaudRate() override { return 115200; }
    void SetMaxBaudRate(uint32_t) override {}

    std::vector<Bytes> sends;
    std::function<void()> onRunDry; // called when a read finds the fed bytes used up

protected:
    int32_t ReceiveBytes(uint8_t *buffer, uint32_t count, uint32_t *received) override {
        if (far_ != nullptr) {
            return far_->Receive(buffer, count, received);
        }
        size_t n = std::min<size_t>(count, Unread());
        if (n == 0 && onRunDry) {
            onRunDry();
        }
        std::copy_n(script_.begin() + readPos_, n, buffer);
        readPos_ += n;
        *received = static_cast<uint32_t>(n);
        return 0;
    }
    int32_t SendBytes(const uint8_t *buffer, uint32_t count, uint32_t *sent) override {
        sends.emplace_back(buffer, buffer + count);
        if (far_ != nullptr) {
            return far_->Send(buffer, count, sent);
        }
        *sent = count;
        return 0;
    }

private:
    PipeBase *far_;
    Bytes script_;
    size_t readPos_ = 0;
};

inline const sim::HandheldModel &Model(const std::string &name) {
    const sim::HandheldModel *model = sim::FindHandheldModel(name);
    return model != nullptr ? *model : throw std::runtime_error("no handheld model " + name);
}

inline sim::FaultPlan ParseFaults(const std::string &text) {
    sim::FaultPlan plan;
    std::string error;
    if (!text.empty() && !plan.Add(text, &error)) {
        throw std::runtime_error("fault text " + text + ": " + error);
    }
    return plan;
}

// A folder of its own for each test, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path() / "ostervane-link-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string &name) const { return (path_ / name).string(); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

private:
    std::filesystem::path path_;
};

inline Bytes ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string &path, std::span<const uint8_t> bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

inline Bytes MemoryBytes(sim::HandheldDebugger &handheld, uint32_t address, size_t count) {
    Bytes bytes(count);
    EXPECT_TRUE(handheld.Memory().Read(address, bytes.data(), count));
    return bytes;
}

inline void Patch(sim::HandheldDebugger &handheld, uint32_t address, Bytes bytes) {
    ASSERT_TRUE(handheld.Memory().Program(address, bytes.data(), bytes.size()));
}

// Gives a big ROM image (as a backup saves it) the checksum its header covers, as a ROM build
// does; images made up by tests carry none, and a backup of them would fail its check.
inline void SealChecksum(std::span<uint8_t> image) {
    RomChecksumResult result = CheckRomChecksum(image);
    if (result.state != RomChecksumState::Mismatch) {
        return;
    }
    // 68k headers (FE ED BE EF, version 1 to 5) are big-endian; ARM ones little-endian.
    bool bigEndian = image[8] == 0xFE && ((image[12] << 8) | image[13]) <= 5;
    image[112] = static_cast<uint8_t>(bigEndian ? result.computed >> 8 : result.computed);
    image[113] = static_cast<uint8_t>(bigEndian ? result.computed : result.computed >> 8);
}

// A big ROM of `length` bytes as a backup saves it: random behind a header that gives its own
// length and checksum.  A version-5 header for 'MT64', or an ARM handheld's little-endian one
// (signature and version turned around as a backup rewrites them).
inline Bytes SealedBigRomImage(uint32_t length, uint32_t seed, bool arm = false) {
    Bytes image(length);
    std::mt19937 random(seed);
    for (uint8_t &byte : image) {
        byte = uint8_t(random());
    }
    std::fill_n(image.begin(), 256, 0);
    const Bytes header =
        arm ? Bytes{0xEF, 0xBE, 0xED, 0xFE, 0x06, 0x00} : Bytes{0xFE, 0xED, 0xBE, 0xEF, 0x00, 0x05};
    std::copy(header.begin(), header.end(), image.begin() + 8);
    for (int i = 0; i < 4; i++) {
        const int shift = arm ? 8 * i : 24 - 8 * i;
        image[108 + i] = static_cast<uint8_t>(length >> shift);
    }
    if (!arm) {
        std::copy_n("MT64", 4, image.begin() + 130);
    }
    SealChecksum(image);
    return image;
}

// The same for the big ROM of `length` bytes at `base` in the handheld's memory.
inline void SealChecksum(sim::HandheldDebugger &handheld, uint32_t base, uint32_t length) {
    Bytes image = MemoryBytes(handheld, base, length);
    SealChecksum(image);
    Patch(handheld, base + 112, {image[112], image[113]});
}

using Piece = std::pair<uint32_t, uint16_t>; // address and count of a memory request

inline std::vector<Piece> Pieces(const std::vector<sim::RequestRecord> &requests) {
    std::vector<Piece> pieces;
    for (const sim::RequestRecord &r : requests) {
        pieces.emplace_back(r.address, r.count);
    }
    return pieces;
}

// Slot, message boxes and a waitable count of closed windows for one job.
struct JobRecorder {
    RecordingSlot slot;
    RecordingPrompter prompter;
    std::mutex mutex;
    std::condition_variable closed;
    int closes = 0;
    std::function<void()> onClose; // run on the job's thread when its turn ends

    JobSettings Settings(const std::string &romFile) {
        JobSettings settings;
        settings.slot = &slot;
        settings.prompter = &prompter;
        settings.romFileName = romFile;
        settings.makeRomFile = NewPartialBackupFile;
        settings.slotCallback = [this](uint32_t code, const void *data, DeviceSlot *target) {
            ApplySlotEvent(code, data, *target);
            if (code == EvCloseWindow) {
                if (onClose) {
                    onClose();
                }
                std::lock_guard lock(mutex);
                ++closes;
                closed.notify_all();
            }
        };
        return settings;
    }
    // Waits (real time) until the job's first turn has ended.
    bool WaitForClose(std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex);
        return closed.wait_for(lock, limit, [this] { return closes > 0; });
    }
};

struct BenchOptions {
    std::string faults;
    bool announce = true; // the handheld sends its state packet when the line opens
    sim::PipeTiming timing = sim::PipeTiming::Virtual;
    std::string romFile;

    BenchOptions &Faults(std::string text) {
        faults = std::move(text);
        return *this;
    }
    BenchOptions &Quiet() { // the handheld waits to be asked for its state
        announce = false;
        return *this;
    }
    BenchOptions &Paced() { // a real clock: the line takes real time
        timing = sim::PipeTiming::Paced;
        return *this;
    }
    BenchOptions &RomFile(std::string path) {
        romFile = std::move(path);
        return *this;
    }
};

// One handheld of a model on a serial-like in-process line, and a backup job for it.  Tests
// either drive the job's steps on their own thread (OpenLine) or run its thread (StartJob).
class LinkBench {
public:
    explicit LinkBench(const sim::HandheldModel &model, BenchOptions options = {})
        : handheld(sim::MakeHandheld(model, {ParseFaults(options.faults), std::nullopt})),
          pipe(*handheld, PipeOptions(options)), job(recorder.Settings(options.romFile)) {
        // As the window does when it closes: no second job starts on the line.
        recorder.onClose = [this] { job.RequestStop(); };
    }

    // Opens the line without a job thread, then attaches it to the job.
    void OpenLine(PipeBase *attach = nullptr) {
        pipe.Open();
        job.AttachPipe(attach != nullptr ? attach : &pipe);
    }
    // Attaches the line and opens it: the job thread starts.
    void StartJob() {
        job.AttachPipe(&pipe);
        pipe.Open();
    }
    void StopJob() {
        job.RequestStop();
        job.JoinJobThread();
    }
    // Waits for the job thread's first turn to end; the job stops there.
    bool RunFirstTurn() {
        StartJob();
        bool ended = recorder.WaitForClose();
        StopJob();
        return ended;
    }
    // The handheld's requests of one command, in order.
    std::vector<sim::RequestRecord> Requests(uint8_t command) const {
        std::vector<sim::RequestRecord> chosen;
        for (const sim::RequestRecord &r : handheld->Requests()) {
            if (r.command == command) {
                chosen.push_back(r);
            }
        }
        return chosen;
    }

    JobRecorder recorder;
    std::unique_ptr<sim::HandheldDebugger> handheld;
    sim::SimulatedPipe pipe;
    CapturePipe tap{&pipe}; // for tests that look at the host's bytes: OpenLine(&tap)
    DebugPacket job;

private:
    static sim::SimulatedPipeOptions PipeOptions(const BenchOptions &options) {
        sim::SimulatedPipeOptions pipeOptions;
        pipeOptions.timing = options.timing;
        pipeOptions.announceOnOpen = options.announce;
        return pipeOptions;
    }
};

} // namespace ostervane::testing
