// Adding, deleting and checking the databases of the RAM and expansion-ROM lists.
#include "tarnhollow/pages/database_lists.h"

#include <prc.h>

#include <system_error>

namespace tarnhollow {

namespace {

std::vector<PackageEntry> &ListOf(CTarnhollowDoc &doc, DatabaseList list) {
    return list == DatabaseList::Ram ? doc.m_ramList : doc.m_romList;
}

bool HasName(const std::vector<PackageEntry> &entries, const std::string &name) {
    for (const PackageEntry &entry : entries) {
        if (entry.Name() == name) {
            return true;
        }
    }
    return false;
}

void AddToTotals(CTarnhollowDoc &doc, DatabaseList list, int32_t size) {
    if (list == DatabaseList::Ram) {
        doc.m_ramBytes += size;
        doc.m_ramBackupBytes += size;
    } else {
        doc.m_romBytes += size;
    }
}

bool AddDatabase(CTarnhollowDoc &doc, DatabaseList list, const std::filesystem::path &path) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return false;
    }
    prc_t *prc = prcfpopen(file.get(), PRC_OPEN_READ);
    if (prc == nullptr) {
        return false;
    }
    PackageEntry entry;
    entry.SetName(std::string(prc->name, strnlen(prc->name, 31)));
    entry.type = prc->type;
    entry.creator = prc->creator;
    entry.headerWord = prc->flags;
    prcdestroy(prc);
    if (IsListed(doc, list, entry.Name())) {
        return false;
    }
    bool ram = list == DatabaseList::Ram;
    entry.flags = ram ? kRamCheckedFlags : kRomFlags;
    entry.location = ram ? kLocationRamChecked : kLocationOther;
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (!error) {
        entry.size = static_cast<int32_t>(size);
        AddToTotals(doc, list, entry.size);
    }
    entry.file = std::move(file);
    ListOf(doc, list).push_back(std::move(entry));
    doc.SetModifiedFlag();
    return true;
}

} // namespace

// The page's own list is looked at last, as the pages have always done.
bool IsListed(const CTarnhollowDoc &doc, DatabaseList list, const std::string &name) {
    return list == DatabaseList::Ram ? HasName(doc.m_romList, name) || HasName(doc.m_ramList, name)
                                     : HasName(doc.m_ramList, name) || HasName(doc.m_romList, name);
}

size_t AddDatabases(CTarnhollowDoc &doc, DatabaseList list,
                    const std::vector<std::filesystem::path> &paths) {
    size_t added = 0;
    for (const auto &path : paths) {
        added += AddDatabase(doc, list, path) ? 1 : 0;
    }
    return added;
}

bool DeleteEntry(CTarnhollowDoc &doc, DatabaseList list, size_t entryIndex) {
    std::vector<PackageEntry> &entries = ListOf(doc, list);
    if (entryIndex >= entries.size()) {
        return false;
    }
    PackageEntry &entry = entries[entryIndex];
    entry.file.reset();
    if (list == DatabaseList::Rom) {
        doc.m_romBytes -= entry.size;
    } else if (entry.flags & kFlagChecked) {
        doc.m_ramBytes -= entry.size;
        doc.m_ramBackupBytes -= entry.size;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(entryIndex));
    doc.SetModifiedFlag();
    return true;
}

std::vector<DatabaseRow> ListRows(const CTarnhollowDoc &doc, DatabaseList list) {
    std::vector<DatabaseRow> rows;
    const auto &entries = list == DatabaseList::Ram ? doc.m_ramList : doc.m_romList;
    for (size_t i = 0; i < entries.size(); i++) {
        if (list == DatabaseList::Ram && !(entries[i].flags & kFlagRamList)) {
            continue;
        }
        rows.push_back({i, entries[i].Name(), (entries[i].flags & kFlagChecked) != 0});
    }
    return rows;
}

std::vector<bool> ApplyRamChecks(CTarnhollowDoc &doc, const std::vector<bool> &boxes) {
    std::vector<DatabaseRow> rows = ListRows(doc, DatabaseList::Ram);
    std::vector<bool> result(rows.size(), false);
    int32_t total = 0;
    for (size_t row = 0; row < rows.size(); row++) {
        PackageEntry &entry = doc.m_ramList[rows[row].entryIndex];
        bool included = row < boxes.size() && boxes[row] && entry.file != nullptr;
        entry.flags = included ? kRamCheckedFlags : kRamUncheckedFlags;
        entry.location = included ? kLocationRamChecked : kLocationOther;
        if (included) {
            total += entry.size;
        }
        result[row] = included;
    }
    doc.m_ramBytes = total;
    doc.m_ramBackupBytes = total;
    doc.SetModifiedFlag();
    return result;
}

} // namespace tarnhollow
