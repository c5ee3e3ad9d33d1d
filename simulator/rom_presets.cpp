// The preset handheld models: their memory maps, ROM headers and heap marker blocks.
#include "simulator/rom_presets.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "simulator/packet_framing.h"

namespace ostervane::simulator {

namespace {

constexpr size_t kHeaderBytes = 256;
constexpr size_t kManufacturerOffset = 48;
constexpr size_t kManufacturerSize = 32;
constexpr size_t kMaxImageSize = 64u << 20;

enum class Order { Big, Little };

void Put16(std::vector<uint8_t> &h, size_t at, uint16_t value, Order order) {
    uint8_t hi = static_cast<uint8_t>(value >> 8);
    uint8_t lo = static_cast<uint8_t>(value);
    h[at] = order == Order::Big ? hi : lo;
    h[at + 1] = order == Order::Big ? lo : hi;
}

void Put32(std::vector<uint8_t> &h, size_t at, uint32_t value, Order order) {
    for (int i = 0; i < 4; ++i) {
        int shift = order == Order::Big ? 24 - 8 * i : 8 * i;
        h[at + i] = static_cast<uint8_t>(value >> shift);
    }
}

RegisterBlock StartRegisters(uint32_t pc, uint32_t ramBase, uint16_t sr) {
    RegisterBlock r;
    for (uint32_t i = 0; i < r.d.size(); ++i) {
        r.d[i] = 0xD0D0D000u | i;
    }
    for (uint32_t i = 0; i < r.a.size(); ++i) {
        r.a[i] = ramBase + 0x1000u * (i + 1);
    }
    r.usp = ramBase + 0x7F00;
    r.ssp = ramBase + 0x3F00;
    r.pc = pc;
    r.sr = sr;
    return r;
}

HandheldModel V3Model() {
    HandheldModel v3;
    v3.name = "68k-v3";
    v3.description = "68k handheld, version 3 ROM header with manufacturer text";
    v3.family = RomFamily::M68kV3;
    v3.version = 3;
    v3.flashBase = 0x10C00000;
    v3.flashPart = FindFlashPart("amd-bottom-16m");
    v3.bigRomBase = 0x10C08000;
    v3.bigRomStartField = 0x00C08000;
    v3.bigRomLength = 0x1D0000;
    v3.resetAddress = 0x10C000C0;
    v3.manufacturer = "Palm Computing";
    v3.heap = HeapMarker{0x10DE0000, 0x00DE0000, 0x20000};
    v3.ramBase = 0x10000000;
    v3.ramSize = 0x200000;
    v3.extraRam = {{0, 0x200000}}; // low memory, where images keep their store marker
    v3.registers = StartRegisters(0x10C0A3F2, v3.ramBase, 0x2700);
    return v3;
}

HandheldModel V4Model() {
    HandheldModel v4;
    v4.name = "68k-v4";
    v4.description = "68k handheld, version 4 ROM header; small and big ROM share a sector";
    v4.family = RomFamily::M68kV4;
    v4.version = 4;
    v4.flashBase = 0x10000000;
    v4.flashPart = FindFlashPart("amd-uniform-16m");
    v4.bigRomBase = 0x10008000;
    v4.bigRomStartField = 0x10008000;
    v4.bigRomLength = 0x5A000;
    v4.resetAddress = 0x100000C0;
    v4.manufacturer = "Handspring, Inc.";
    v4.heap = HeapMarker{0x10070000, 0x10070000, 0x10000};
    v4.ramBase = 0;
    v4.ramSize = 0x800000;
    v4.registers = StartRegisters(0x10002B16, v4.ramBase, 0x2700);
    return v4;
}

HandheldModel V5Model() {
    HandheldModel v5;
    v5.name = "68k-v5";
    v5.description = "68k handheld, version 5 ROM header with device id 'MT64'";
    v5.family = RomFamily::M68kV5;
    v5.version = 5;
    v5.flashBase = 0x10000000;
    v5.flashPart = FindFlashPart("intel-bottom-16m");
    v5.bigRomBase = 0x10008000;
    v5.bigRomStartField = 0x10008000;
    v5.bigRomLength = 0x26000;
    v5.resetAddress = 0x100000C0;
    v5.deviceId = 0x4D543634; // 'MT64'
    v5.heap = HeapMarker{0x10030000, 0x10030000, 0x10000};
    v5.ramBase = 0;
    v5.ramSize = 0x1000000; // covers 0xD00000, where MT64 images keep their marker word
    v5.registers = StartRegisters(0x10001A2C, v5.ramBase, 0x2700);
    return v5;
}

HandheldModel ArmModel() {
    HandheldModel arm;
    arm.name = "arm";
    arm.description = "ARM handheld, little-endian ROM headers, device id 'atlc'";
    arm.family = RomFamily::Arm;
    arm.version = 6;
    arm.flashBase = 0x20000000;
    arm.flashPart = FindFlashPart("intel-bottom-32m");
    arm.bigRomBase = 0x20010000;
    arm.bigRomStartField = 0x20010000;
    arm.bigRomLength = 0x30000;
    arm.resetAddress = 0x20000000;
    arm.deviceId = 0x61746C63; // 'atlc'
    arm.ramBase = 0;
    arm.ramSize = 0x1000000;
    arm.registers = StartRegisters(0x20004A10, arm.ramBase, 0x2000);
    return arm;
}

// A header's LocalID for `address`: the big ROM start field says where the card's LocalIDs
// count from.
uint32_t LocalId(const HandheldModel &m, uint32_t address) {
    return address - m.bigRomBase + m.bigRomStartField;
}

// blockListOffset (the RAM block list lies 0x200 past the image base) and bigROMOffset.
void PutImagePlaces(std::vector<uint8_t> &h, const HandheldModel &m, uint32_t imageBase,
                    Order order) {
    Put32(h, 88, LocalId(m, imageBase) + 0x200, order);
    Put32(h, 104, m.bigRomStartField, order);
}

void PutManufacturer(std::vector<uint8_t> &h, const std::string &text) {
    std::memcpy(&h[kManufacturerOffset], text.data(), std::min(text.size(), kManufacturerSize));
}

std::vector<uint8_t> SmallRomHeader(const HandheldModel &m) {
    std::vector<uint8_t> h(kHeaderBytes, 0);
    if (m.family == RomFamily::Arm) {
        Put32(h, 0, m.registers.ssp, Order::Little);
        Put32(h, 4, m.resetAddress, Order::Little);
        Put32(h, 8, 0xFEEDBEEF, Order::Little);
        Put16(h, 12, m.version, Order::Little);
        PutImagePlaces(h, m, m.flashBase, Order::Little);
        Put32(h, 132, m.deviceId, Order::Little);
        return h;
    }
    Put32(h, 0, m.registers.ssp, Order::Big);
    Put32(h, 4, m.resetAddress, Order::Big);
    Put32(h, 8, 0xFEEDBEEF, Order::Big);
    Put16(h, 12, m.version, Order::Big);
    PutManufacturer(h, m.manufacturer);
    PutImagePlaces(h, m, m.flashBase, Order::Big);
    if (m.deviceId != 0) {
        Put32(h, 130, m.deviceId, Order::Big);
    }
    return h;
}

// What each family's ROM says about itself: OS version, heap version, build date.
struct StoreFacts {
    uint32_t osVersion = 0;
    int heapVersion = 3;
    uint32_t date = 0;
};

StoreFacts FactsOf(const HandheldModel &m) {
    switch (m.family) {
    case RomFamily::M68kV3:
        return {0x03303000, 3, PalmDate(1999, 9, 14, 10, 30)}; // 3.3 release
    case RomFamily::M68kV4:
        return {0x03503000, 3, PalmDate(2000, 6, 2, 16, 5)}; // 3.5 release
    case RomFamily::M68kV5:
        return {0x04003000, 4, PalmDate(2001, 3, 19, 9, 0)}; // 4.0 release
    default:
        return {0x05403000, 4, PalmDate(2004, 10, 4, 12, 0)}; // 5.4 release
    }
}

constexpr uint32_t kProcessor68EZ328 = 0x00020000;
constexpr uint16_t kReadOnly = 0x0002;
constexpr uint16_t kResourceDb = 0x0001;
constexpr uint16_t kBackup = 0x0008;

RomData Text(const char *text) {
    return RomData(text, text + std::strlen(text) + 1);
}

// A small application: a code resource that sets up a frame and returns, the code 0 resource
// (globals sizes), and a form.
RomDatabaseSpec CalculatorDatabase(uint32_t date) {
    RomDatabaseSpec app;
    app.name = "Calculator";
    app.attributes = kResourceDb | kReadOnly;
    app.creationDate = app.modificationDate = date;
    app.type = FourCC("appl");
    app.creator = FourCC("calc");
    app.resources = {
        {FourCC("code"), 0, {0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00}},
        {FourCC("code"),
         1,
         {0x4E, 0x56, 0x00, 0x00, 0x48, 0xE7, 0x1F, 0x00, 0x70, 0x00, 0x4C, 0xDF, 0x00, 0xF8, 0x4E,
          0x5E, 0x4E, 0x75}},
        {FourCC("tFRM"), 1000, {0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x00, 0xA0, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0xE8, 0x00, 0x01}},
        {FourCC("tver"), 1, Text("3.5")},
    };
    return app;
}

RomDatabaseSpec MemoDatabase(uint32_t date) {
    RomDatabaseSpec memo;
    memo.name = "MemoDB";
    memo.attributes = kReadOnly | kBackup;
    memo.version = 0;
    memo.creationDate = memo.modificationDate = date;
    memo.modificationNumber = 3;
    memo.type = FourCC("DATA");
    memo.creator = FourCC("memo");
    memo.uniqueIdSeed = 0x600004;
    memo.appInfo = CategoryAppInfo({"Unfiled", "Business", "Personal"}, {0x00, 0x00});
    memo.records = {
        {0x01, 0x600001, Text("Handheld basics\nTap the icons to start.")},
        {0x02, 0x600002, Text("Shopping\nBatteries")},
        {0x00, 0x600003, Text("Welcome")},
    };
    return memo;
}

// The store, with its one heap stretched to the end of the big ROM when the big ROM has room
// for it; otherwise the heap just holds its chunks (the checksum fields are set afterwards
// either way).
BuiltRom LayOutBigRom(const HandheldModel &m, RomSpec spec) {
    RomSpec unstretched = spec;
    unstretched.card.length = 0;
    BuiltRom fitted = BuildRom(unstretched);
    uint64_t heapStart = fitted.OffsetOf(fitted.heapIds.front());
    uint64_t heapEnd = fitted.bytes.size();
    if (m.bigRomLength < heapEnd + 8 || m.bigRomLength - heapStart > 0xFFFFFF) {
        return fitted;
    }
    spec.heaps.front().size = uint32_t(m.bigRomLength - heapStart);
    return BuildRom(spec);
}

// Programs the big ROM's store, leaving the free chunks' data as the flash already holds it.
void ProgramBigRom(HandheldMemory &memory, const HandheldModel &m) {
    BuiltRom rom = LayOutBigRom(m, BigRomSpec(m));
    if (m.family == RomFamily::Arm) {
        // The handheld holds the signature and version big-endian, the rest little-endian.
        std::vector<uint8_t> order(rom.bytes.begin(), rom.bytes.begin() + 14);
        Put32(order, 8, 0xFEEDBEEF, Order::Big);
        Put16(order, 12, m.version, Order::Big);
        std::copy(order.begin() + 8, order.end(), rom.bytes.begin() + 8);
    }
    uint64_t at = 0;
    std::vector<RomRun> runs = rom.freeData;
    runs.push_back({rom.bytes.size(), 0});
    for (const RomRun &skip : runs) {
        if (skip.offset > at) {
            memory.Program(m.bigRomBase + uint32_t(at), rom.bytes.data() + at,
                           size_t(skip.offset - at));
        }
        at = skip.offset + skip.size;
    }
}

std::vector<uint8_t> HeapMarkerBlock(const HeapMarker &heap) {
    std::vector<uint8_t> block = {'h', 'E', 'a', 'P', 0, 0, 0, 0, 0, 0, 0, 0, 'i', 'D', 'e', 'N'};
    Put32(block, 4, heap.addressField, Order::Big);
    Put32(block, 8, heap.length, Order::Big);
    return block;
}

constexpr uint32_t kChecksumBytesOffset = 108;
constexpr uint32_t kChecksumValueOffset = 112;
constexpr uint32_t kAfterChecksumValue = 114;

bool CarriesChecksum(const HandheldModel &m) {
    return m.family != RomFamily::Arm && m.version >= 2;
}

// Sets the checksum fields of the 68k header at `start` for the `length` bytes of its part, as
// they lie in `memory`: the CRC-16 of bytes [0, 112) and [114, length).
void PutPartChecksum(HandheldMemory &memory, uint32_t start, uint32_t length) {
    if (length < kHeaderBytes || !memory.IsMapped(start, length)) {
        return;
    }
    std::vector<uint8_t> part(length);
    std::vector<uint8_t> field(4);
    Put32(field, 0, length, Order::Big);
    if (!memory.Program(start + kChecksumBytesOffset, field.data(), 4) ||
        !memory.Read(start, part.data(), part.size())) {
        return;
    }
    part.erase(part.begin() + kChecksumValueOffset, part.begin() + kAfterChecksumValue);
    Put16(field, 0, Crc16(part.data(), part.size()), Order::Big);
    memory.Program(start + kChecksumValueOffset, field.data(), 2);
}

void ProgramPattern(HandheldMemory &memory, uint32_t from, uint32_t to) {
    std::vector<uint8_t> bytes(to - from);
    for (uint32_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = RomPatternByte(from + i);
    }
    memory.Program(from, bytes.data(), bytes.size());
}

} // namespace

RomSpec BigRomSpec(const HandheldModel &m) {
    bool arm = m.family == RomFamily::Arm;
    StoreFacts facts = FactsOf(m);
    RomSpec spec;
    spec.base = LocalId(m, m.bigRomBase);
    if (arm) {
        spec.card.initStack = 0xEA00003E; // a branch over the header
        spec.card.flags = 0x2080;
        spec.store.version = 2;
    } else {
        // ROMs give a stack address in the first megabyte.
        spec.card.initStack = m.registers.ssp & 0xFFFFF;
        spec.card.resetVector = m.resetAddress;
    }
    spec.card.headerVersion = m.version;
    spec.card.manufacturer = m.manufacturer;
    spec.card.creationDate = facts.date;
    spec.card.halId = m.deviceId;
    spec.card.length = m.bigRomLength;
    spec.card.checksum = false; // set over the bytes laid out, free chunk included
    spec.heaps = {RomHeapSpec{facts.heapVersion, 0, 0}};
    spec.databases = {SystemDatabase(facts.osVersion, arm ? 0 : kProcessor68EZ328, arm),
                      CalculatorDatabase(facts.date), MemoDatabase(facts.date)};
    return spec;
}

uint32_t HandheldModel::RomEnd() const {
    uint64_t end = uint64_t{bigRomBase} + bigRomLength;
    if (heap) {
        end = std::max(end, uint64_t{heap->address} + heap->length);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(end, UINT32_MAX));
}

const std::vector<HandheldModel> &HandheldModels() {
    static const std::vector<HandheldModel> models = {V3Model(), V4Model(), V5Model(), ArmModel()};
    return models;
}

const HandheldModel *FindHandheldModel(std::string_view name) {
    for (const HandheldModel &model : HandheldModels()) {
        if (model.name == name) {
            return &model;
        }
    }
    return nullptr;
}

uint8_t RomPatternByte(uint32_t address) {
    uint32_t x = address * 0x9E3779B1u;
    x ^= x >> 15;
    x *= 0x85EBCA6Bu;
    return static_cast<uint8_t>(x >> 24);
}

std::string FlashHoldsRom(const HandheldModel &model) {
    if (model.flashPart == nullptr) {
        return "the handheld has no flash part";
    }
    uint64_t flashEnd = uint64_t{model.flashBase} + model.flashPart->Size();
    if (model.bigRomBase < model.flashBase || model.RomEnd() > flashEnd) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "flash part %s (%u KB at 0x%08X) does not hold the ROM, which reaches "
                      "0x%08X",
                      model.flashPart->name.c_str(), model.flashPart->Size() / 1024,
                      model.flashBase, model.RomEnd());
        return text;
    }
    return {};
}

HandheldMemory BuildMemory(const HandheldModel &model) {
    HandheldMemory memory;
    uint32_t flashEnd = model.FlashEnd();
    memory.MapRom("flash", model.flashBase, flashEnd - model.flashBase);
    memory.MapRam("RAM", model.ramBase, model.ramSize);
    for (const RamRange &ram : model.extraRam) {
        memory.MapRam("RAM", ram.base, ram.size);
    }
    memory.AttachFlashChip(std::make_shared<FlashChip>(*model.flashPart, model.flashBase,
                                                       model.family == RomFamily::Arm));
    ProgramPattern(memory, model.flashBase, flashEnd);
    std::vector<uint8_t> small = SmallRomHeader(model);
    memory.Program(model.flashBase, small.data(), small.size());
    ProgramBigRom(memory, model);
    if (model.heap) {
        std::vector<uint8_t> marker = HeapMarkerBlock(*model.heap);
        memory.Program(model.heap->address, marker.data(), marker.size());
    }
    if (CarriesChecksum(model) && model.bigRomBase > model.flashBase) {
        PutPartChecksum(memory, model.flashBase, model.bigRomBase - model.flashBase);
        PutPartChecksum(memory, model.bigRomBase, model.bigRomLength);
    }
    return memory;
}

std::string LoadBigRomImage(HandheldMemory &memory, const HandheldModel &model,
                            std::span<const uint8_t> image) {
    if (image.empty()) {
        return "the ROM image is empty";
    }
    uint64_t end = uint64_t{model.bigRomBase} + image.size();
    if (end > model.FlashEnd() &&
        !memory.GrowRegion(model.flashBase, static_cast<uint32_t>(std::min<uint64_t>(
                                                end - model.flashBase, UINT32_MAX)))) {
        return "the ROM image does not fit in the handheld's address space";
    }
    std::vector<uint8_t> bytes(image.begin(), image.end());
    static constexpr uint8_t kLittleSignature[4] = {0xEF, 0xBE, 0xED, 0xFE};
    if (model.family == RomFamily::Arm && bytes.size() >= 14 &&
        std::equal(kLittleSignature, kLittleSignature + 4, &bytes[8])) {
        std::vector<uint8_t> header(bytes.begin(), bytes.begin() + 14);
        uint16_t version = static_cast<uint16_t>(bytes[13] << 8 | bytes[12]);
        Put32(header, 8, 0xFEEDBEEF, Order::Big);
        Put16(header, 12, version, Order::Big);
        std::copy(header.begin() + 8, header.end(), bytes.begin() + 8);
    }
    memory.Program(model.bigRomBase, bytes.data(), bytes.size());
    return {};
}

std::string ReadImageFile(const std::string &path, std::vector<uint8_t> *bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return "cannot open " + path;
    }
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxImageSize) {
        return path + " is not a ROM image of at most 64 MB";
    }
    bytes->resize(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char *>(bytes->data()), size)) {
        return "cannot read " + path;
    }
    return {};
}

std::unique_ptr<HandheldDebugger> MakeHandheld(const HandheldModel &model,
                                               HandheldOptions options) {
    return std::make_unique<HandheldDebugger>(BuildMemory(model), model.registers,
                                              std::move(options));
}

} // namespace ostervane::simulator
