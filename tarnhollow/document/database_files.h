// Whole Palm databases as the save and the open use them: an owning handle, the
// open-or-create of the temporary record databases and of the package and uninstaller,
// resource copies, and writing a handle back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "prc.h"

namespace tarnhollow {

struct PrcDestroyer {
    void operator()(prc_t *prc) const { prcdestroy(prc); }
};
// A handle that is freed without writing unless WriteAndClose wrote it first.
using PrcHandle = std::unique_ptr<prc_t, PrcDestroyer>;

// No write permission bit on the file (the mode bits decide, also for root).
bool IsReadOnlyFile(const std::filesystem::path &path);

// The save's temporary record database on a stream open for reading and writing: the
// database the stream holds with every record removed, or a new one.  Either way it gets the
// name, the type, creator 'JFft' and attributes 0 (an old leftover keeps only its times).
// prcflush rewrites the stream in place.  Null when the handle cannot be made.
PrcHandle OpenOrCreateRecordDatabase(std::FILE *stream, const std::string &name, uint32_t type);

// A writable resource database at path with every resource removed and the name set,
// keeping the rest of an existing database's header (the resource bit is made sure of); or a
// new one with the name, type 'appl', the creator and attributes 0x0001.  Null when the file
// is read-only or cannot be written.  An existing file is not touched before WriteAndClose;
// a new name is claimed at once with an empty file.
PrcHandle OpenOrCreateResourceDatabase(const std::filesystem::path &path, const std::string &name,
                                       uint32_t creator);

// Appends a copy of every resource of the database at source, in order.  Throws
// FileException when the source cannot be opened or a copy cannot be made.
void CopyResources(prc_t *target, const std::filesystem::path &source);

// Append one entry with a copy of the bytes; throw FileException when the library refuses.
void AppendResource(prc_t *target, uint32_t type, uint32_t id, const void *data, size_t size);
void AppendRecord(prc_t *target, uint16_t attribute, const void *data, size_t size);
// A text with its terminating NUL.
void AppendTextResource(prc_t *target, uint32_t type, uint32_t id, const std::string &text);

// Writes a database opened on a caller's stream into that stream; throws FileException
// naming path when the write fails.
void WriteInPlace(prc_t *database, const std::filesystem::path &path);

// Writes the database (replacing its file at once) and frees it; throws FileException naming
// path when the write fails.  The handle is empty afterwards either way.
void WriteAndClose(PrcHandle &database, const std::filesystem::path &path);

// The entry's body up to its first NUL (all of it when it has none).
std::string TextOf(const prc_record_t *entry);

} // namespace tarnhollow
