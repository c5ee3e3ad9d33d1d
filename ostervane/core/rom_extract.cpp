// The choice of databases, their file names, and the copy of a ROM database into a libprc
// handle and from there into its file.
#include "ostervane/core/rom_extract.h"

#include <cstdio>
#include <memory>

#include "ostervane/core/rom_text.h"

namespace ostervane {
namespace {

constexpr uint16_t kStreamDatabase = 0x0080;
constexpr uint32_t kStreamBlockMagic = 0x44424C4B; // "DBLK"
constexpr uint32_t kStreamBlockHeader = 8;
constexpr size_t kMostEntries = 65535;

// UTF-8 as code points; a byte that starts no valid sequence stands for itself.
std::u32string CodePoints(const std::string &utf8) {
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char lead = uint8_t(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4 && i + length <= utf8.size());
        for (size_t k = 1; valid && k < length; k++) {
            const unsigned char next = uint8_t(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        out += valid ? code : char32_t(lead);
        i += valid ? length : 1;
    }
    return out;
}

// Whether `c` is in the set that starts after '[' at `p`; moves `p` past the closing ']'.
// A set without its ']' is no set: nullopt, and '[' is then an ordinary character.
std::optional<bool> InSet(const std::u32string &pattern, size_t &p, char32_t c) {
    size_t at = p;
    const bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
    at += negated ? 1 : 0;
    bool found = false;
    for (bool first = true; at < pattern.size() && (first || pattern[at] != ']'); first = false) {
        const char32_t low = pattern[at];
        if (at + 2 < pattern.size() && pattern[at + 1] == '-' && pattern[at + 2] != ']') {
            found = found || (c >= low && c <= pattern[at + 2]);
            at += 3;
        } else {
            found = found || c == low;
            at += 1;
        }
    }
    if (at >= pattern.size()) {
        return std::nullopt;
    }
    p = at + 1;
    return found != negated;
}

// One pattern element against `c`; moves `p` past the element.  False when it does not match.
bool MatchOne(const std::u32string &pattern, size_t &p, char32_t c) {
    const char32_t element = pattern[p++];
    if (element == '?') {
        return true;
    }
    if (element == '[') {
        if (std::optional<bool> in = InSet(pattern, p, c)) {
            return *in;
        }
        return c == '[';
    }
    if (element == '\\' && p < pattern.size()) {
        return pattern[p++] == c;
    }
    return element == c;
}

std::string Extension(const RomDatabase &database) {
    return database.IsResourceDatabase() ? ".prc" : ".pdb";
}

std::string SafeName(const std::string &shown) {
    std::string safe;
    for (size_t i = 0; i < shown.size(); i++) {
        const unsigned char c = uint8_t(shown[i]);
        const bool c1Control = c == 0xC2 && i + 1 < shown.size() && uint8_t(shown[i + 1]) < 0xA0;
        if (c1Control) {
            safe += '_';
            i++;
        } else if (c < 0x20 || c == 0x7F || c == '/' || (i == 0 && c == '.')) {
            safe += '_';
        } else {
            safe += char(c);
        }
    }
    return safe.empty() ? "unnamed" : safe;
}

uint32_t Be32(std::span<const uint8_t> bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

// The body of the last entry, which a file-stream database's writer cuts to what it uses.
std::optional<RomBytes> LastBody(const RomDatabase &database) {
    if (database.IsResourceDatabase()) {
        return database.resources.empty() ? std::nullopt : database.resources.back().data;
    }
    return database.records.empty() ? std::nullopt : database.records.back().data;
}

struct PrcDestroyer {
    void operator()(prc_t *prc) const { prcdestroy(prc); }
};
using PrcHandle = std::unique_ptr<prc_t, PrcDestroyer>;

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

std::string LibraryError(const std::string &what) {
    return what + ": " + prcstrerror(prcgeterrno());
}

bool FileExists(const std::string &path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    return file != nullptr;
}

void SetHeader(prc_t *prc, const RomDatabase &database) {
    std::fill(std::begin(prc->name), std::end(prc->name), '\0');
    database.name.copy(prc->name, std::min<size_t>(database.name.size(), 32));
    prc->flags = database.attributes;
    prc->version = database.version;
    prc->ctime = database.creationDate;
    prc->mtime = database.modificationDate;
    prc->btime = database.lastBackupDate;
    prc->modnum = database.modificationNumber;
    prc->type = database.type;
    prc->creator = database.creator;
}

int SetBlock(int (*set)(prc_t *, const void *, uint32_t), prc_t *prc, const RomImage &image,
             const std::optional<RomBytes> &block) {
    if (!block) {
        return 0;
    }
    std::span<const uint8_t> bytes = image.Bytes(*block);
    return set(prc, bytes.data(), uint32_t(bytes.size()));
}

std::span<const uint8_t> BodyOf(const RomImage &image, const std::optional<RomBytes> &data) {
    return data ? image.Bytes(*data) : std::span<const uint8_t>();
}

int AppendRecords(prc_t *prc, const RomImage &image, const RomDatabase &database) {
    for (const RomRecord &record : database.records) {
        prc_record_t *entry = prcnewrecord();
        std::span<const uint8_t> body = BodyOf(image, record.data);
        if (entry == nullptr || prcrecordset(entry, body.data(), uint32_t(body.size())) != 0) {
            prcdestroyrecord(entry);
            return -1;
        }
        entry->attr = record.attributes;
        entry->uid = record.uniqueId;
        if (prcappendrecord(prc, entry) == nullptr) {
            prcdestroyrecord(entry);
            return -1;
        }
    }
    return 0;
}

int AppendResources(prc_t *prc, const RomImage &image, const RomDatabase &database) {
    for (const RomResource &resource : database.resources) {
        prc_record_t *entry = prcnewresource();
        std::span<const uint8_t> body = BodyOf(image, resource.data);
        if (entry == nullptr || prcresourceset(entry, resource.type, resource.id, body.data(),
                                               uint32_t(body.size())) != 0) {
            prcdestroyresource(entry);
            return -1;
        }
        if (prcappendresource(prc, entry) == nullptr) {
            prcdestroyresource(entry);
            return -1;
        }
    }
    return 0;
}

// Fills and writes the handle; the message says why it failed, "" when it did not.
std::string Write(prc_t *prc, const RomImage &image, const RomDatabase &database) {
    if (FillPrcFromRom(prc, image, database) != 0) {
        return LibraryError("the database cannot be copied");
    }
    if (prcflush(prc) != 0) {
        return LibraryError("the file cannot be written");
    }
    return "";
}

RomExtractOutcome Failed(RomExtractState state, const std::string &message) {
    RomExtractOutcome outcome;
    outcome.state = state;
    outcome.message = message;
    return outcome;
}

} // namespace

bool GlobMatches(const std::string &pattern, const std::string &text) {
    const std::u32string p = CodePoints(pattern), t = CodePoints(text);
    size_t pi = 0, ti = 0;
    std::optional<std::pair<size_t, size_t>> star; // pattern after the last '*', text there
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            star = {++pi, ti};
            continue;
        }
        size_t next = pi;
        if (pi < p.size() && MatchOne(p, next, t[ti])) {
            pi = next;
            ti++;
        } else if (star) {
            pi = star->first;
            ti = ++star->second;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') {
        pi++;
    }
    return pi == p.size();
}

bool RomDatabaseChoice::Takes(const RomDatabase &database) const {
    if ((type && database.type != *type) || (creator && database.creator != *creator)) {
        return false;
    }
    if (nameGlobs.empty()) {
        return true;
    }
    const std::string shown = Utf8FromWindows1252(database.name);
    for (const std::string &glob : nameGlobs) {
        if (GlobMatches(glob, shown)) {
            return true;
        }
    }
    return false;
}

std::string RomDatabaseFileName(const RomDatabase &database) {
    return SafeName(Utf8FromWindows1252(database.name)) + Extension(database);
}

std::string UniqueFileName(const std::string &name, std::set<std::string> &taken) {
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
    std::string candidate = name;
    for (int number = 2; taken.count(candidate) != 0; number++) {
        candidate = stem + " (" + std::to_string(number) + ")" + extension;
    }
    taken.insert(candidate);
    return candidate;
}

std::string RomDatabaseRefusal(const RomDatabase &database) {
    if (!database.complete) {
        return "some of its entries could not be read";
    }
    if (database.EntryCount() > kMostEntries) {
        return "it has " + std::to_string(database.EntryCount()) +
               " entries, more than a database file can count (65,535)";
    }
    auto tooLarge = [](const std::optional<RomBytes> &data) {
        return data && data->size > PRC_MAX_DATA_SIZE;
    };
    std::string which;
    if (tooLarge(database.appInfo)) {
        which = "its app info";
    } else if (tooLarge(database.sortInfo)) {
        which = "its sort info";
    }
    for (size_t i = 0; which.empty() && i < database.records.size(); i++) {
        which = tooLarge(database.records[i].data) ? "record " + std::to_string(i) : "";
    }
    for (size_t i = 0; which.empty() && i < database.resources.size(); i++) {
        which = tooLarge(database.resources[i].data) ? "resource " + std::to_string(i) : "";
    }
    return which.empty()
               ? ""
               : which + " is larger than a database file's entry can hold (65,505 bytes)";
}

std::vector<std::string> RomDatabaseLosses(const RomImage &image, const RomDatabase &database) {
    std::vector<std::string> losses;
    if (database.IsResourceDatabase() && database.appInfo) {
        losses.push_back("its app info (" + std::to_string(database.appInfo->size) +
                         " bytes) is not kept: a resource database file has none");
    }
    if (database.IsResourceDatabase() && database.sortInfo) {
        losses.push_back("its sort info (" + std::to_string(database.sortInfo->size) +
                         " bytes) is not kept: a resource database file has none");
    }
    const std::optional<RomBytes> last = LastBody(database);
    if ((database.attributes & kStreamDatabase) && last && last->size >= kStreamBlockHeader) {
        std::span<const uint8_t> block = image.Bytes(*last);
        const uint64_t held = block.size() - kStreamBlockHeader;
        const uint32_t used = Be32(block.subspan(4));
        if (Be32(block) == kStreamBlockMagic && used < held) {
            losses.push_back("the " + std::to_string(held - used) +
                             " unused bytes of its last stream block are not kept");
        }
    }
    return losses;
}

int FillPrcFromRom(prc_t *prc, const RomImage &image, const RomDatabase &database) {
    SetHeader(prc, database);
    if (SetBlock(prcsetappinfo, prc, image, database.appInfo) != 0 ||
        SetBlock(prcsetsortinfo, prc, image, database.sortInfo) != 0) {
        return -1;
    }
    return database.IsResourceDatabase() ? AppendResources(prc, image, database)
                                         : AppendRecords(prc, image, database);
}

RomExtractOutcome ExtractRomDatabase(const RomImage &image, const RomDatabase &database,
                                     const std::string &path, bool overwrite) {
    if (std::string refusal = RomDatabaseRefusal(database); !refusal.empty()) {
        return Failed(RomExtractState::Refused, refusal);
    }
    RomExtractOutcome outcome;
    outcome.losses = RomDatabaseLosses(image, database);
    std::string failure;
    if (overwrite && FileExists(path)) {
        // The library writes the new file beside the old one and renames it over only once it
        // is whole.
        PrcHandle prc(prcopen(path.c_str(), PRC_OPEN_CREATE));
        failure = prc ? Write(prc.get(), image, database) : LibraryError("it cannot be created");
    } else {
        // Created exclusively, so a file that appears meanwhile is never overwritten.
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "w+xb"));
        if (!file) {
            return FileExists(path) ? Failed(RomExtractState::Exists, "the file exists")
                                    : Failed(RomExtractState::Failed, "it cannot be created");
        }
        PrcHandle prc(prcfpopen(file.get(), PRC_OPEN_CREATE));
        failure = prc ? Write(prc.get(), image, database) : LibraryError("it cannot be created");
        prc.reset();
        if (std::fclose(file.release()) != 0 && failure.empty()) {
            failure = "the file cannot be written";
        }
        if (!failure.empty()) {
            std::remove(path.c_str());
        }
    }
    if (!failure.empty()) {
        return Failed(RomExtractState::Failed, failure);
    }
    outcome.state = RomExtractState::Written;
    return outcome;
}

} // namespace ostervane
