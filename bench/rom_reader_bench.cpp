// Reading the whole model of a 16 MB ROM image with 500 databases (what `ostervane-cli info`
// lists), as a ratio against reading the file once; and the whole of `info`, with its CRC over
// the image, for comparison.  Prints a summary table after the run; nothing fails on timing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "ostervane/core/rom_features.h"
#include "ostervane/core/rom_summary.h"
#include "test_rom.h"

namespace {

using namespace ostervane;
using bench::ScratchDir;
using bench::secondsOf;

constexpr size_t kDatabases = 500;
constexpr size_t kBytesPerDatabase = 32000; // 8 records of 4,000 bytes: 16 MB in all
constexpr double kModelBound = 2.0;

struct Figure {
    std::string label;
    double ratio = 0;
    double bound = 0; // 0: reported without a bound
};
std::vector<Figure> gFigures;
int gFailures = 0;

struct Fixture {
    ScratchDir dir{"rom_reader_bench"};
    std::string path = dir.file("big.rom").string();
    size_t size = 0;

    bool Build() {
        testing::TestRomOptions options;
        options.heapVersion = 4;
        testing::TestRom rom(options);
        testing::AddSampleDatabases(rom, false, kDatabases - 3, kBytesPerDatabase);
        const testing::Bytes bytes = rom.Build();
        size = bytes.size();
        std::FILE *file = std::fopen(path.c_str(), "wb");
        bool ok = file != nullptr && std::fwrite(bytes.data(), 1, size, file) == size;
        ok = file != nullptr && std::fclose(file) == 0 && ok;
        const RomImage image = ReadRomImage(bytes);
        return ok && image.problems.empty() && image.Databases().size() == kDatabases;
    }
};
Fixture *gFixture = nullptr;

// The file into memory, as the command does.
bool ReadFile(std::vector<uint8_t> &bytes) {
    std::FILE *file = std::fopen(gFixture->path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.resize(gFixture->size);
    const bool ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

bool ReadModel() {
    std::vector<uint8_t> bytes;
    if (!ReadFile(bytes)) {
        return false;
    }
    const RomImage image = ReadRomImage(bytes);
    const std::vector<RomFeature> features = ReadFeatureTable(image);
    benchmark::DoNotOptimize(features.data());
    return image.Databases().size() == kDatabases && RomOsVersion(features).has_value();
}

bool ReadWholeInfo() {
    std::vector<uint8_t> bytes;
    if (!ReadFile(bytes)) {
        return false;
    }
    const RomImage image = ReadRomImage(bytes);
    const RomSummary summary = SummariseRom(image);
    return summary.rows.size() == kDatabases &&
           summary.checksum.state == RomChecksumState::Verified;
}

bool ReadOnly() {
    std::vector<uint8_t> bytes;
    const bool ok = ReadFile(bytes);
    benchmark::DoNotOptimize(bytes.data());
    return ok;
}

// Alternates which of the pair runs first, so neither always finds the caches warmed.
template <class Step>
void CompareWithRead(benchmark::State &state, const std::string &label, double bound, Step &&step) {
    double stepTime = 0, readTime = 0;
    if (!step() || !ReadOnly()) {
        ++gFailures;
        state.SkipWithError("reading the image failed");
        return;
    }
    for (auto _ : state) {
        bool ok = true;
        double stepOnce = 0, readOnce = 0;
        auto runStep = [&] { stepOnce = secondsOf([&] { ok = step() && ok; }); };
        auto runRead = [&] { readOnce = secondsOf([&] { ok = ReadOnly() && ok; }); };
        if (state.iterations() % 2 == 0) {
            runStep();
            runRead();
        } else {
            runRead();
            runStep();
        }
        if (!ok) {
            ++gFailures;
            state.SkipWithError("reading the image failed");
            return;
        }
        state.SetIterationTime(stepOnce);
        stepTime += stepOnce;
        readTime += readOnce;
    }
    const double ratio = readTime > 0 ? stepTime / readTime : 0;
    state.counters["ratio"] = ratio;
    state.counters["read_ms"] = readTime * 1e3 / double(state.iterations());
    gFigures.push_back({label, ratio, bound});
}

void BM_InfoModel(benchmark::State &state) {
    CompareWithRead(state, "info model (500 databases, 16 MB) / reading the file", kModelBound,
                    ReadModel);
}

void BM_WholeInfo(benchmark::State &state) {
    CompareWithRead(state, "whole info, CRC-16 included / reading the file", 0, ReadWholeInfo);
}

void PrintSummary() {
    std::printf("\n%-56s %10s  %s\n", "figure", "measured", "bound");
    for (const Figure &figure : gFigures) {
        if (figure.bound > 0) {
            std::printf("%-56s %9.3fx  <= %.1fx  %s\n", figure.label.c_str(), figure.ratio,
                        figure.bound, figure.ratio <= figure.bound ? "within" : "OVER");
        } else {
            std::printf("%-56s %9.3fx  (no bound: the CRC reads every byte)\n",
                        figure.label.c_str(), figure.ratio);
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    Fixture fixture;
    if (!fixture.Build()) {
        std::fprintf(stderr, "building the ROM image failed\n");
        return 1;
    }
    gFixture = &fixture;
    benchmark::RegisterBenchmark("info_model", BM_InfoModel)
        ->UseManualTime()
        ->Iterations(40)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("whole_info", BM_WholeInfo)
        ->UseManualTime()
        ->Iterations(20)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return gFailures == 0 ? 0 : 1;
}
