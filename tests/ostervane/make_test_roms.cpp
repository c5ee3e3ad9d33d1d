// Writes the ROM images the command-line tests of info and extract read, into the folder given:
// m68k.rom (a whole card), arm.rom (a big ROM), broken.rom (a record past the end of the image)
// and large.rom (a resource too large for a database file); also, as fuzzing seeds, arm-card.rom
// (an ARM whole card) and chained-v1.rom (version 1 heaps, a chained directory, a continued
// record list).
#include <cstdio>
#include <string>

#include "test_rom.h"

namespace {

using namespace ostervane::testing;

bool Write(const std::string &path, const Bytes &bytes) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = file != nullptr && std::fclose(file) == 0 && ok;
    if (!ok) {
        std::perror(path.c_str());
    }
    return ok;
}

Bytes WholeCard68k() {
    TestRomOptions options;
    options.heapVersion = 4;
    options.wholeCard = true;
    TestRom rom(options);
    AddSampleDatabases(rom, false);
    TestDatabase same;
    same.name = "Small ROM"; // also the small ROM's database: two files, two names
    same.type = Code("boot");
    same.creator = Code("psys");
    same.resources.push_back({Code("boot"), 10001, Bytes(8, 1)});
    rom.Add(same);
    return rom.Build();
}

Bytes Arm() {
    TestRomOptions options;
    options.arm = true;
    options.heapVersion = 4;
    options.romVersion = 0x05453000;
    options.romVersionString = "5.4.5 test";
    TestRom rom(options);
    AddSampleDatabases(rom, true);
    return rom.Build();
}

Bytes Broken() {
    TestRom rom;
    AddSampleDatabases(rom, false);
    Bytes bytes = rom.Build();
    bytes[rom.Place("db1.entries") + 8] = 0x7F; // MemoDB's record 1
    return bytes;
}

Bytes Large() {
    TestRom rom;
    AddSampleDatabases(rom, false);
    TestDatabase large;
    large.name = "Large";
    large.resources.push_back({Code("Tbmp"), 1, Bytes(70000, 1)});
    rom.Add(large);
    return rom.Build();
}

Bytes ArmCard() {
    TestRomOptions options;
    options.arm = true;
    options.heapVersion = 4;
    options.wholeCard = true;
    TestRom rom(options);
    AddSampleDatabases(rom, true);
    return rom.Build();
}

Bytes ChainedV1() {
    TestRomOptions options;
    options.heapVersion = 1;
    options.headerVersion = 3;
    options.heaps = 2;
    options.databasesPerDirectory = 2;
    TestRom rom(options);
    AddSampleDatabases(rom, false);
    TestDatabase continued;
    continued.name = "Continued";
    for (uint32_t i = 0; i < 3; i++) {
        continued.records.push_back({uint8_t(0x10 * i), i + 1, Bytes(i + 2, uint8_t(i))});
    }
    continued.entriesInHeader = 1;
    rom.Add(continued);
    return rom.Build();
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_test_roms DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = Write(dir + "/m68k.rom", WholeCard68k()) && Write(dir + "/arm.rom", Arm()) &&
                    Write(dir + "/broken.rom", Broken()) && Write(dir + "/large.rom", Large()) &&
                    Write(dir + "/arm-card.rom", ArmCard()) &&
                    Write(dir + "/chained-v1.rom", ChainedV1());
    return ok ? 0 : 1;
}
