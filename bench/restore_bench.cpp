// restore_bench: restores on the emulated 68000 with the real flasher, against two bounds.
//   paced restore     a 68k-v5 handheld on a line paced at 115200 bit/s, restored with an image
//                     that differs from its flash in every byte; real duration against the wire
//                     time of its exchanges (bytes x 10 / rate) plus the flash chip's own busy
//                     time (erase and program times of the part, which no host can shorten).
//                     Target 1.05x.  The ratio to the wire time alone is printed too.
//   only changed      a 1 MB image that differs from the flash of a 68k-v3 handheld in one 64 KB
//                     piece, restored with onlyChanged against the full restore of the same
//                     image, on the virtual clock (wire and chip time; deterministic).
//                     Target 0.15x.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "bench_support.h"
#include "ostervane/link/debug_packet.h"
#include "ostervane/payloads/payloads.h"
#include "simulator/cpu_runner.h"
#include "simulator/flash_chip.h"
#include "simulator/rom_presets.h"
#include "simulator/simulated_pipe.h"
#include "tests/simulator/different_bytes.h"

namespace {

using namespace ostervane;
using namespace ostervane::simulator;

constexpr uint32_t kBaud = 115200;
constexpr double kPacedTarget = 1.05;
constexpr double kOnlyChangedTarget = 0.15;

struct Figure {
    std::string what;
    double ratio = 0;
    double target = 0; // 0: for information
};
std::vector<Figure> gFigures;

using ostervane::testing::DifferentFrom;

struct RestoreRun {
    int32_t status = 0;
    double seconds = 0;     // real time on a paced line, virtual time otherwise
    double wireSeconds = 0; // bytes on the wire x 10 / rate
    double chipSeconds = 0;
};

// One restore job on this thread into `handheld`, its CPU running the flasher.
RestoreRun Restore(HandheldDebugger &handheld, const HandheldModel &model,
                   const std::vector<uint8_t> &image, PipeTiming timing, bool onlyChanged,
                   const bench::ScratchDir &dir) {
    std::string path = dir.file("image.rom").string();
    if (FILE *out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(image.data(), 1, image.size(), out);
        std::fclose(out);
    }
    M68kCpuRunner cpu;
    handheld.SetCodeRunner(&cpu);
    SimulatedPipeOptions options;
    options.timing = timing;
    options.baud = kBaud;
    SimulatedPipe pipe(handheld, options);
    JobSettings settings;
    settings.romFileName = path;
    settings.isBackup = false;
    settings.flashDatabase = LowLevelFlashPayload();
    settings.image.imageDeviceId = model.deviceId;
    settings.image.imageManufacturer = model.manufacturer;
    settings.onlyChanged = onlyChanged;
    DebugPacket job(settings);
    job.AttachPipe(&pipe);
    pipe.SetEventHandler(nullptr, nullptr); // no job thread: RunJob runs here
    pipe.Open();
    SimTime chipBefore = handheld.Memory().FlashBusyTime();
    SimTime virtualStart = pipe.Now();
    auto start = std::chrono::steady_clock::now();
    RestoreRun run;
    run.status = job.RunJob();
    auto real = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    run.seconds = timing == PipeTiming::Paced
                      ? real.count()
                      : std::chrono::duration<double>(pipe.Now() - virtualStart).count();
    PipeCounters counters = pipe.Counters();
    run.wireSeconds = double(counters.bytesToHandheld + counters.bytesFromHandheld) * 10 / kBaud;
    run.chipSeconds =
        std::chrono::duration<double>(handheld.Memory().FlashBusyTime() - chipBefore).count();
    handheld.SetCodeRunner(nullptr);
    return run;
}

HandheldModel ModelWithRom(const char *name, uint32_t length) {
    HandheldModel model = *FindHandheldModel(name);
    model.bigRomLength = length;
    model.heap.reset();
    return model;
}

std::vector<uint8_t> FlashBytes(HandheldDebugger &handheld, uint32_t address, uint32_t count) {
    std::vector<uint8_t> bytes(count);
    handheld.Memory().Read(address, bytes.data(), count);
    return bytes;
}

void BM_PacedCpuRestore(benchmark::State &state) {
    uint32_t length = static_cast<uint32_t>(state.range(0));
    HandheldModel model = ModelWithRom("68k-v5", length);
    bench::ScratchDir dir("restore-bench");
    for (auto _ : state) {
        auto handheld = MakeHandheld(model);
        std::vector<uint8_t> image =
            DifferentFrom(FlashBytes(*handheld, model.bigRomBase, length), 5);
        RestoreRun run = Restore(*handheld, model, image, PipeTiming::Paced, false, dir);
        if (run.status != 0) {
            state.SkipWithError(("restore failed: " + std::to_string(run.status)).c_str());
            return;
        }
        state.SetIterationTime(run.seconds);
        state.counters["wire_s"] = run.wireSeconds;
        state.counters["chip_s"] = run.chipSeconds;
        double bound = run.wireSeconds + run.chipSeconds;
        state.counters["ratio"] = run.seconds / bound;
        gFigures.push_back(
            {"paced restore of " + std::to_string(length / 1024) + " KiB / (wire + chip time)",
             run.seconds / bound, kPacedTarget});
        gFigures.push_back(
            {"paced restore of " + std::to_string(length / 1024) + " KiB / wire time alone",
             run.seconds / run.wireSeconds, 0});
    }
}

void BM_OnlyChangedRestore(benchmark::State &state) {
    constexpr uint32_t kLength = 0x100000;
    HandheldModel model = *FindHandheldModel("68k-v3");
    bench::ScratchDir dir("restore-bench");
    for (auto _ : state) {
        auto full = MakeHandheld(model);
        std::vector<uint8_t> image = FlashBytes(*full, model.bigRomBase, kLength);
        // One 64 KB piece of the destination, 0x10C80000..0x10C90000, differs.
        uint32_t piece = 0x10C80000 - model.bigRomBase;
        std::vector<uint8_t> changed(image.begin() + piece, image.begin() + piece + 0x10000);
        changed = DifferentFrom(changed, 9);
        std::copy(changed.begin(), changed.end(), image.begin() + piece);
        RestoreRun all = Restore(*full, model, image, PipeTiming::Virtual, false, dir);
        auto partial = MakeHandheld(model);
        RestoreRun some = Restore(*partial, model, image, PipeTiming::Virtual, true, dir);
        if (all.status != 0 || some.status != 0) {
            state.SkipWithError("a restore failed");
            return;
        }
        state.SetIterationTime(some.seconds);
        state.counters["full_s"] = all.seconds;
        state.counters["ratio"] = some.seconds / all.seconds;
        gFigures.push_back({"only-changed restore of 1 MiB, one 64 KiB piece changed / full",
                            some.seconds / all.seconds, kOnlyChangedTarget});
    }
}

BENCHMARK(BM_PacedCpuRestore)
    ->Arg(128 * 1024)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_OnlyChangedRestore)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nat %u bit/s%50s measured   target\n", kBaud, "");
    for (const Figure &f : gFigures) {
        if (f.target > 0) {
            std::printf("%-62s %6.3fx  <= %.2fx  %s\n", f.what.c_str(), f.ratio, f.target,
                        f.ratio <= f.target ? "within" : "OVER");
        } else {
            std::printf("%-62s %6.3fx  (for information)\n", f.what.c_str(), f.ratio);
        }
    }
    return 0;
}
