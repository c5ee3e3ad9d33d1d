// CTarnhollowDoc: one package being edited: its lists, configuration and open files, the
// new-document defaults, and saving it as (and opening it from) a flash install file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tarnhollow/catalogue/device_catalogue.h"
#include "tarnhollow/common/message_boxes.h"
#include "tarnhollow/document/bitmap_holder.h"
#include "tarnhollow/document/package_entry.h"

namespace tarnhollow {

inline constexpr size_t kChunkSize = 32768;

class CTarnhollowDoc {
public:
    // Takes the component sizes from `components` (PayLoad.prc, FlashInit.prc,
    // FlashRestore.prc; 0 for a missing file) and keeps the catalogue.
    CTarnhollowDoc(const DeviceCatalogue *catalogue, std::filesystem::path components);

    // The defaults of File New.
    bool OnNewDocument();
    // Writes the install file (always with the extension ".prc") and the optional uninstaller;
    // the file's base name, encoded in the handhelds' text, names the databases.
    // Returns true when the package was written; an uninstaller that could not be written is
    // named in a warning.  A failure shows its message, keeps the document modified and leaves
    // any earlier package on disk untouched; a read-only package is left alone silently.
    bool OnSaveDocument(const std::filesystem::path &path, MessageBoxes &boxes);
    // Fills the document from an install file; false (after its message) for a Palm database
    // that is not one.
    bool OnOpenDocument(const std::filesystem::path &path, MessageBoxes &boxes);

    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = true) { m_modified = modified; }
    const std::filesystem::path &ComponentsFolder() const { return m_components; }

    // Fields, named and ordered as the package model names them.  Names (package, databases,
    // devices, removals, launch choice) are the handhelds' 8-bit text, as stored in the files.
    std::vector<PackageEntry> m_ramList;
    std::vector<PackageEntry> m_romList;
    std::string m_languageCode;
    std::string m_packageName;
    std::vector<uint8_t> m_chunkBuffer;
    int32_t m_ramBytes = 0;
    int32_t m_ramBackupBytes = 0;
    int32_t m_romBytes = 0;
    int32_t m_packageKB = 0;
    int32_t m_payloadSize = 0;
    int32_t m_flashInitSize = 0;
    int32_t m_flashRestoreSize = 0;
    bool m_installStubs = false;
    int32_t m_baseAvailableKB = 0;
    int32_t m_expansionRomKB = 0;
    int32_t m_allDevicesMinKB = 0;
    bool m_createUninstaller = false;
    bool m_hasPreinstall = false;
    bool m_eraseExpansionRom = false;
    bool m_autoInstall = false;
    std::vector<std::string> m_removeList;
    std::vector<std::string> m_deviceIds;
    std::string m_preinstallName;
    bool m_deviceSelectionChanged = false;
    bool m_openedFromFile = false;
    std::vector<std::string> m_selectedDevices;
    std::string m_launchAfterReset;
    bool m_launchSet = false;
    FileHandle m_preinstallFile;
    const DeviceCatalogue *m_catalogue = nullptr;
    FileHandle m_bootLogoFile;
    BitmapHolder m_bitmapHolder; // the logo the Boot Logo page shows

private:
    std::filesystem::path m_components;
    bool m_modified = false;
};

} // namespace tarnhollow
