// The RAM and expansion-ROM pages' rules: adding databases from files, deleting entries, the
// RAM page's Install check boxes, and which rows each page shows.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

enum class DatabaseList { Ram, Rom };

// A row of a list page: the entry it shows and, on the RAM page, its Install box.
struct DatabaseRow {
    size_t entryIndex = 0;
    std::string name;
    bool checked = false;
};

// Whether either list already holds a database of that name (exact bytes, case-sensitive):
// the check Add... refuses a database by.
bool IsListed(const CTarnhollowDoc &doc, DatabaseList list, const std::string &name);

// Adds each file that opens and parses as a Palm database and whose database name is in
// neither list (the other page's list is looked at first); others are skipped silently.
// Returns how many were added.
size_t AddDatabases(CTarnhollowDoc &doc, DatabaseList list,
                    const std::vector<std::filesystem::path> &paths);

// Closes the entry's file, takes its size off the totals and removes it.  False when there is
// no such entry.
bool DeleteEntry(CTarnhollowDoc &doc, DatabaseList list, size_t entryIndex);

// The rows a page shows: every expansion-ROM entry; the RAM entries flagged as RAM-list entries.
std::vector<DatabaseRow> ListRows(const CTarnhollowDoc &doc, DatabaseList list);

// The RAM page's check rule, given the boxes of its rows in row order: a checked row whose
// entry has an open file is included (flags 5, location 3), any other is not (4, 2) and its
// box is cleared.  Both RAM totals become the included sizes.  Returns the boxes as they end.
std::vector<bool> ApplyRamChecks(CTarnhollowDoc &doc, const std::vector<bool> &boxes);

} // namespace tarnhollow
