// Measures libprc against plain stdio file handling and reports each figure as a ratio
// against its bound; prints a summary table after the run. Nothing here fails on timing.
#include "prc.h"

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBigRecordCount = 4096;
constexpr uint32_t kBigRecordSize = 4096;
constexpr uint32_t kManyRecordCount = 65535;
constexpr uint32_t kManyRecordSize = 32;
constexpr uint32_t kRemovalRecordSize = 16;
constexpr uint32_t kRemovalCounts[] = {4096, 16384, 65535};

// One reported figure: measured ratio against its upper bound.
struct Figure {
    std::string label;
    double ratio = 0;
    double target = 0;
};

std::map<std::string, Figure> gFigures;
std::map<uint32_t, double> gRemovalNanosPerRecord;
int gFailures = 0;

using bench::ScratchDir;
using bench::secondsOf;

std::vector<uint8_t> patternBytes(uint32_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed * 31 + i);
    }
    return bytes;
}

bool appendRecords(prc_t *prc, uint32_t count, uint32_t recordSize) {
    for (uint32_t i = 0; i < count; ++i) {
        std::vector<uint8_t> body = patternBytes(recordSize, i);
        prc_record_t *rec = prcnewrecord();
        if (rec == nullptr || prcrecordset(rec, body.data(), recordSize) != 0) {
            prcdestroyrecord(rec);
            return false;
        }
        rec->uid = i + 1;
        if (prcappendrecord(prc, rec) == nullptr) {
            prcdestroyrecord(rec);
            return false;
        }
    }
    return true;
}

// Writes a record database of count records of recordSize bytes at path, through the library.
bool buildRecordDatabase(const std::string &path, uint32_t count, uint32_t recordSize) {
    prc_t *prc = prccreate(path.c_str(), "BenchDB", prcstrtotype("DATA"), prcstrtotype("Bnch"), 0);
    if (prc == nullptr) {
        return false;
    }
    bool ok = appendRecords(prc, count, recordSize) && prcflush(prc) == 0;
    prcdestroy(prc);
    return ok;
}

uint64_t expectedFileSize(uint32_t count, uint32_t recordSize) {
    return PRC_HEADER_SIZE + 2 + uint64_t{count} * (8 + recordSize);
}

// The databases every benchmark shares, built once before the run.
struct Fixture {
    ScratchDir dir{"prc_bench"};
    std::string bigDb = dir.file("big.pdb");
    std::string manyDb = dir.file("many.pdb");
    std::string scratchDb = dir.file("scratch.pdb");
    size_t bigDbSize = 0;

    bool build() {
        if (!buildRecordDatabase(bigDb, kBigRecordCount, kBigRecordSize) ||
            !buildRecordDatabase(manyDb, kManyRecordCount, kManyRecordSize)) {
            std::fprintf(stderr, "building the databases failed: %s\n", prcstrerror(prcgeterrno()));
            return false;
        }
        if (fs::file_size(bigDb) != expectedFileSize(kBigRecordCount, kBigRecordSize) ||
            fs::file_size(manyDb) != expectedFileSize(kManyRecordCount, kManyRecordSize)) {
            std::fprintf(stderr, "a built database has an unexpected size\n");
            return false;
        }
        bigDbSize = fs::file_size(bigDb);
        return true;
    }
};

Fixture *gFixture = nullptr;

void fail(benchmark::State &state, const char *what) {
    ++gFailures;
    state.SkipWithError(what);
}

// Accumulates paired timings of the library step and its plain-stdio baseline.
class RatioMeter {
public:
    void add(double library, double baseline) {
        library_ += library;
        baseline_ += baseline;
    }
    double ratio() const { return baseline_ > 0 ? library_ / baseline_ : 0; }

    void report(benchmark::State &state, const std::string &key, const std::string &label,
                double target) {
        auto iterations = static_cast<double>(state.iterations());
        state.counters["ratio"] = ratio();
        state.counters["target"] = target;
        state.counters["baseline_ms"] = iterations > 0 ? baseline_ * 1e3 / iterations : 0;
        gFigures[key] = Figure{label, ratio(), target};
    }

private:
    double library_ = 0;
    double baseline_ = 0;
};

// Runs the library step and the baseline alternately first, so neither always finds the
// page cache warmed by the other.
template <class Library, class Baseline>
bool measurePair(benchmark::State &state, RatioMeter &meter, Library &&library,
                 Baseline &&baseline) {
    bool ok = true;
    double libraryTime = 0;
    double baselineTime = 0;
    auto runLibrary = [&] { libraryTime = secondsOf([&] { ok = library() && ok; }); };
    auto runBaseline = [&] { baselineTime = secondsOf([&] { ok = baseline() && ok; }); };
    if (state.iterations() % 2 == 0) {
        runLibrary();
        runBaseline();
    } else {
        runBaseline();
        runLibrary();
    }
    state.SetIterationTime(libraryTime);
    meter.add(libraryTime, baselineTime);
    return ok;
}

// Where the library's time goes, summed over the timed runs.
struct StepTimes {
    double open = 0;
    double flush = 0;

    void report(benchmark::State &state) const {
        auto iterations = static_cast<double>(state.iterations());
        state.counters["open_ms"] = open * 1e3 / iterations;
        state.counters["flush_ms"] = flush * 1e3 / iterations;
    }
};

// Flushes an open handle and frees it; false when the open or the flush failed.
bool flushAndDestroy(prc_t *prc, StepTimes &times) {
    if (prc == nullptr) {
        return false;
    }
    bool ok = true;
    times.flush += secondsOf([&] { ok = prcflush(prc) == 0; });
    prcdestroy(prc);
    return ok;
}

bool libraryOpenFlushInPlace(const std::string &path, StepTimes &times) {
    FILE *fp = std::fopen(path.c_str(), "r+b");
    if (fp == nullptr) {
        return false;
    }
    prc_t *prc = nullptr;
    times.open += secondsOf([&] { prc = prcfpopen(fp, PRC_OPEN_UPDATE); });
    bool ok = flushAndDestroy(prc, times);
    return std::fclose(fp) == 0 && ok;
}

bool libraryOpenFlushReplace(const std::string &path, StepTimes &times) {
    prc_t *prc = nullptr;
    times.open += secondsOf([&] { prc = prcopen(path.c_str(), PRC_OPEN_UPDATE); });
    return flushAndDestroy(prc, times);
}

// The baselines hold the whole file in freshly allocated memory, as the library does.
using FileBuffer = std::unique_ptr<uint8_t[]>;

bool stdioReadWriteInPlace(const std::string &path, size_t size) {
    FILE *fp = std::fopen(path.c_str(), "r+b");
    if (fp == nullptr) {
        return false;
    }
    FileBuffer buffer(new uint8_t[size]);
    bool ok = std::fread(buffer.get(), 1, size, fp) == size && std::fseek(fp, 0, SEEK_SET) == 0 &&
              std::fwrite(buffer.get(), 1, size, fp) == size;
    return std::fclose(fp) == 0 && ok;
}

bool readWhole(const std::string &path, uint8_t *buffer, size_t size) {
    FILE *fp = std::fopen(path.c_str(), "rb");
    if (fp == nullptr) {
        return false;
    }
    bool ok = std::fread(buffer, 1, size, fp) == size;
    return std::fclose(fp) == 0 && ok;
}

bool writeSyncedAndRename(const std::string &path, const std::string &temp, const uint8_t *buffer,
                          size_t size) {
    FILE *fp = std::fopen(temp.c_str(), "wb");
    if (fp == nullptr) {
        return false;
    }
    bool ok =
        std::fwrite(buffer, 1, size, fp) == size && std::fflush(fp) == 0 && fsync(fileno(fp)) == 0;
    ok = std::fclose(fp) == 0 && ok;
    return ok && std::rename(temp.c_str(), path.c_str()) == 0;
}

bool stdioReplaceThroughTemp(const std::string &path, size_t size) {
    FileBuffer buffer(new uint8_t[size]);
    return readWhole(path, buffer.get(), size) &&
           writeSyncedAndRename(path, path + ".tmp", buffer.get(), size);
}

// Times library step against baseline for every iteration, after one untimed warm-up pair
// so both start from a filled page cache and a settled allocator.
template <class Library, class Baseline>
void compareOpenFlush(benchmark::State &state, const char *key, const char *label,
                      Library &&library, Baseline &&baseline) {
    StepTimes warmUp;
    if (!library(warmUp) || !baseline()) {
        fail(state, "open and flush failed");
        return;
    }
    StepTimes times;
    RatioMeter meter;
    for (auto _ : state) {
        if (!measurePair(
                state, meter, [&] { return library(times); }, baseline)) {
            fail(state, "open and flush failed");
            break;
        }
    }
    if (state.error_occurred()) {
        return;
    }
    if (fs::file_size(gFixture->bigDb) != gFixture->bigDbSize) {
        fail(state, "the flush changed the file size");
        return;
    }
    times.report(state);
    meter.report(state, key, label, 1.5);
}

// (a) prcfpopen + prcflush in place against fread + fwrite of the same bytes.
void BM_OpenFlushInPlace(benchmark::State &state) {
    const Fixture &fx = *gFixture;
    compareOpenFlush(
        state, "a1", "(a) prcfpopen+prcflush in place / stdio read+write",
        [&](StepTimes &times) { return libraryOpenFlushInPlace(fx.bigDb, times); },
        [&] { return stdioReadWriteInPlace(fx.bigDb, fx.bigDbSize); });
}

// (a) prcopen + prcflush (temp file, fsync, rename) against the same steps in plain stdio.
void BM_OpenFlushReplace(benchmark::State &state) {
    const Fixture &fx = *gFixture;
    compareOpenFlush(
        state, "a2", "(a) prcopen+prcflush / stdio read+temp+fsync+rename",
        [&](StepTimes &times) { return libraryOpenFlushReplace(fx.bigDb, times); },
        [&] { return stdioReplaceThroughTemp(fx.bigDb, fx.bigDbSize); });
}

bool fetchEveryRecord(prc_t *prc) {
    uint16_t count = prcgetnrecords(prc);
    for (uint32_t i = 0; i < count; ++i) {
        prc_record_t *rec = prcgetrecord(prc, static_cast<uint16_t>(i));
        if (rec == nullptr) {
            return false;
        }
        benchmark::DoNotOptimize(rec);
    }
    return true;
}

// (b) prcgetrecord for every index against one full prcfpopen of the same database.
void BM_GetEveryRecord(benchmark::State &state) {
    FILE *fp = std::fopen(gFixture->manyDb.c_str(), "rb");
    if (fp == nullptr) {
        fail(state, "cannot open the 65,535-record database");
        return;
    }
    RatioMeter meter;
    for (auto _ : state) {
        prc_t *prc = nullptr;
        double openTime = secondsOf([&] { prc = prcfpopen(fp, PRC_OPEN_READ); });
        if (prc == nullptr || prcgetnrecords(prc) != kManyRecordCount) {
            fail(state, "opening the 65,535-record database failed");
            break;
        }
        bool ok = true;
        double fetchTime = secondsOf([&] { ok = fetchEveryRecord(prc); });
        prcdestroy(prc);
        if (!ok) {
            fail(state, "prcgetrecord returned NULL inside the list");
            break;
        }
        state.SetIterationTime(fetchTime);
        meter.add(fetchTime, openTime);
    }
    std::fclose(fp);
    if (state.error_occurred()) {
        return;
    }
    meter.report(state, "b", "(b) prcgetrecord x 65,535 / one prcfpopen", 2.0);
}

prc_t *newDatabaseInMemory(FILE *fp, uint32_t count) {
    prc_t *prc = prcfpopen(fp, PRC_OPEN_CREATE);
    if (prc != nullptr && !appendRecords(prc, count, kRemovalRecordSize)) {
        prcdestroy(prc);
        return nullptr;
    }
    return prc;
}

bool removeAllFromTheEnd(prc_t *prc, uint32_t count) {
    for (uint32_t i = count; i-- > 0;) {
        prc_record_t *rec = prcgetrecord(prc, static_cast<uint16_t>(i));
        if (rec == nullptr || prcremoverecord(prc, rec) != rec) {
            return false;
        }
        prcdestroyrecord(rec);
    }
    return prcgetnrecords(prc) == 0 && prc->records == nullptr;
}

// (c) removing every record from the last index down, timed per record.
void BM_RemoveFromTheEnd(benchmark::State &state) {
    auto count = static_cast<uint32_t>(state.range(0));
    FILE *fp = std::fopen(gFixture->scratchDb.c_str(), "w+b");
    if (fp == nullptr) {
        fail(state, "cannot open the scratch file");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        prc_t *prc = newDatabaseInMemory(fp, count);
        if (prc == nullptr) {
            fail(state, "building the database in memory failed");
            break;
        }
        bool ok = true;
        double elapsed = secondsOf([&] { ok = removeAllFromTheEnd(prc, count); });
        prcdestroy(prc);
        if (!ok) {
            fail(state, "removing from the end failed");
            break;
        }
        state.SetIterationTime(elapsed);
        total += elapsed;
    }
    std::fclose(fp);
    if (state.error_occurred() || state.iterations() == 0) {
        return;
    }
    double perRecordNanos = total * 1e9 / (static_cast<double>(state.iterations()) * count);
    state.counters["ns_per_record"] = perRecordNanos;
    gRemovalNanosPerRecord[count] = perRecordNanos;
}

void registerBenchmarks() {
    using benchmark::kMillisecond;
    benchmark::RegisterBenchmark("open_flush_in_place/16MB", BM_OpenFlushInPlace)
        ->UseManualTime()
        ->Iterations(40)
        ->Unit(kMillisecond);
    benchmark::RegisterBenchmark("open_flush_replace/16MB", BM_OpenFlushReplace)
        ->UseManualTime()
        ->Iterations(10)
        ->Unit(kMillisecond);
    benchmark::RegisterBenchmark("get_every_record/65535", BM_GetEveryRecord)
        ->UseManualTime()
        ->Iterations(10)
        ->Unit(kMillisecond);
    // About the same number of removals at every size.
    for (uint32_t count : kRemovalCounts) {
        benchmark::RegisterBenchmark("remove_from_the_end", BM_RemoveFromTheEnd)
            ->Arg(count)
            ->UseManualTime()
            ->Iterations(std::max<int64_t>(8, 800000 / count))
            ->Unit(kMillisecond);
    }
}

void printRatioRow(const Figure &figure) {
    std::printf("%-56s %9.3fx  <= %.1fx  %s\n", figure.label.c_str(), figure.ratio, figure.target,
                figure.ratio <= figure.target ? "within" : "OVER");
}

void printSummary() {
    std::printf("\n%-56s %10s  %7s\n", "figure", "measured", "target");
    for (const auto &[key, figure] : gFigures) {
        printRatioRow(figure);
    }
    for (const auto &[count, nanos] : gRemovalNanosPerRecord) {
        std::printf("(c) remove from the end, n = %-27u %9.1f ns/record\n", count, nanos);
    }
    auto smallest = gRemovalNanosPerRecord.find(kRemovalCounts[0]);
    auto largest = gRemovalNanosPerRecord.find(kRemovalCounts[2]);
    if (smallest != gRemovalNanosPerRecord.end() && largest != gRemovalNanosPerRecord.end() &&
        smallest->second > 0) {
        printRatioRow(Figure{"(c) per-record removal, n = 65,535 / n = 4,096",
                             largest->second / smallest->second, 2.0});
    }
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    Fixture fixture;
    if (!fixture.build()) {
        return 1;
    }
    gFixture = &fixture;
    registerBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return gFailures == 0 ? 0 : 1;
}
