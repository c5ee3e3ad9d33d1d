// Chunk groups both ways: cutting a database file into consecutive 'eprc' resources of
// 32,768 bytes, and reassembling a group of a package into an anonymous temporary file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <span>

#include "prc.h"
#include "tarnhollow/document/package_entry.h"

namespace tarnhollow {

// The chunks a database of this many bytes fills (the last one shorter, no empty chunk).
uint64_t ChunksFor(uint64_t bytes);

// Complements the 32-bit type and creator words of a database header held in bytes (only the
// bytes of those words that lie within it).
void InvertTypeAndCreator(std::span<uint8_t> header);

// Appends the stream's bytes, read from its start through buffer, as 'eprc' firstId,
// firstId + 1, ...; with invert, the first chunk carries type and creator complemented.
// The stream stays open.  Throws FileException when it cannot be read, is empty, or needs
// more than maxChunks chunks.  Returns the number of chunks.
uint32_t AppendChunkGroup(prc_t *package, std::FILE *stream, uint32_t firstId, uint32_t maxChunks,
                          bool invert, std::span<uint8_t> buffer);

// The same for the database file at path, never inverted; FileException naming the path when
// it cannot be opened.
uint32_t AppendChunkGroup(prc_t *package, const std::filesystem::path &path, uint32_t firstId,
                          uint32_t maxChunks, std::span<uint8_t> buffer);

// The 'eprc' resources of a package by id (the first of each id in list order).
class ChunkIndex {
public:
    explicit ChunkIndex(prc_t *package);
    const prc_record_t *Find(uint32_t id) const;

private:
    std::map<uint32_t, const prc_record_t *> m_chunks;
};

// Concatenates the bodies of 'eprc' base, base + 1, ... until an id is missing or maxChunks
// were taken (a group never reads into the next group's ids) into a new anonymous temporary
// file, flushed and rewound.  Null when 'eprc' base is missing; throws FileException when
// the temporary file cannot be made or written.
FileHandle ReassembleChunkGroup(const ChunkIndex &chunks, uint32_t base, uint32_t maxChunks);

} // namespace tarnhollow
