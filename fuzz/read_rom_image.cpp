// Fuzz target: arbitrary bytes read as a ROM image, summarised as `info` shows it, and each
// database that can be extracted copied into a libprc handle.  Everything the model names must
// lie inside the bytes, a database left incomplete must come with a problem, and the copy must
// hold as many entries as the model.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "ostervane/core/rom_extract.h"
#include "ostervane/core/rom_summary.h"

namespace {

using namespace ostervane;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckInside(const RomImage &image, const RomBytes &range) {
    Check(range.offset <= image.bytes.size() && range.size <= image.bytes.size() - range.offset);
}

void CheckInside(const RomImage &image, const std::optional<RomBytes> &range) {
    if (range) {
        CheckInside(image, *range);
    }
}

void CheckPart(const RomImage &image, const RomPart &part) {
    Check(part.card.fileOffset + 256 <= image.bytes.size());
    for (const RomChunk &chunk : part.chunks) {
        CheckInside(image, chunk.data);
        Check(chunk.headerOffset < chunk.data.offset);
        Check(part.ChunkAt(chunk.localId) != nullptr);
    }
    for (const RomHeap &heap : part.heaps) {
        Check(heap.firstChunk + heap.chunkCount <= part.chunks.size());
    }
    for (const RomDatabase &database : part.databases) {
        CheckInside(image, database.header);
        CheckInside(image, database.appInfo);
        CheckInside(image, database.sortInfo);
        for (const RomRecord &record : database.records) {
            CheckInside(image, record.data);
        }
        for (const RomResource &resource : database.resources) {
            CheckInside(image, resource.data);
        }
        Check(database.complete || !image.problems.empty());
        Check(database.name.size() <= 32);
    }
}

// A handle on /dev/null: prcfpopen in create mode reads nothing, and nothing is flushed.
void CopyIntoHandle(const RomImage &image, const RomDatabase &database) {
    static std::FILE *sink = std::fopen("/dev/null", "w+");
    Check(sink != nullptr);
    prc_t *prc = prcfpopen(sink, PRC_OPEN_CREATE);
    Check(prc != nullptr);
    Check(FillPrcFromRom(prc, image, database) == 0);
    Check(prcgetnrecords(prc) == database.EntryCount());
    prcdestroy(prc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const RomImage image = ReadRomImage(std::span<const uint8_t>(data, size));
    for (const std::optional<RomPart> *part : {&image.small, &image.big}) {
        if (*part) {
            CheckPart(image, **part);
        }
    }
    const RomSummary summary = SummariseRom(image);
    Check(summary.rows.size() == image.Databases().size());
    Check(summary.problems.size() >= image.problems.size());
    for (const RomDatabase *database : image.Databases()) {
        if (RomDatabaseRefusal(*database).empty()) {
            CopyIntoHandle(image, *database);
        }
    }
    return 0;
}
