// Reading a ROM image for the chooser and adding its chosen databases to a package list.
#include "tarnhollow/romimport/rom_import.h"

#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

#include "ostervane/core/rom_extract.h"
#include "ostervane/core/rom_text.h"

namespace tarnhollow {

namespace fs = std::filesystem;

namespace {

// Far beyond any handheld's ROM; a larger file is not read into memory.
constexpr uintmax_t kLargestImageBytes = uintmax_t(256) << 20;

// A list entry keeps at most 31 bytes of a name, so a longer ROM name is compared as cut.
constexpr size_t kListedNameBytes = 31;

std::set<std::string> FileNamesIn(const fs::path &folder) {
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        names.insert(it->path().filename().string());
    }
    return names;
}

RomAddOutcome AddOne(CTarnhollowDoc &doc, DatabaseList list, const RomImageFile &rom,
                     const ostervane::RomDatabase &database, const fs::path &folder,
                     std::set<std::string> &taken) {
    RomAddOutcome outcome;
    outcome.name = ostervane::Utf8FromWindows1252(database.name);
    if (IsListed(doc, list, database.name.substr(0, kListedNameBytes))) {
        outcome.why = "a database of this name is already in the package";
        return outcome;
    }
    const std::string fileName =
        ostervane::UniqueFileName(ostervane::RomDatabaseFileName(database), taken);
    const fs::path path = folder / fileName;
    const ostervane::RomExtractOutcome written =
        ostervane::ExtractRomDatabase(rom.Image(), database, path.string(), false);
    if (written.state != ostervane::RomExtractState::Written) {
        outcome.why = written.message;
        return outcome;
    }
    outcome.file = path;
    if (AddDatabases(doc, list, {path}) == 1) {
        outcome.added = true;
        return outcome;
    }
    std::error_code ignored;
    fs::remove(path, ignored);
    outcome.file.clear();
    outcome.why = "the written file could not be added";
    return outcome;
}

} // namespace

std::unique_ptr<RomImageFile> RomImageFile::Load(const fs::path &path, std::string &why) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    if (!error && size > kLargestImageBytes) {
        why = path.string() + " is too large to be a ROM image.";
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    if (error || !in) {
        why = "Cannot open " + path.string() + ".";
        return nullptr;
    }
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    if (in.bad()) {
        why = "Cannot read " + path.string() + ".";
        return nullptr;
    }
    return std::make_unique<RomImageFile>(std::move(bytes));
}

RomImageFile::RomImageFile(std::vector<uint8_t> bytes)
    : m_bytes(std::move(bytes)), m_image(ostervane::ReadRomImage(m_bytes)),
      m_databases(m_image.Databases()) {}

std::vector<RomDatabaseRow> RomDatabaseRows(const RomImageFile &rom) {
    std::vector<RomDatabaseRow> rows;
    for (size_t i = 0; i < rom.Databases().size(); i++) {
        const ostervane::RomDatabase &database = *rom.Databases()[i];
        rows.push_back({i, ostervane::Utf8FromWindows1252(database.name),
                        ostervane::FourCharText(database.type),
                        ostervane::FourCharText(database.creator), database.DataBytes(),
                        ostervane::RomDatabaseRefusal(database)});
    }
    return rows;
}

std::vector<RomAddOutcome> AddRomDatabases(CTarnhollowDoc &doc, DatabaseList list,
                                           const RomImageFile &rom,
                                           const std::vector<size_t> &chosen,
                                           const fs::path &folder) {
    std::set<std::string> taken = FileNamesIn(folder);
    std::vector<RomAddOutcome> outcomes;
    for (size_t index : chosen) {
        if (index < rom.Databases().size()) {
            outcomes.push_back(AddOne(doc, list, rom, *rom.Databases()[index], folder, taken));
        }
    }
    return outcomes;
}

std::vector<std::string> NotAddedLines(const std::vector<RomAddOutcome> &outcomes) {
    std::vector<std::string> lines;
    for (const RomAddOutcome &outcome : outcomes) {
        if (!outcome.added) {
            lines.push_back(outcome.name + ": " + outcome.why);
        }
    }
    return lines;
}

} // namespace tarnhollow
