// backup_bench: a whole backup job, and a whole 68k restore, against a simulated handheld on a
// line paced at 115200 bit/s, each reported as the ratio of its duration to the wire-time bound
// of its exchanges (bytes on the wire x 10 / rate).  The restore runs in behavioural mode, so
// flashing takes no time; anything above 1 is the host's own overhead.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "ostervane/link/debug_packet.h"
#include "ostervane/payloads/payloads.h"
#include "simulator/rom_presets.h"
#include "simulator/simulated_pipe.h"

namespace {

namespace fs = std::filesystem;
using namespace ostervane;
using namespace ostervane::simulator;

constexpr uint32_t kBaud = 115200;
constexpr double kBackupTarget = 1.03;
constexpr double kRestoreTarget = 1.05;

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

void BM_PacedBackup(benchmark::State &state) {
    uint32_t length = static_cast<uint32_t>(state.range(0));
    fs::path file =
        fs::temp_directory_path() / ("backup-bench-" + std::to_string(getpid()) + ".rom");
    double elapsed = 0, bound = 0;
    for (auto _ : state) {
        auto handheld = MakeHandheld(ModelWithRom(length));
        SimulatedPipeOptions options;
        options.timing = PipeTiming::Paced;
        options.baud = kBaud;
        SimulatedPipe pipe(*handheld, options);
        JobSettings settings;
        settings.romFileName = file.string();
        DebugPacket job(std::move(settings));
        job.AttachPipe(&pipe);
        pipe.SetEventHandler(nullptr, nullptr); // the benchmark runs the job on its own thread
        pipe.Open();
        auto start = std::chrono::steady_clock::now();
        int32_t status = job.RunJob();
        auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
        if (status != 0) {
            state.SkipWithError(("backup failed with status " + std::to_string(status)).c_str());
            break;
        }
        PipeCounters counters = pipe.Counters();
        state.SetIterationTime(seconds.count());
        elapsed += seconds.count();
        bound += double(counters.bytesToHandheld + counters.bytesFromHandheld) * 10 / kBaud;
    }
    fs::remove(file);
    if (bound > 0) {
        state.counters["ratio"] = elapsed / bound;
        state.counters["wire_s"] = bound / double(state.iterations());
        gFigures.push_back({"backup", length, elapsed / bound, kBackupTarget});
    }
}

// Restores the handheld's own big ROM into it: the flasher database is loaded, the image goes
// over in 4,096-byte groups and each piece is flashed with one command.
void BM_PacedRestore(benchmark::State &state) {
    uint32_t length = static_cast<uint32_t>(state.range(0));
    HandheldModel model = ModelWithRom(length);
    fs::path file =
        fs::temp_directory_path() / ("restore-bench-" + std::to_string(getpid()) + ".rom");
    double elapsed = 0, bound = 0;
    for (auto _ : state) {
        auto handheld = MakeHandheld(model);
        std::vector<uint8_t> image(length);
        handheld->Memory().Read(model.bigRomBase, image.data(), image.size());
        if (FILE *out = std::fopen(file.c_str(), "wb")) {
            std::fwrite(image.data(), 1, image.size(), out);
            std::fclose(out);
        }
        SimulatedPipeOptions options;
        options.timing = PipeTiming::Paced;
        options.baud = kBaud;
        SimulatedPipe pipe(*handheld, options);
        JobSettings settings;
        settings.romFileName = file.string();
        settings.isBackup = false;
        settings.flashDatabase = LowLevelFlashPayload();
        settings.image.imageDeviceId = model.deviceId;
        DebugPacket job(std::move(settings));
        job.AttachPipe(&pipe);
        pipe.SetEventHandler(nullptr, nullptr);
        pipe.Open();
        auto start = std::chrono::steady_clock::now();
        int32_t status = job.RunJob();
        auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
        if (status != 0) {
            state.SkipWithError(("restore failed with status " + std::to_string(status)).c_str());
            break;
        }
        PipeCounters counters = pipe.Counters();
        state.SetIterationTime(seconds.count());
        elapsed += seconds.count();
        bound += double(counters.bytesToHandheld + counters.bytesFromHandheld) * 10 / kBaud;
    }
    fs::remove(file);
    if (bound > 0) {
        state.counters["ratio"] = elapsed / bound;
        state.counters["wire_s"] = bound / double(state.iterations());
        gFigures.push_back({"68k restore", length, elapsed / bound, kRestoreTarget});
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

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nat %u bit/s                           measured   target\n", kBaud);
    for (const Figure &f : gFigures) {
        std::printf("%-12s %6u KiB ROM / wire time  %6.3fx  <= %.2fx  %s\n", f.job,
                    f.romBytes / 1024, f.ratio, f.target, f.ratio <= f.target ? "within" : "OVER");
    }
    return 0;
}
