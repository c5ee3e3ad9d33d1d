// Adding databases from a ROM image to a package: the image read from its file, the rows a
// chooser shows for it, and the chosen databases written as files into a folder and added to a
// list the way Add... adds files.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ostervane/core/rom_reader.h"
#include "tarnhollow/pages/database_lists.h"

namespace tarnhollow {

// A ROM image file and what was read from it.  The model borrows the bytes this object holds,
// so it is neither copied nor moved.
class RomImageFile {
public:
    // The file read whole; nullptr with the reason in `why` (a sentence) when it cannot be read
    // or is larger than any ROM image.  An image that reads badly still loads: its problems
    // are in Problems().
    static std::unique_ptr<RomImageFile> Load(const std::filesystem::path &path, std::string &why);
    // The same from bytes in memory.
    explicit RomImageFile(std::vector<uint8_t> bytes);
    RomImageFile(const RomImageFile &) = delete;
    RomImageFile &operator=(const RomImageFile &) = delete;

    const ostervane::RomImage &Image() const { return m_image; }
    // Every database, the small ROM's first; indexes of rows and choices count in this order.
    const std::vector<const ostervane::RomDatabase *> &Databases() const { return m_databases; }
    // What did not read well, one line each; empty for a sound image.
    const std::vector<std::string> &Problems() const { return m_image.problems; }

private:
    std::vector<uint8_t> m_bytes;
    ostervane::RomImage m_image;
    std::vector<const ostervane::RomDatabase *> m_databases;
};

// A database of the image as the chooser lists it; texts in UTF-8.
struct RomDatabaseRow {
    size_t index = 0;
    std::string name;
    std::string type;
    std::string creator;
    uint64_t bytes = 0;  // its records or resources, app info and sort info
    std::string refusal; // why it cannot be written as a file; "" when it can
};

std::vector<RomDatabaseRow> RomDatabaseRows(const RomImageFile &rom);

// What became of one chosen database.
struct RomAddOutcome {
    std::string name;           // as shown, in UTF-8
    std::filesystem::path file; // the file written; empty when none was
    bool added = false;
    std::string why; // why it was not added; "" when it was
};

// For each chosen database, in the order given: one whose name either list already holds is
// refused before anything is written; the others are written into `folder` under their own
// file name, made unique with " (2)", " (3)"... against the files already there (an existing
// file is never replaced), and the file is added to the list through AddDatabases, with its
// checks and totals.  A file written but then not added is removed again.
std::vector<RomAddOutcome> AddRomDatabases(CTarnhollowDoc &doc, DatabaseList list,
                                           const RomImageFile &rom,
                                           const std::vector<size_t> &chosen,
                                           const std::filesystem::path &folder);

// The lines of a report on the databases that were not added ("Name: why"); empty when every
// one was.
std::vector<std::string> NotAddedLines(const std::vector<RomAddOutcome> &outcomes);

} // namespace tarnhollow
