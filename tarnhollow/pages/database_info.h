// The texts of the database property dialog for one list entry.
#pragma once

#include <string>

#include "tarnhollow/document/package_entry.h"

namespace tarnhollow {

// In the handhelds' 8-bit text, as the database stores its name and codes.
struct DatabaseInfoTexts {
    std::string caption; // the dialog's caption: the database name
    std::string name;
    std::string creator;    // four characters
    std::string type;       // four characters
    std::string size;       // decimal bytes
    std::string attributes; // the header word in decimal
};

DatabaseInfoTexts DatabaseInfoFor(const PackageEntry &entry);

// The RAM page offers the dialog only for an entry whose database file is open.
bool HasDatabaseInfo(const PackageEntry &entry, bool ramList);

} // namespace tarnhollow
