// CTarnhollowDoc construction and the new-document defaults.
#include "tarnhollow/document/tarnhollow_doc.h"

#include <algorithm>
#include <limits>
#include <system_error>

#include "tarnhollow/document/install_file_layout.h"

namespace tarnhollow {

namespace fs = std::filesystem;

namespace {

// A missing or unreadable component counts 0 bytes.
int32_t ComponentSize(const fs::path &file) {
    std::error_code error;
    const uintmax_t size = fs::file_size(file, error);
    if (error) {
        return 0;
    }
    return static_cast<int32_t>(std::min<uintmax_t>(size, std::numeric_limits<int32_t>::max()));
}

} // namespace

CTarnhollowDoc::CTarnhollowDoc(const DeviceCatalogue *catalogue, fs::path components)
    : m_chunkBuffer(kChunkSize), m_catalogue(catalogue), m_components(std::move(components)) {
    m_payloadSize = ComponentSize(m_components / layout::kPayLoadFile);
    m_flashInitSize = ComponentSize(m_components / layout::kFlashInitFile);
    m_flashRestoreSize = ComponentSize(m_components / layout::kFlashRestoreFile);
}

bool CTarnhollowDoc::OnNewDocument() {
    m_createUninstaller = true;
    m_eraseExpansionRom = false;
    m_autoInstall = false;
    m_packageName = "Installer";
    m_launchAfterReset.clear();
    m_openedFromFile = false;
    m_ramList.clear(); // closes every entry's file
    m_romList.clear();
    m_removeList.clear();
    m_bootLogoFile.reset();
    m_bitmapHolder.LoadDefaultLogo();
    m_modified = false;
    return true;
}

} // namespace tarnhollow
