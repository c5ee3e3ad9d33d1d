// ROMs the builder lays out, read back by the ROM reader and written as database files by the
// extractor and ostervane-cli: every header field, entry, attribute, unique id and byte must come
// back as it was put in, for every heap version, chained directories, several heaps, empty
// databases and ARM parts; and the presets' backups list their databases.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/wait.h>

#include "ostervane/core/rom_checksum.h"
#include "ostervane/core/rom_extract.h"
#include "ostervane/core/rom_features.h"
#include "ostervane/core/rom_reader.h"
#include "ostervane/link/arm_header_order.h"
#include "prc.h"
#include "simulator/rom_builder.h"
#include "simulator/rom_presets.h"

namespace {

using namespace ostervane;
using namespace ostervane::simulator;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

constexpr uint16_t kEveryDatabaseBit = 0x8F7E; // all but resource and file stream

Bytes Filled(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = uint8_t(seed + i * 7);
    }
    return bytes;
}

// Sixteen records: every combination of the four flag bits, every category, unique ids from 1
// to 0xFFFFFF, bodies of odd and even length.
std::vector<RomRecordSpec> EveryAttributeRecords() {
    std::vector<RomRecordSpec> records;
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t unique = i == 15 ? 0xFFFFFF : 1 + i * 0x111111;
        records.push_back({uint8_t(i << 4 | (15 - i)), unique, Filled(1 + 3 * i, uint8_t(i))});
    }
    return records;
}

RomSpec RichRom(int heapVersion, bool arm = false) {
    RomSpec spec;
    if (arm) {
        spec.base = 0x20010000;
        spec.card.headerVersion = 6;
        spec.card.flags = 0x2080;
        spec.store.version = 2;
    } else {
        spec.card.headerVersion = 5;
        spec.card.manufacturer = "Example Devices";
        spec.card.readOnlyParmsOffset = 0x10C08180;
        spec.card.halCodeOffset = 0x4000;
    }
    spec.card.resetVector = spec.base + 0x100;
    spec.card.creationDate = PalmDate(2002, 3, 4, 5, 6, 7);
    spec.card.companyId = FourCC("palm");
    spec.card.halId = FourCC("Exmp");
    spec.card.romVersionNumber = 0x04103000;
    spec.card.romVersionString = "Built 2002-03-04";
    spec.store.splashScreenPtr = 0;
    spec.store.localeLanguage = 2;
    spec.heaps = {RomHeapSpec{heapVersion, 0, 0}, RomHeapSpec{heapVersion, 0, 0x10000}};
    spec.databasesPerDirectory = 2;

    spec.databases.push_back(SystemDatabase(0x04103000, 0x00020000, arm));

    RomDatabaseSpec app;
    app.name = "Launcher";
    app.attributes = 0x0001 | 0x0002 | 0x0100;
    app.version = 3;
    app.creationDate = PalmDate(2001, 12, 31, 23, 59, 59);
    app.modificationDate = PalmDate(2002, 1, 1);
    app.type = FourCC("appl");
    app.creator = FourCC("lnch");
    app.resources = {{FourCC("code"), 0, Filled(24, 1)},
                     {FourCC("code"), 1, Filled(333, 2)},
                     {FourCC("tFRM"), 1000, Filled(96, 3)},
                     {FourCC("tSTR"), 0xFFFF, {'x', 0}}};
    app.heap = 1;
    spec.databases.push_back(app);

    RomDatabaseSpec every;
    every.name = "A name thirty-one bytes long!!!";
    every.attributes = kEveryDatabaseBit;
    every.version = 0xFFFE;
    every.creationDate = PalmDate(2002, 5, 6, 7, 8, 9);
    every.modificationDate = PalmDate(2002, 5, 7);
    every.lastBackupDate = PalmDate(2002, 5, 8);
    every.modificationNumber = 0x12345678;
    every.type = FourCC("DATA");
    every.creator = FourCC("evry");
    every.uniqueIdSeed = 0x00FFFFFF;
    every.appInfo = CategoryAppInfo({"Unfiled", "Work", "Home"});
    every.sortInfo = Bytes{5, 4, 3, 2, 1};
    every.records = EveryAttributeRecords();
    spec.databases.push_back(every);

    RomDatabaseSpec emptyRecords;
    emptyRecords.name = "Empty Records";
    emptyRecords.type = FourCC("DATA");
    emptyRecords.creator = FourCC("emty");
    emptyRecords.appInfo = Bytes{0xAA};
    emptyRecords.heap = 1;
    spec.databases.push_back(emptyRecords);

    RomDatabaseSpec emptyResources;
    emptyResources.name = "Empty Resources";
    emptyResources.attributes = 0x0001;
    emptyResources.type = FourCC("rsrc");
    emptyResources.creator = FourCC("emty");
    spec.databases.push_back(emptyResources);
    return spec;
}

Bytes Span(const RomImage &image, const std::optional<RomBytes> &range) {
    if (!range) {
        return {};
    }
    std::span<const uint8_t> s = image.Bytes(*range);
    return Bytes(s.begin(), s.end());
}

void ExpectSameDatabase(const RomImage &image, const RomDatabase &read, const RomDatabaseSpec &spec,
                        const BuiltDatabase *built) {
    SCOPED_TRACE(spec.name);
    EXPECT_EQ(read.name, spec.name);
    EXPECT_EQ(read.attributes, spec.attributes);
    EXPECT_EQ(read.version, spec.version);
    EXPECT_EQ(read.creationDate, spec.creationDate);
    EXPECT_EQ(read.modificationDate, spec.modificationDate);
    EXPECT_EQ(read.lastBackupDate, spec.lastBackupDate);
    EXPECT_EQ(read.modificationNumber, spec.modificationNumber);
    EXPECT_EQ(read.type, spec.type);
    EXPECT_EQ(read.creator, spec.creator);
    EXPECT_EQ(read.uniqueIdSeed, spec.uniqueIdSeed);
    EXPECT_EQ(read.nextRecordListId, 0u);
    EXPECT_TRUE(read.complete);
    EXPECT_EQ(read.appInfo.has_value(), spec.appInfo.has_value());
    EXPECT_EQ(Span(image, read.appInfo), spec.appInfo.value_or(Bytes{}));
    EXPECT_EQ(read.sortInfo.has_value(), spec.sortInfo.has_value());
    EXPECT_EQ(Span(image, read.sortInfo), spec.sortInfo.value_or(Bytes{}));
    if (built != nullptr) {
        EXPECT_EQ(read.headerLocalId, built->headerId);
        EXPECT_EQ(read.appInfoId, built->appInfoId);
        EXPECT_EQ(read.sortInfoId, built->sortInfoId);
    }
    ASSERT_EQ(read.records.size(), spec.records.size());
    for (size_t i = 0; i < spec.records.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(read.records[i].attributes, spec.records[i].attributes);
        EXPECT_EQ(read.records[i].uniqueId, spec.records[i].uniqueId);
        EXPECT_EQ(Span(image, read.records[i].data), spec.records[i].data.value_or(Bytes{}));
        if (built != nullptr) {
            EXPECT_EQ(read.records[i].localId, built->entryIds[i]);
        }
    }
    ASSERT_EQ(read.resources.size(), spec.resources.size());
    for (size_t i = 0; i < spec.resources.size(); ++i) {
        SCOPED_TRACE("resource " + std::to_string(i));
        EXPECT_EQ(read.resources[i].type, spec.resources[i].type);
        EXPECT_EQ(read.resources[i].id, spec.resources[i].id);
        EXPECT_EQ(Span(image, read.resources[i].data), spec.resources[i].data);
        if (built != nullptr) {
            EXPECT_EQ(read.resources[i].localId, built->entryIds[i]);
        }
    }
}

Bytes BodyOf(const prc_record_t *entry) {
    return entry->data == nullptr ? Bytes{} : Bytes(entry->data, entry->data + entry->datalen);
}

// The file libprc reads back holds what the description put in the ROM.
void ExpectSameFile(const std::string &path, const RomDatabaseSpec &spec) {
    SCOPED_TRACE(path);
    prc_t *prc = prcopen(path.c_str(), 0);
    ASSERT_NE(prc, nullptr) << "libprc error " << prcgeterrno();
    EXPECT_EQ(std::string(prc->name), spec.name);
    EXPECT_EQ(prc->flags, spec.attributes);
    EXPECT_EQ(prc->version, spec.version);
    EXPECT_EQ(prc->ctime, spec.creationDate);
    EXPECT_EQ(prc->mtime, spec.modificationDate);
    EXPECT_EQ(prc->btime, spec.lastBackupDate);
    EXPECT_EQ(prc->modnum, spec.modificationNumber);
    EXPECT_EQ(prc->type, spec.type);
    EXPECT_EQ(prc->creator, spec.creator);
    bool resource = (spec.attributes & 0x0001) != 0;
    if (!resource) {
        EXPECT_EQ(Bytes(prc->appinfo, prc->appinfo + prc->appinfosize),
                  spec.appInfo.value_or(Bytes{}));
        EXPECT_EQ(Bytes(prc->sortinfo, prc->sortinfo + prc->sortinfosize),
                  spec.sortInfo.value_or(Bytes{}));
    }
    size_t count = resource ? spec.resources.size() : spec.records.size();
    EXPECT_EQ(prc->nrecords, count);
    const prc_record_t *entry = prc->records;
    for (size_t i = 0; i < count; ++i, entry = entry->next) {
        SCOPED_TRACE("entry " + std::to_string(i));
        ASSERT_NE(entry, nullptr);
        if (resource) {
            EXPECT_EQ(entry->type, spec.resources[i].type);
            EXPECT_EQ(entry->id, spec.resources[i].id);
            EXPECT_EQ(BodyOf(entry), spec.resources[i].data);
        } else {
            EXPECT_EQ(entry->attr, spec.records[i].attributes);
            EXPECT_EQ(entry->uid, spec.records[i].uniqueId);
            EXPECT_EQ(BodyOf(entry), spec.records[i].data.value_or(Bytes{}));
        }
    }
    EXPECT_EQ(entry, nullptr);
    prcdestroy(prc);
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "rom-round-trip-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
    std::string operator/(const std::string &name) const { return (path / name).string(); }
};

void WriteFile(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Runs a command line, giving its standard output and exit status.
int RunCommand(const std::string &command, std::string *output) {
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output->append(buffer, n);
    }
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Bin(const char *tool) {
    return std::string(OSTERVANE_BIN_DIR) + "/" + tool;
}

std::string FileNameOf(const RomDatabaseSpec &spec) {
    return spec.name + ((spec.attributes & 0x0001) != 0 ? ".prc" : ".pdb");
}

class RomRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RomRoundTrip, ReaderAndExtractorGiveBackEverythingPutIn) {
    RomSpec spec = RichRom(GetParam());
    BuiltRom rom = BuildRom(spec);
    RomImage image = ReadRomImage(rom.bytes);
    EXPECT_EQ(image.problems, std::vector<std::string>{});
    ASSERT_TRUE(image.big.has_value());
    EXPECT_FALSE(image.small.has_value());
    const RomPart &big = *image.big;

    const RomCardHeader &card = big.card;
    EXPECT_EQ(card.initStack, spec.card.initStack);
    EXPECT_EQ(card.resetVector, spec.card.resetVector);
    EXPECT_EQ(card.headerVersion, spec.card.headerVersion);
    EXPECT_EQ(card.flags, spec.card.flags);
    EXPECT_EQ(card.name, spec.card.name);
    EXPECT_EQ(card.manufacturer, spec.card.manufacturer);
    EXPECT_EQ(card.cardVersion, spec.card.cardVersion);
    EXPECT_EQ(card.creationDate, spec.card.creationDate);
    EXPECT_EQ(card.numRamBlocks, 1);
    EXPECT_EQ(card.blockListOffset, spec.base + 0x200);
    EXPECT_EQ(card.readOnlyParmsOffset, spec.card.readOnlyParmsOffset);
    EXPECT_EQ(card.bigRomOffset, spec.base);
    EXPECT_EQ(card.base, spec.base);
    EXPECT_EQ(card.checksumBytes, rom.bytes.size());
    EXPECT_EQ(card.checksumValue, rom.checksum);
    EXPECT_EQ(card.halCodeOffset, spec.card.halCodeOffset);
    EXPECT_EQ(card.companyId, spec.card.companyId);
    EXPECT_EQ(card.halId, spec.card.halId);
    EXPECT_EQ(card.romVersionNumber, spec.card.romVersionNumber);
    EXPECT_EQ(card.romVersionString, spec.card.romVersionString);
    EXPECT_EQ(CheckRomChecksum(rom.bytes).state, RomChecksumState::Verified);

    ASSERT_TRUE(big.storage.has_value());
    EXPECT_EQ(big.storage->version, 1);
    EXPECT_EQ(big.storage->name, "ROM Store");
    EXPECT_EQ(big.storage->heapListOffset, rom.heapListId);
    EXPECT_EQ(big.storage->databaseDirId, rom.directoryIds.front());
    EXPECT_EQ(big.storage->localeLanguage, 2);
    EXPECT_EQ(big.storage->localeCountry, 23);

    ASSERT_EQ(big.heaps.size(), 2u);
    for (size_t h = 0; h < 2; ++h) {
        EXPECT_EQ(big.heaps[h].version, GetParam());
        EXPECT_EQ(big.heaps[h].localId, rom.heapIds[h]);
        EXPECT_TRUE(big.heaps[h].walkedToEnd);
    }
    EXPECT_EQ(big.heaps[1].size, 0x10000u);
    const RomChunk &last = big.chunks.back();
    EXPECT_TRUE(last.free);
    EXPECT_EQ(last.data.offset, rom.freeData[0].offset);
    EXPECT_EQ(last.data.size, rom.freeData[0].size);

    ASSERT_EQ(big.databases.size(), spec.databases.size());
    for (size_t d = 0; d < spec.databases.size(); ++d) {
        ExpectSameDatabase(image, big.databases[d], spec.databases[d], &rom.databases[d]);
    }
    EXPECT_EQ(RomOsVersion(ReadFeatureTable(image)), 0x04103000u);

    TempDir dir;
    for (size_t d = 0; d < spec.databases.size(); ++d) {
        std::string path = dir / FileNameOf(spec.databases[d]);
        RomExtractOutcome outcome = ExtractRomDatabase(image, big.databases[d], path, false);
        EXPECT_EQ(outcome.state, RomExtractState::Written) << outcome.message;
        EXPECT_EQ(outcome.losses, std::vector<std::string>{});
        ExpectSameFile(path, spec.databases[d]);
    }
}

INSTANTIATE_TEST_SUITE_P(HeapVersions, RomRoundTrip, ::testing::Values(2, 3, 4));

TEST(RomRoundTripArm, ReaderGivesBackAnArmStore) {
    RomSpec spec = RichRom(4, true);
    BuiltRom rom = BuildRom(spec);
    RomImage image = ReadRomImage(rom.bytes);
    EXPECT_EQ(image.problems, std::vector<std::string>{});
    ASSERT_TRUE(image.big.has_value());
    EXPECT_TRUE(image.big->card.arm);
    EXPECT_EQ(image.big->card.companyId, spec.card.companyId);
    EXPECT_EQ(image.big->card.romVersionNumber, spec.card.romVersionNumber);
    EXPECT_EQ(image.big->card.creationDate, spec.card.creationDate);
    ASSERT_EQ(image.big->databases.size(), spec.databases.size());
    for (size_t d = 0; d < spec.databases.size(); ++d) {
        ExpectSameDatabase(image, image.big->databases[d], spec.databases[d], &rom.databases[d]);
    }
    EXPECT_EQ(RomOsVersion(ReadFeatureTable(image)), 0x04103000u);
}

// A deleted record keeps its entry with LocalID 0 and no chunk: its attributes and unique id
// still come back, with no bytes.
TEST(RomRoundTripRecords, WithoutDataKeepTheirEntries) {
    RomSpec spec;
    RomDatabaseSpec db;
    db.name = "Deleted";
    db.records = {{0x80, 0x000010, std::nullopt}, {0x03, 0x000011, Bytes{1, 2, 3}}};
    spec.databases = {db};
    BuiltRom rom = BuildRom(spec);
    RomImage image = ReadRomImage(rom.bytes);
    ASSERT_TRUE(image.big.has_value());
    ASSERT_EQ(image.big->databases.size(), 1u);
    const RomDatabase &read = image.big->databases[0];
    ExpectSameDatabase(image, read, db, &rom.databases[0]);
    EXPECT_FALSE(read.records[0].data.has_value());

    TempDir dir;
    std::string path = dir / "Deleted.pdb";
    RomExtractOutcome outcome = ExtractRomDatabase(image, read, path, false);
    EXPECT_EQ(outcome.state, RomExtractState::Written) << outcome.message;
    ExpectSameFile(path, db);
}

TEST(RomRoundTripCli, ExtractWritesFilesThatLibprcAndPrcdumpReadBack) {
    RomSpec spec = RichRom(3);
    BuiltRom rom = BuildRom(spec);
    TempDir dir;
    WriteFile(dir / "rich.rom", rom.bytes);
    std::string output;
    ASSERT_EQ(
        RunCommand(Bin("ostervane-cli") + " extract " + (dir / "rich.rom") + " " + (dir / "out"),
                   &output),
        0)
        << output;
    EXPECT_NE(output.find("Extracted 5 databases into"), std::string::npos) << output;
    for (const RomDatabaseSpec &db : spec.databases) {
        ExpectSameFile(dir / ("out/" + FileNameOf(db)), db);
    }

    const RomDatabaseSpec &every = spec.databases[2];
    std::string dump;
    ASSERT_EQ(
        RunCommand(Bin("prcdump") + " -x '" + (dir / ("out/" + FileNameOf(every))) + "'", &dump),
        0);
    for (size_t i = 0; i < every.records.size(); ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "\n +%zu +0x%02x +0x%06x +%zu ", i,
                      every.records[i].attributes, every.records[i].uniqueId,
                      every.records[i].data->size());
        EXPECT_TRUE(std::regex_search(dump, std::regex(line))) << line << "\n" << dump;
    }
    EXPECT_TRUE(std::regex_search(dump, std::regex("\n  appinfo +276 bytes\n"))) << dump;
    EXPECT_TRUE(std::regex_search(dump, std::regex("\n  sortinfo +5 bytes\n"))) << dump;
    EXPECT_TRUE(std::regex_search(dump, std::regex("\n  modnum +305419896\n"))) << dump;
}

// What a backup of the model saves: the big ROM up to the end of the heap marker's area, an ARM
// header in file order.
Bytes BackupOf(const HandheldModel &model) {
    HandheldMemory memory = BuildMemory(model);
    Bytes image(model.RomEnd() - model.bigRomBase);
    EXPECT_TRUE(memory.Read(model.bigRomBase, image.data(), image.size()));
    ArmHeaderToFileOrder(image.data(), uint32_t(image.size()));
    return image;
}

TEST(PresetStores, EveryBigRomHoldsItsDatabasesAndOnlyRandomBytesAroundThem) {
    for (const HandheldModel &model : HandheldModels()) {
        SCOPED_TRACE(model.name);
        RomSpec spec = BigRomSpec(model);
        Bytes backup = BackupOf(model);
        RomImage image = ReadRomImage(backup);
        EXPECT_EQ(image.problems, std::vector<std::string>{});
        ASSERT_TRUE(image.big.has_value());
        const RomPart &big = *image.big;
        EXPECT_EQ(big.card.base, model.bigRomStartField);
        EXPECT_EQ(big.card.checksumBytes, model.bigRomLength);
        ASSERT_EQ(big.databases.size(), spec.databases.size());
        for (size_t d = 0; d < spec.databases.size(); ++d) {
            ExpectSameDatabase(image, big.databases[d], spec.databases[d], nullptr);
        }
        EXPECT_NE(RomOsVersion(ReadFeatureTable(image)), std::nullopt);
        // One heap reaching the end of the big ROM; its free chunk keeps the flash's bytes.
        ASSERT_EQ(big.heaps.size(), 1u);
        EXPECT_EQ(big.heaps[0].fileOffset + big.heaps[0].size, model.bigRomLength);
        const RomChunk &free = big.chunks.back();
        ASSERT_TRUE(free.free);
        EXPECT_GT(free.data.size, model.bigRomLength / 2);
        for (uint64_t i = 0; i < free.data.size; i += 4099) {
            uint64_t at = free.data.offset + i;
            ASSERT_EQ(backup[at], RomPatternByte(model.bigRomBase + uint32_t(at))) << at;
        }
        uint64_t marker = model.heap ? model.heap->address - model.bigRomBase : backup.size();
        for (uint64_t at = model.bigRomLength; at < backup.size(); at += 4099) {
            if (at < marker || at >= marker + 16) {
                ASSERT_EQ(backup[at], RomPatternByte(model.bigRomBase + uint32_t(at))) << at;
            }
        }
    }
}

TEST(PresetStores, InfoListsTheDatabasesOfEveryBackup) {
    TempDir dir;
    for (const HandheldModel &model : HandheldModels()) {
        SCOPED_TRACE(model.name);
        bool arm = model.family == RomFamily::Arm;
        std::string path = dir / (model.name + ".rom");
        WriteFile(path, BackupOf(model));
        std::string info;
        ASSERT_EQ(RunCommand(Bin("ostervane-cli") + " info " + path, &info), 0) << info;
        for (const char *row : {arm ? "\nbig +Boot +rsrc psys " : "\nbig +System +rsrc psys ",
                                "\nbig +Calculator +appl calc ", "\nbig +MemoDB +DATA memo "}) {
            EXPECT_TRUE(std::regex_search(info, std::regex(row))) << row << "\n" << info;
        }
        EXPECT_EQ(info.find("ROM checksum verified") != std::string::npos, !arm) << info;
        EXPECT_TRUE(std::regex_search(info, std::regex("\nOS version: +[345]\\.[0-9]\n"))) << info;
    }
}

} // namespace
