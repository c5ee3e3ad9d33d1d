// The fixed codes and numbers of a flash install file: resource types and ids, chunk-group
// bases, the Data and Remove databases, the component files and the derived file names.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnhollow::layout {

constexpr uint32_t FourCC(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

// Database headers.
inline constexpr uint32_t kTypeApplication = FourCC("appl");
inline constexpr uint32_t kCreatorPackage = FourCC("Jpay");
inline constexpr uint32_t kCreatorUninstaller = FourCC("JFun");
inline constexpr uint32_t kCreatorFlash = FourCC("JFft"); // Data, Remove and boot-logo databases
inline constexpr uint32_t kTypeData = FourCC("JFft");
inline constexpr uint32_t kTypeRemove = FourCC("JFrm");
inline constexpr uint32_t kTypeBootLogo = FourCC("bbmp");
inline constexpr uint16_t kPackageAttributes = 0x0001; // resource database
inline constexpr uint16_t kAutoInstallAttribute = 0x0020;

// Resources of the package and the uninstaller.
inline constexpr uint32_t kResDevice = FourCC("dvic");
inline constexpr uint32_t kResExpansionRom = FourCC("maxr");
inline constexpr uint32_t kResLauncherName = FourCC("tAIN");
inline constexpr uint32_t kResDataName = FourCC("tSTR");
inline constexpr uint32_t kResChunk = FourCC("eprc");
inline constexpr uint16_t kConfigId = 1000;

// Chunk groups: the preinstall application below 1000, then one group every 100 ids.
inline constexpr uint32_t kPreinstallBase = 0;
inline constexpr uint32_t kFirstGroupBase = 1000;
inline constexpr uint32_t kGroupStride = 100;
inline constexpr uint32_t kMaxGroupChunks = kGroupStride - 1;
inline constexpr uint32_t kMaxPreinstallChunks = kFirstGroupBase - 1;
inline constexpr uint32_t kLastResourceId = 0xFFFF;

// Header words inverted in the first chunk of an expansion-ROM entry.
inline constexpr size_t kTypeWordOffset = 60;
inline constexpr size_t kCreatorWordOffset = 64;
inline constexpr size_t kRestoredHeaderBytes = 72;
inline constexpr size_t kDatabaseNameBytes = 32;

// The Data and Remove databases.
inline constexpr size_t kDataRecordSize = 34;
inline constexpr uint16_t kRamRecordAttribute = 1;
inline constexpr uint16_t kRomRecordAttribute = 2;
inline constexpr uint8_t kEraseBit = 0x01;       // Data, byte 0
inline constexpr uint8_t kAutoInstallBit = 0x02; // Data and Remove, byte 0
inline constexpr uint8_t kStubsBit = 0x01;       // Remove, byte 0

// Component databases in the components folder.
inline constexpr const char *kPayLoadFile = "PayLoad.prc";
inline constexpr const char *kFlashInitFile = "FlashInit.prc";
inline constexpr const char *kFlashRestoreFile = "FlashRestore.prc";
inline constexpr const char *kUninstallerFile = "Uninstaller.prc";

// Names derived from the package's base name.
inline constexpr const char *kDataSuffix = "-Data";
inline constexpr const char *kRemoveSuffix = "-Remove";
inline constexpr const char *kUninstallerSuffix = "-Uninstaller";
inline constexpr const char *kTemporaryExtension = ".tmp";
inline constexpr const char *kPackageExtension = ".prc";

} // namespace tarnhollow::layout
