// Writing a ROM's databases as Palm database files through libprc: which databases a choice
// takes, the file names, and the copy of a database (header fields, dates, app and sort info,
// records with their attributes and unique ids, resources) into a .prc or .pdb file.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ostervane/core/rom_reader.h"
#include "prc.h"

namespace ostervane {

// Which databases to take: any of the name globs (on the name as shown, in UTF-8; `*`, `?` and
// `[...]` match characters, not bytes), and the type and creator when given.  An empty choice
// takes every database.
struct RomDatabaseChoice {
    std::vector<std::string> nameGlobs;
    std::optional<uint32_t> type;
    std::optional<uint32_t> creator;

    bool Takes(const RomDatabase &database) const;
};

// Whether `text` matches the glob `pattern`; both UTF-8.  "[!...]" negates a set, "a-z" is a
// range, and a backslash takes the next character literally.
bool GlobMatches(const std::string &pattern, const std::string &text);

// A file name for the database: its name in UTF-8 with '/', control characters and a leading
// '.' replaced by '_' ("unnamed" when it has none), then ".prc" for a resource database or
// ".pdb" for a record database.
std::string RomDatabaseFileName(const RomDatabase &database);

// `name`, or "name (2).pdb", "name (3).pdb"... when `taken` already has it; the name given is
// added to `taken`.
std::string UniqueFileName(const std::string &name, std::set<std::string> &taken);

// Why the database cannot be written as a file holding exactly what the ROM holds, or "" when
// it can: entries that could not be read, a body or block larger than a file's entry can hold,
// more entries than a file can count.
std::string RomDatabaseRefusal(const RomDatabase &database);

// What a file cannot carry of a database that is written anyway (the app or sort info of a
// resource database; the unused tail of a file-stream database's last block).  One line each.
std::vector<std::string> RomDatabaseLosses(const RomImage &image, const RomDatabase &database);

// Fills `prc`, an empty handle, with the database.  0, or -1 with libprc's code left for
// prcgeterrno (a database RomDatabaseRefusal accepts fails only for want of memory).
int FillPrcFromRom(prc_t *prc, const RomImage &image, const RomDatabase &database);

enum class RomExtractState {
    Written,
    Exists,  // the file is there and overwriting was not asked for
    Refused, // RomDatabaseRefusal gave a reason
    Failed,  // the file could not be created or written
};

struct RomExtractOutcome {
    RomExtractState state = RomExtractState::Failed;
    std::string message; // why it was not written; "" when it was
    std::vector<std::string> losses;
};

// Writes the database as the file `path`.  An existing file is left alone unless `overwrite`,
// and then is replaced only once the new one is written whole.  A failed write leaves no file
// of its own behind.
RomExtractOutcome ExtractRomDatabase(const RomImage &image, const RomDatabase &database,
                                     const std::string &path, bool overwrite);

} // namespace ostervane
