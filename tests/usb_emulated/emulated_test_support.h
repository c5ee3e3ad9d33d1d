// Shared pieces of the emulated-USB tests: a libusb library whose notifications and log lines
// are recorded, the command line's USB jobs run on a thread over the real library, and the
// images and settings of backups and restores.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "captured_output.h"
#include "link/link_test_support.h"
#include "ostervane/cli/usb_jobs.h"
#include "ostervane/payloads/payloads.h"
#include "ostervane/platform/usb_port_library_libusb.h"
#include "tests/simulator/different_bytes.h"
#include "usb_emulated/emulated_usb_bus.h"
#include "wait_until.h"

namespace ostervane::testing {

inline constexpr uint32_t kV5BackupLength = 0x38000;
inline constexpr uint32_t kImageLength = 0x20000;
inline constexpr auto kPatience = std::chrono::seconds(20);

inline bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// A handheld of the small 68k preset, and the emulated device that carries it.
inline EmulatedDeviceSetup HandheldAt(const std::string &port, sim::HandheldDebugger &handheld,
                                      std::string driver = "visor") {
    EmulatedDeviceSetup setup;
    setup.port = port;
    setup.driver = std::move(driver);
    setup.handheld = &handheld;
    return setup;
}

// The library's log lines and the notifications it gives, as they come.
class LibraryRecord {
public:
    void Log(const std::string &line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    void Notify(const UsbNotification &notification) {
        std::lock_guard lock(mutex_);
        notifications_.push_back(notification);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // The names of the arrivals (or removals) so far.
    std::vector<std::string> Names(UsbEventKind kind) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> names;
        for (const UsbNotification &n : notifications_) {
            if (n.kind == kind) {
                names.push_back(n.interfaceName);
            }
        }
        return names;
    }
    bool Arrived(const std::string &name) const { return Has(UsbEventKind::Arrival, name); }
    bool Has(UsbEventKind kind, const std::string &name) const {
        std::vector<std::string> names = Names(kind);
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    bool Logged(const std::string &part) const {
        for (const std::string &line : Lines()) {
            if (Contains(line, part)) {
                return true;
            }
        }
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<UsbNotification> notifications_;
};

// A LibusbPortLibrary registered for notifications, recorded in `record`.
class RecordedLibrary {
public:
    RecordedLibrary() : library(std::make_unique<LibusbPortLibrary>()) {
        library->SetLog([this](const std::string &line) { record.Log(line); });
    }
    ~RecordedLibrary() { library.reset(); }
    bool Register() {
        return library->RegisterDeviceInterface(
                   [this](const UsbNotification &n) { record.Notify(n); }) != 0;
    }
    bool WaitForArrival(const std::string &name) {
        return WaitUntil([&] { return record.Arrived(name); });
    }

    LibraryRecord record;
    std::unique_ptr<LibusbPortLibrary> library; // after the record it writes to
};

// The command line's USB jobs over a real LibusbPortLibrary, on a thread of their own as the
// CLI's main thread runs them.  A run still going after `limit` is stopped, so a test fails
// rather than hangs.
class UsbJobsRun {
public:
    UsbJobsRun(JobSettings settings, int slots, std::chrono::seconds limit = kPatience)
        : deadline_(std::chrono::steady_clock::now() + limit) {
        library.SetLog([this](const std::string &line) { record.Log(line); });
        cli::UsbConsole console{output.File(), false, nullptr, [this] {
                                    return stop.load() ||
                                           std::chrono::steady_clock::now() > deadline_;
                                }};
        thread_ = std::thread([this, settings, slots, console] {
            outcome_ = cli::RunUsbJobs(library, settings, slots, console);
        });
    }
    ~UsbJobsRun() { Finish(); }
    JobTurn::Outcome Finish() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return outcome_;
    }

    LibraryRecord record;
    LibusbPortLibrary library;
    CapturedOutput output;
    std::atomic<bool> stop{false};

private:
    std::chrono::steady_clock::time_point deadline_;
    JobTurn::Outcome outcome_ = JobTurn::Outcome::PortBusy;
    std::thread thread_;
};

inline JobSettings BackupSettings(const std::string &romFile) {
    JobSettings settings;
    settings.romFileName = romFile;
    settings.isBackup = true;
    settings.makeRomFile = NewPartialBackupFile;
    return settings;
}

inline JobSettings RestoreSettings(const std::string &romFile, const sim::HandheldModel &model) {
    JobSettings settings;
    settings.romFileName = romFile;
    settings.isBackup = false;
    settings.flashDatabase = LowLevelFlashPayload();
    settings.armFlashCode = ArmFlasherPayload();
    settings.image.imageDeviceId = model.deviceId;
    settings.image.imageManufacturer = model.manufacturer;
    return settings;
}

// An image for the handheld's big ROM that differs from its flash in every byte.
inline Bytes DifferentImage(sim::HandheldDebugger &handheld, const sim::HandheldModel &model,
                            uint32_t seed) {
    return DifferentFrom(MemoryBytes(handheld, model.bigRomBase, kImageLength), seed);
}

// The same with the big ROM's own card header in front, so that identification accepts it.
inline Bytes IdentifiableImage(sim::HandheldDebugger &handheld, const sim::HandheldModel &model,
                               uint32_t seed) {
    constexpr size_t kCardHeader = 256;
    Bytes image = DifferentImage(handheld, model, seed);
    Bytes header = MemoryBytes(handheld, model.bigRomBase, kCardHeader);
    std::copy(header.begin(), header.end(), image.begin());
    return image;
}

} // namespace ostervane::testing
