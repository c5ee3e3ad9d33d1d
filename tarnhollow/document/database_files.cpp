// Whole Palm databases as the save and the open use them: open-or-create, copies, writing.
#include "tarnhollow/document/database_files.h"

#include <cstring>

#include "tarnhollow/document/file_exception.h"
#include "tarnhollow/document/install_file_layout.h"

namespace tarnhollow {

namespace fs = std::filesystem;

bool IsReadOnlyFile(const fs::path &path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    constexpr fs::perms kAnyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return !error && fs::exists(status) && (status.permissions() & kAnyWrite) == fs::perms::none;
}

namespace {

void RemoveAllEntries(prc_t *database) {
    for (uint16_t count = prcgetnrecords(database); count > 0; --count) {
        prc_record_t *last = prcgetrecord(database, static_cast<uint16_t>(count - 1));
        prcdestroyrecord(prcremoverecord(database, last));
    }
}

// Update mode reads the file whole and fails for a file that is no database or cannot be
// replaced (the folder is not writable).
PrcHandle OpenExistingForUpdate(const fs::path &path) {
    return PrcHandle(prcopen(path.c_str(), PRC_OPEN_UPDATE));
}

} // namespace

PrcHandle OpenOrCreateRecordDatabase(std::FILE *stream, const std::string &name, uint32_t type) {
    std::rewind(stream);
    PrcHandle database(prcfpopen(stream, PRC_OPEN_UPDATE));
    if (database) {
        RemoveAllEntries(database.get());
        prcsetsortinfo(database.get(), nullptr, 0);
    } else {
        database.reset(prcfpopen(stream, PRC_OPEN_CREATE));
        if (!database) {
            return nullptr;
        }
        database->ctime = database->mtime = prctime(nullptr);
    }
    prcsetname(database.get(), name.c_str());
    database->type = type;
    database->creator = layout::kCreatorFlash;
    database->flags = 0;
    return database;
}

PrcHandle OpenOrCreateResourceDatabase(const fs::path &path, const std::string &name,
                                       uint32_t creator) {
    if (IsReadOnlyFile(path)) {
        return nullptr;
    }
    if (PrcHandle existing = OpenExistingForUpdate(path)) {
        prcsetname(existing.get(), name.c_str());
        RemoveAllEntries(existing.get());
        // Resources written under a record database's header would come out as records.
        existing->flags |= PRC_FLAGS_RESOURCE;
        return existing;
    }
    return PrcHandle(prccreate(path.c_str(), name.c_str(), layout::kTypeApplication, creator,
                               layout::kPackageAttributes));
}

namespace {

prc_record_t *NewEntryOrThrow() {
    prc_record_t *entry = prcnewrecord();
    if (entry == nullptr) {
        throw FileException(FileException::Cause::WriteFault, {}, "out of memory");
    }
    return entry;
}

void AppendOrThrow(prc_t *target, prc_record_t *entry, bool resource) {
    prc_record_t *appended =
        resource ? prcappendresource(target, entry) : prcappendrecord(target, entry);
    if (appended == nullptr) {
        prcdestroyrecord(entry);
        throw FileException(FileException::Cause::WriteFault, {}, "database is full");
    }
}

} // namespace

void AppendResource(prc_t *target, uint32_t type, uint32_t id, const void *data, size_t size) {
    if (id > layout::kLastResourceId || size > PRC_MAX_DATA_SIZE) {
        throw FileException(FileException::Cause::WriteFault, {}, "resource out of range");
    }
    prc_record_t *entry = NewEntryOrThrow();
    if (prcresourceset(entry, type, static_cast<uint16_t>(id), data, static_cast<uint32_t>(size)) !=
        0) {
        prcdestroyresource(entry);
        throw FileException(FileException::Cause::WriteFault, {}, "resource refused");
    }
    AppendOrThrow(target, entry, true);
}

void AppendRecord(prc_t *target, uint16_t attribute, const void *data, size_t size) {
    if (size > PRC_MAX_DATA_SIZE) {
        throw FileException(FileException::Cause::WriteFault, {}, "record too large");
    }
    prc_record_t *entry = NewEntryOrThrow();
    if (prcrecordset(entry, data, static_cast<uint32_t>(size)) != 0) {
        prcdestroyrecord(entry);
        throw FileException(FileException::Cause::WriteFault, {}, "record refused");
    }
    entry->attr = attribute;
    entry->uid = 0;
    AppendOrThrow(target, entry, false);
}

void AppendTextResource(prc_t *target, uint32_t type, uint32_t id, const std::string &text) {
    AppendResource(target, type, id, text.c_str(), text.size() + 1);
}

void CopyResources(prc_t *target, const fs::path &source) {
    PrcHandle from(prcopen(source.c_str(), PRC_OPEN_READ));
    if (!from) {
        throw FileException(FileException::Cause::FileNotFound, source, "cannot open database");
    }
    for (prc_record_t *res = prcgetnextresource(from.get(), nullptr); res != nullptr;
         res = prcgetnextresource(from.get(), res)) {
        AppendResource(target, res->type, res->id, res->data, res->datalen);
    }
}

void WriteInPlace(prc_t *database, const fs::path &path) {
    if (prcflush(database) != 0) {
        throw FileException(FileException::Cause::WriteFault, path, "cannot write database");
    }
}

void WriteAndClose(PrcHandle &database, const fs::path &path) {
    if (prcclose(database.release()) != 0) {
        throw FileException(FileException::Cause::WriteFault, path, "cannot write database");
    }
}

std::string TextOf(const prc_record_t *entry) {
    if (entry == nullptr || entry->data == nullptr) {
        return {};
    }
    const char *text = reinterpret_cast<const char *>(entry->data);
    return std::string(text, strnlen(text, entry->datalen));
}

} // namespace tarnhollow
