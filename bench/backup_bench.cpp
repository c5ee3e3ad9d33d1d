// backup_bench: a whole backup job, and a whole 68k restore, against a simulated handheld on a
// line paced at 115200 bit/s, each reported as the ratio of its duration to the wire-time bound
// of its exchanges (bytes on the wire x 10 / rate).  The restore runs in behavioural mode, so
// flashing takes no time; anything above 1 is the host's own overhead.  Also a backup that goes
// on after an interruption at 90 %, as the ratio of its duration to an uninterrupted backup's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "bench_support.h"
#include "ostervane/link/debug_packet.h"
#include "ostervane/payloads/payloads.h"
#include "ostervane/platform/partial_backup_file.h"
#include "simulator/rom_presets.h"
#include "simulator/simulated_pipe.h"

namespace {

namespace fs = std::filesystem;
using namespace ostervane;
using namespace ostervane::simulator;

constexpr uint32_t kBaud = 115200;
constexpr double kBackupTarget = 1.03;
constexpr double kRestoreTarget = 1.05;
constexpr double kResumeTarget = 0.15;

struct Figure {
    const char *job;
    uint32_t romBytes = 0;
    double ratio = 0;
    double target = 0;
};
std::vector<Figure> gFigures;

// The 68k version 5 family with its big ROM cut to `length` and no heap marker, so the backup
// saves exactly `length` bytes.
HandheldModel ModelWithRom(uint32_t length) {
    HandheldModel model = *FindHandheldModel("68k-v5");
    model.bigRomLength = length;
    model.heap.reset();
    return model;
}

// Runs one job on the benchmark's own thread against the handheld over a paced line and
// adds its duration and its wire-time bound (the caller reports the iteration's time).  False,
// with the benchmark marked, on a failure.
bool RunPacedJob(benchmark::State &state, HandheldDebugger &handheld, JobSettings settings,
                 double &elapsed, double &bound) {
    SimulatedPipeOptions options;
    options.timing = PipeTiming::Paced;
    options.baud = kBaud;
    SimulatedPipe pipe(handheld, options);
    DebugPacket job(std::move(settings));
    job.AttachPipe(&pipe);
    pipe.SetEventHandler(nullptr, nullptr); // no job thread: RunJob runs here
    pipe.Open();
    auto start = std::chrono::steady_clock::now();
    int32_t status = job.RunJob();
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    if (status != 0) {
        state.SkipWithError(("the job failed with status " + std::to_string(status)).c_str());
        return false;
    }
    PipeCounters counters = pipe.Counters();
    elapsed += seconds.count();
    bound += double(counters.bytesToHandheld + counters.bytesFromHandheld) * 10 / kBaud;
    return true;
}

void Report(benchmark::State &state, const char *job, uint32_t length, double elapsed, double bound,
            double target) {
    if (bound > 0) {
        state.counters["ratio"] = elapsed / bound;
        state.counters["wire_s"] = bound / double(state.iterations());
        gFigures.push_back({job, length, elapsed / bound, target});
    }
}

fs::path ScratchRomFile(const char *prefix) {
    return fs::temp_directory_path() / (prefix + std::to_string(getpid()) + ".rom");
}

void BM_PacedBackup(benchmark::State &state) {
    uint32_t length = static_cast<uint32_t>(state.range(0));
    fs::path file = ScratchRomFile("backup-bench-");
    double elapsed = 0, bound = 0;
    for (auto _ : state) {
        auto handheld = MakeHandheld(ModelWithRom(length));
        JobSettings settings;
        settings.romFileName = file.string();
        settings.makeRomFile = NewPartialBackupFile;
        double before = elapsed;
        if (!RunPacedJob(state, *handheld, std::move(settings), elapsed, bound)) {
            break;
        }
        state.SetIterationTime(elapsed - before);
    }
    fs::remove(file);
    Report(state, "backup", length, elapsed, bound, kBackupTarget);
}

// Restores the handheld's own big ROM into it: the flasher database is loaded, the image goes
// over in 4,096-byte groups and each piece is flashed with one command.
void BM_PacedRestore(benchmark::State &state) {
    uint32_t length = static_cast<uint32_t>(state.range(0));
    HandheldModel model = ModelWithRom(length);
    fs::path file = ScratchRomFile("restore-bench-");
    double elapsed = 0, bound = 0;
    for (auto _ : state) {
        auto handheld = MakeHandheld(model);
        std::vector<uint8_t> image(length);
        handheld->Memory().Read(model.bigRomBase, image.data(), image.size());
        if (FILE *out = std::fopen(file.c_str(), "wb")) {
            std::fwrite(image.data(), 1, image.size(), out);
            std::fclose(out);
        }
        JobSettings settings;
        settings.romFileName = file.string();
        settings.isBackup = false;
        settings.flashDatabase = LowLevelFlashPayload();
        settings.image.imageDeviceId = model.deviceId;
        double before = elapsed;
        if (!RunPacedJob(state, *handheld, std::move(settings), elapsed, bound)) {
            break;
        }
        state.SetIterationTime(elapsed - before);
    }
    fs::remove(file);
    Report(state, "68k restore", length, elapsed, bound, kRestoreTarget);
}

// Leaves the partial file of a backup of `model` into `file` with `blocks` blocks saved: the
// backup runs on the virtual clock, and its line is aborted while the next block is read.
bool LeavePartialBackup(const HandheldModel &model, const std::string &file, uint32_t blocks) {
    auto handheld = MakeHandheld(model);
    SimulatedPipe pipe(*handheld);
    JobSettings settings;
    settings.romFileName = file;
    settings.makeRomFile = NewPartialBackupFile;
    DebugPacket job(std::move(settings));
    job.AttachPipe(&pipe);
    pipe.SetEventHandler(nullptr, nullptr);
    const uint32_t probeReads = model.heap ? 3 : 2;
    const uint32_t abortAt = probeReads + blocks * (kBackupBlockSize / 256) + 1;
    handheld->SetRequestObserver([&pipe, abortAt, reads = 0u](const RequestRecord &r) mutable {
        if (r.command == kCmdReadMemory && ++reads == abortAt) {
            pipe.Abort();
        }
    });
    pipe.Open();
    return job.RunJob() != 0 && fs::exists(file + ".partial");
}

// A backup interrupted with 90 % of its blocks saved, run again on the paced line: it reads the
// last saved block again and the missing ones.  Compared with an uninterrupted paced backup of
// the same ROM.
void BM_PacedResumedBackup(benchmark::State &state) {
    uint32_t length = static_cast<uint32_t>(state.range(0));
    HandheldModel model = ModelWithRom(length);
    uint32_t blocks = length / kBackupBlockSize;
    bench::ScratchDir dir("resume-bench");
    std::string file = dir.file("resumed.rom").string();
    double resumed = 0, whole = 0, bound = 0;
    for (auto _ : state) {
        if (!LeavePartialBackup(model, file, blocks * 9 / 10)) {
            state.SkipWithError("the interrupted backup left no partial file");
            break;
        }
        JobSettings settings;
        settings.romFileName = file;
        settings.makeRomFile = NewPartialBackupFile;
        double before = resumed;
        if (!RunPacedJob(state, *MakeHandheld(model), std::move(settings), resumed, bound)) {
            break;
        }
        state.SetIterationTime(resumed - before);
        settings = JobSettings();
        settings.romFileName = dir.file("whole.rom").string();
        settings.makeRomFile = NewPartialBackupFile;
        if (!RunPacedJob(state, *MakeHandheld(model), std::move(settings), whole, bound)) {
            break;
        }
    }
    if (whole > 0) {
        state.counters["ratio"] = resumed / whole;
        gFigures.push_back({"resume @90%", length, resumed / whole, kResumeTarget});
    }
}

BENCHMARK(BM_PacedBackup)
    ->Arg(16 * 1024)
    ->Arg(64 * 1024)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_PacedRestore)
    ->Arg(16 * 1024)
    ->Arg(64 * 1024)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
// 64 blocks: 57 saved, the last of them and the 7 missing read again.
BENCHMARK(BM_PacedResumedBackup)
    ->Arg(256 * 1024)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nat %u bit/s                             measured   target\n", kBaud);
    for (const Figure &f : gFigures) {
        const char *against = f.target < 1 ? "uninterrupted" : "wire time";
        std::printf("%-12s %6u KiB ROM / %-13s  %6.3fx  <= %.2fx  %s\n", f.job, f.romBytes / 1024,
                    against, f.ratio, f.target, f.ratio <= f.target ? "within" : "OVER");
    }
    return 0;
}
