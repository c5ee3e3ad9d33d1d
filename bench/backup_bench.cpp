// backup_bench: a whole backup job against a simulated handheld on a line paced at 115200 bit/s,
// reported as the ratio of its duration to the wire-time bound (bytes on the wire x 10 / rate).
// Anything above 1 is the host's own overhead: packet handling, retries, file writing.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "ostervane/link/debug_packet.h"
#include "simulator/rom_presets.h"
#include "simulator/simulated_pipe.h"

namespace {

namespace fs = std::filesystem;
using namespace ostervane;
using namespace ostervane::simulator;

constexpr uint32_t kBaud = 115200;
constexpr double kTarget = 1.03;

struct Figure {
    uint32_t romBytes = 0;
    double ratio = 0;
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
        gFigures.push_back({length, elapsed / bound});
    }
}

BENCHMARK(BM_PacedBackup)
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
    std::printf("\nbackup at %u bit/s         measured   target\n", kBaud);
    for (const Figure &f : gFigures) {
        std::printf("%6u KiB ROM / wire time    %6.3fx  <= %.2fx  %s\n", f.romBytes / 1024, f.ratio,
                    kTarget, f.ratio <= kTarget ? "within" : "OVER");
    }
    return 0;
}
