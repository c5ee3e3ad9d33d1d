// The size summary: the package holds the components, the listed databases and 500 bytes.
#include "tarnhollow/pages/size_summary.h"

#include <cstdio>

#include "tarnhollow/pages/device_page.h"

namespace tarnhollow {

namespace {
constexpr int32_t kPackageOverheadBytes = 500;

std::string KiloTextOrEmpty(int32_t kilobytes) {
    return kilobytes > 0 ? KiloText(kilobytes) : "";
}
} // namespace

SizeSummary ComputeSizeSummary(CTarnhollowDoc &doc) {
    SizeSummary summary;
    summary.ramRequired = KiloTextOrEmpty(doc.m_ramBytes / 1024);
    summary.expansionRomRequiredKB = (doc.m_ramBackupBytes + doc.m_romBytes) / 1024;
    summary.expansionRomRequired = KiloTextOrEmpty(summary.expansionRomRequiredKB);
    int64_t packageBytes = int64_t(doc.m_flashInitSize) + doc.m_payloadSize + doc.m_ramBytes +
                           doc.m_romBytes + kPackageOverheadBytes;
    if (!doc.m_ramList.empty() || !doc.m_romList.empty()) {
        packageBytes += doc.m_flashRestoreSize;
    }
    doc.m_packageKB = static_cast<int32_t>((packageBytes + 1023) / 1024);
    char package[16];
    std::snprintf(package, sizeof package, "%dk", doc.m_packageKB);
    summary.packageSize = package;
    return summary;
}

} // namespace tarnhollow
