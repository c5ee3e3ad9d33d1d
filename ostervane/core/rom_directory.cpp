// Reading a store's database directory and its databases: the chained directory, each
// database header, its records or resources (and continued record lists), app info and sort
// info, every LocalID resolved to a chunk of the store.
#include <algorithm>
#include <set>
#include <unordered_map>

#include "ostervane/core/rom_part_reading.h"
#include "ostervane/core/rom_text.h"

namespace ostervane::rom_reading {
namespace {

constexpr uint64_t kDatabaseHeaderSize = 78; // up to the entry count
constexpr uint64_t kArmFirstEntry = 80;
constexpr uint64_t kRecordEntrySize = 8;
constexpr uint64_t kResourceEntrySize = 10;
constexpr uint64_t kArmResourceEntrySize = 12;
constexpr uint64_t kRecordListHeaderSize = 6; // a continued record list: next, count

struct ListLayout {
    uint64_t countOffset;
    uint64_t firstEntry;
    uint64_t entrySize;
};

// An entry of a database, named only when a problem needs its name.
struct EntryName {
    enum Kind { Record, Resource, AppInfo, SortInfo } kind;
    size_t position = 0;
    uint32_t type = 0;
    uint16_t id = 0;

    std::string Text() const {
        switch (kind) {
        case Record:
            return "record " + std::to_string(position);
        case Resource:
            return "resource " + std::to_string(position) + " ('" + FourCharText(type) + "' " +
                   std::to_string(id) + ")";
        case AppInfo:
            return "app info";
        case SortInfo:
            break;
        }
        return "sort info";
    }
};

// An entry's data, kept to find data shared by two entries once every database is read.
struct DataUse {
    uint32_t localId;
    size_t database;
    EntryName entry;
};

class DirectoryWalk {
public:
    explicit DirectoryWalk(PartReading &reading) : reading_(reading), f_(reading.fields) {}

    void Walk() {
        WalkDirectories();
        ReportSharedData();
    }

private:
    void WalkDirectories() {
        uint32_t directoryId = reading_.part.storage->databaseDirId;
        std::set<uint32_t> seen;
        while (directoryId != 0) {
            if (!seen.insert(directoryId).second) {
                reading_.Problem("database directory",
                                 "its chain comes back to " + Hex(directoryId) + "; it ends there");
                return;
            }
            std::optional<uint32_t> next = ReadDirectory(directoryId, seen.size() == 1);
            if (!next) {
                return;
            }
            directoryId = *next;
        }
    }

    std::string Label(size_t index) const {
        const std::vector<RomDatabase> &all = reading_.part.databases;
        auto found = std::lower_bound(
            all.begin(), all.end(), index,
            [](const RomDatabase &database, size_t at) { return database.index < at; });
        return "database " + std::to_string(index) + " '" + ShownPalmText(found->name) + "'";
    }

    void ReportSharedData() {
        std::stable_sort(uses_.begin(), uses_.end(),
                         [](const DataUse &a, const DataUse &b) { return a.localId < b.localId; });
        for (size_t i = 1, first = 0; i < uses_.size(); i++) {
            const DataUse &use = uses_[i];
            if (use.localId != uses_[first].localId) {
                first = i;
                continue;
            }
            reading_.Problem(Label(use.database), use.entry.Text() + " shares its data (LocalID " +
                                                      Hex(use.localId) + ") with " +
                                                      Label(uses_[first].database) + ", " +
                                                      uses_[first].entry.Text());
        }
    }
    // Reads one directory; returns the next one's LocalID (0 for none), or nullopt when this
    // one cannot be read.
    std::optional<uint32_t> ReadDirectory(uint32_t directoryId, bool first) {
        const std::string where =
            first ? "database directory" : "database directory continued at " + Hex(directoryId);
        LocalIdFault fault;
        const RomChunk *chunk = reading_.ResolveChunk(directoryId, fault);
        const uint64_t idsAt = reading_.Arm() ? 8 : 6;
        if (chunk == nullptr) {
            reading_.Problem(where, LocalIdFaultText(fault, directoryId));
            return std::nullopt;
        }
        if (chunk->data.size < idsAt) {
            reading_.Problem(where, "its chunk holds " + std::to_string(chunk->data.size) +
                                        " bytes, too few for a directory");
            return std::nullopt;
        }
        const uint64_t at = chunk->data.offset;
        const uint16_t count = f_.U16(at + 4);
        const uint64_t room = (chunk->data.size - idsAt) / 4;
        if (count > room) {
            reading_.Problem(where, "it names " + std::to_string(count) +
                                        " databases but its chunk has room for " +
                                        std::to_string(room));
        }
        for (uint64_t i = 0; i < std::min<uint64_t>(count, room); i++) {
            ReadDatabase(f_.U32(at + idsAt + 4 * i));
        }
        return f_.U32(at);
    }

    void ReadDatabase(uint32_t headerId) {
        const size_t index = nextIndex_++;
        const std::string where = "database " + std::to_string(index);
        auto [known, added] = headers_.emplace(headerId, index);
        if (!added) {
            reading_.Problem(where, "it is database " + std::to_string(known->second) +
                                        " again (LocalID " + Hex(headerId) + "); skipped");
            return;
        }
        LocalIdFault fault;
        const RomChunk *chunk = reading_.ResolveChunk(headerId, fault);
        if (chunk == nullptr) {
            reading_.Problem(where, "its header " + LocalIdFaultText(fault, headerId));
            return;
        }
        const uint64_t needed = reading_.Arm() ? kArmFirstEntry : kDatabaseHeaderSize;
        if (chunk->data.size < needed) {
            reading_.Problem(where, "its header chunk holds " + std::to_string(chunk->data.size) +
                                        " bytes, fewer than a database header (" +
                                        std::to_string(needed) + ")");
            return;
        }
        RomDatabase database = ReadHeaderFields(*chunk, headerId, index);
        const std::string label = where + " '" + ShownPalmText(database.name) + "'";
        ReadEntryLists(database, *chunk, label);
        database.appInfo = ReadBlock(database, database.appInfoId, label, {EntryName::AppInfo});
        database.sortInfo = ReadBlock(database, database.sortInfoId, label, {EntryName::SortInfo});
        reading_.part.databases.push_back(std::move(database));
    }

    RomDatabase ReadHeaderFields(const RomChunk &chunk, uint32_t headerId, size_t index) {
        const uint64_t at = chunk.data.offset;
        RomDatabase d;
        d.part = reading_.part.kind;
        d.index = index;
        d.headerLocalId = headerId;
        d.header = chunk.data;
        d.name = f_.Text(at, 32);
        d.attributes = f_.U16(at + 32);
        d.version = f_.U16(at + 34);
        d.creationDate = f_.U32(at + 36);
        d.modificationDate = f_.U32(at + 40);
        d.lastBackupDate = f_.U32(at + 44);
        d.modificationNumber = f_.U32(at + 48);
        d.appInfoId = f_.U32(at + 52);
        d.sortInfoId = f_.U32(at + 56);
        d.type = f_.U32(at + 60);
        d.creator = f_.U32(at + 64);
        d.uniqueIdSeed = f_.U32(at + 68);
        d.nextRecordListId = f_.U32(at + 72);
        return d;
    }

    ListLayout LayoutOf(const RomDatabase &database, bool continued) const {
        const bool arm = reading_.Arm();
        const uint64_t entrySize = !database.IsResourceDatabase() ? kRecordEntrySize
                                   : arm                          ? kArmResourceEntrySize
                                                                  : kResourceEntrySize;
        if (continued) {
            return {4, kRecordListHeaderSize, entrySize};
        }
        return {76, arm ? kArmFirstEntry : kDatabaseHeaderSize, entrySize};
    }

    // The header's entry list, then the continued lists it chains to.
    void ReadEntryLists(RomDatabase &database, const RomChunk &headerChunk,
                        const std::string &label) {
        ReadEntries(database, headerChunk, LayoutOf(database, false), label);
        std::set<uint32_t> seen{database.headerLocalId};
        for (uint32_t listId = database.nextRecordListId; listId != 0;) {
            const std::string where = label + ", record list at " + Hex(listId);
            if (reading_.Arm()) {
                reading_.Problem(where, "continued record lists are not supported for this ROM");
                database.complete = false;
                return;
            }
            if (!seen.insert(listId).second) {
                reading_.Problem(label, "its record lists come back to " + Hex(listId) +
                                            "; they end there");
                database.complete = false;
                return;
            }
            // Each list is read for one database only, which bounds the entries read by the
            // image's size.
            if (auto [owner, added] = lists_.try_emplace(listId, database.index); !added) {
                reading_.Problem(where, "it is database " + std::to_string(owner->second) +
                                            "'s already; it is not read again");
                database.complete = false;
                return;
            }
            LocalIdFault fault;
            const RomChunk *chunk = reading_.ResolveChunk(listId, fault);
            if (chunk == nullptr || chunk->data.size < kRecordListHeaderSize) {
                reading_.Problem(where, chunk == nullptr ? LocalIdFaultText(fault, listId)
                                                         : "too short for a record list");
                database.complete = false;
                return;
            }
            ReadEntries(database, *chunk, LayoutOf(database, true), label);
            listId = f_.U32(chunk->data.offset);
        }
    }

    void ReadEntries(RomDatabase &database, const RomChunk &chunk, ListLayout layout,
                     const std::string &label) {
        const uint64_t at = chunk.data.offset;
        const uint16_t count = f_.U16(at + layout.countOffset);
        const uint64_t room = chunk.data.size < layout.firstEntry
                                  ? 0
                                  : (chunk.data.size - layout.firstEntry) / layout.entrySize;
        const char *kind = database.IsResourceDatabase() ? "resources" : "records";
        if (count > room) {
            reading_.Problem(label, "its entry list at " + Hex(at) + " names " +
                                        std::to_string(count) + " " + kind +
                                        " but its chunk has room for " + std::to_string(room));
            database.complete = false;
        }
        const uint64_t read = std::min<uint64_t>(count, room);
        if (database.IsResourceDatabase()) {
            database.resources.reserve(database.resources.size() + read);
        } else {
            database.records.reserve(database.records.size() + read);
        }
        for (uint64_t i = 0; i < read; i++) {
            const uint64_t entry = at + layout.firstEntry + i * layout.entrySize;
            database.IsResourceDatabase() ? ReadResource(database, entry, label)
                                          : ReadRecord(database, entry, label);
        }
    }

    void ReadRecord(RomDatabase &database, uint64_t at, const std::string &label) {
        RomRecord record;
        record.localId = f_.U32(at);
        record.attributes = f_.U8(at + 4);
        record.uniqueId =
            uint32_t(f_.U8(at + 5)) << 16 | uint32_t(f_.U8(at + 6)) << 8 | f_.U8(at + 7);
        record.data =
            Resolve(database, record.localId, label, {EntryName::Record, database.records.size()});
        database.records.push_back(record);
    }

    void ReadResource(RomDatabase &database, uint64_t at, const std::string &label) {
        RomResource resource;
        resource.type = f_.U32(at);
        resource.id = f_.U16(at + 4);
        resource.localId = f_.U32(at + (reading_.Arm() ? 8 : 6));
        resource.data =
            Resolve(database, resource.localId, label,
                    {EntryName::Resource, database.resources.size(), resource.type, resource.id});
        database.resources.push_back(resource);
    }

    std::optional<RomBytes> ReadBlock(RomDatabase &database, uint32_t localId,
                                      const std::string &label, EntryName entry) {
        return localId == 0 ? std::nullopt : Resolve(database, localId, label, entry);
    }

    // The data an entry's LocalID names.  LocalID 0 is an entry without data; any other that
    // names no chunk makes the database incomplete.
    std::optional<RomBytes> Resolve(RomDatabase &database, uint32_t localId,
                                    const std::string &label, EntryName entry) {
        LocalIdFault fault;
        const RomChunk *chunk = reading_.ResolveChunk(localId, fault);
        if (chunk == nullptr) {
            reading_.Problem(label, entry.Text() + " " + LocalIdFaultText(fault, localId));
            database.complete = database.complete && fault == LocalIdFault::Zero;
            return std::nullopt;
        }
        uses_.push_back({localId, database.index, entry});
        return chunk->data;
    }

    PartReading &reading_;
    const RomFields &f_;
    size_t nextIndex_ = 0;
    std::unordered_map<uint32_t, size_t> headers_;
    std::unordered_map<uint32_t, size_t> lists_; // continued record lists by their database
    std::vector<DataUse> uses_;
};

} // namespace

void ReadDirectory(PartReading &reading) {
    if (reading.part.storage->databaseDirId == 0) {
        reading.Problem("storage header", "it names no database directory");
        return;
    }
    DirectoryWalk(reading).Walk();
}

} // namespace ostervane::rom_reading
