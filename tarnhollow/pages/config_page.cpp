// Config page rules.
#include "tarnhollow/pages/config_page.h"

#include <prc.h>

#include <strings.h>

namespace tarnhollow {

namespace {
constexpr uint32_t kApplicationType = 0x6170706C; // 'appl'
}

std::vector<std::string> LaunchListItems(const CTarnhollowDoc &doc) {
    std::vector<std::string> items{kNoLaunch};
    for (const PackageEntry &entry : doc.m_ramList) {
        if (entry.file && entry.type == kApplicationType) {
            items.push_back(entry.Name());
        }
    }
    for (const PackageEntry &entry : doc.m_romList) {
        if (entry.type == kApplicationType) {
            items.push_back(entry.Name());
        }
    }
    return items;
}

std::optional<size_t> LaunchSelection(const CTarnhollowDoc &doc,
                                      const std::vector<std::string> &items) {
    if (!doc.m_launchSet) {
        return 0;
    }
    const std::string &stored = doc.m_launchAfterReset;
    if (stored.empty() || stored == kNoLaunch) {
        return 0;
    }
    for (size_t i = 1; i < items.size(); i++) {
        if (items[i].size() >= stored.size() &&
            strncasecmp(items[i].c_str(), stored.c_str(), stored.size()) == 0) {
            return i;
        }
    }
    return std::nullopt;
}

void ChooseLaunch(CTarnhollowDoc &doc, const std::string &itemText) {
    doc.m_launchAfterReset = itemText;
    doc.m_launchSet = true;
    doc.SetModifiedFlag();
}

void SetPackageName(CTarnhollowDoc &doc, const std::string &text) {
    doc.m_packageName = text.substr(0, kPackageNameLimit);
    doc.SetModifiedFlag();
}

void SetCreateUninstaller(CTarnhollowDoc &doc, bool on) {
    doc.m_createUninstaller = on;
    doc.SetModifiedFlag();
}

void SetEraseExpansionRom(CTarnhollowDoc &doc, bool on) {
    doc.m_eraseExpansionRom = on;
    doc.SetModifiedFlag();
}

void SetAutoInstall(CTarnhollowDoc &doc, bool on) {
    doc.m_autoInstall = on;
    doc.SetModifiedFlag();
}

std::string ChoosePreinstall(CTarnhollowDoc &doc, const std::filesystem::path &path) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return doc.m_hasPreinstall ? doc.m_preinstallName : "";
    }
    doc.SetModifiedFlag();
    prc_t *prc = prcfpopen(file.get(), PRC_OPEN_READ);
    if (prc == nullptr) {
        // Not a database: the earlier choice, if any, stays.
        return doc.m_hasPreinstall ? doc.m_preinstallName : "";
    }
    doc.m_preinstallName = std::string(prc->name, strnlen(prc->name, sizeof prc->name));
    prcdestroy(prc);
    doc.m_preinstallFile = std::move(file);
    doc.m_hasPreinstall = true;
    return doc.m_preinstallName;
}

} // namespace tarnhollow
