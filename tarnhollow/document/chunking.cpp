// Chunk groups both ways: database bytes into 'eprc' resources and back into a temporary file.
#include "tarnhollow/document/chunking.h"

#include <algorithm>

#include "tarnhollow/document/database_files.h"
#include "tarnhollow/document/file_exception.h"
#include "tarnhollow/document/install_file_layout.h"
#include "tarnhollow/document/stream_files.h"
#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

namespace fs = std::filesystem;

uint64_t ChunksFor(uint64_t bytes) {
    return (bytes + kChunkSize - 1) / kChunkSize;
}

void InvertTypeAndCreator(std::span<uint8_t> header) {
    for (size_t word : {layout::kTypeWordOffset, layout::kCreatorWordOffset}) {
        for (size_t at = word; at < word + 4 && at < header.size(); ++at) {
            header[at] = static_cast<uint8_t>(~header[at]);
        }
    }
}

uint32_t AppendChunkGroup(prc_t *package, std::FILE *stream, uint32_t firstId, uint32_t maxChunks,
                          bool invert, std::span<uint8_t> buffer) {
    RewindStream(stream);
    uint32_t chunks = 0;
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, kChunkSize, stream);
        if (std::ferror(stream)) {
            throw FileException(FileException::Cause::ReadFault, {}, "cannot read database");
        }
        if (got > 0) {
            if (chunks == maxChunks) {
                throw FileException(FileException::Cause::BadContent, {}, "database too large");
            }
            if (invert && chunks == 0) {
                InvertTypeAndCreator(buffer.first(got));
            }
            AppendResource(package, layout::kResChunk, firstId + chunks, buffer.data(), got);
            ++chunks;
        }
        if (got < kChunkSize) {
            break;
        }
    }
    // An empty group could not be found again: the open stops at the first missing base.
    if (chunks == 0) {
        throw FileException(FileException::Cause::BadContent, {}, "empty database");
    }
    return chunks;
}

uint32_t AppendChunkGroup(prc_t *package, const fs::path &path, uint32_t firstId,
                          uint32_t maxChunks, std::span<uint8_t> buffer) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw FileException(FileException::Cause::FileNotFound, path, "cannot open database");
    }
    try {
        return AppendChunkGroup(package, file.get(), firstId, maxChunks, false, buffer);
    } catch (const FileException &failure) {
        throw FileException(failure.cause(), path, failure.detail());
    }
}

ChunkIndex::ChunkIndex(prc_t *package) {
    for (prc_record_t *res = prcgetnextresource(package, nullptr); res != nullptr;
         res = prcgetnextresource(package, res)) {
        if (res->type == layout::kResChunk) {
            m_chunks.emplace(res->id, res);
        }
    }
}

const prc_record_t *ChunkIndex::Find(uint32_t id) const {
    auto found = m_chunks.find(id);
    return found == m_chunks.end() ? nullptr : found->second;
}

FileHandle ReassembleChunkGroup(const ChunkIndex &chunks, uint32_t base, uint32_t maxChunks) {
    if (chunks.Find(base) == nullptr) {
        return nullptr;
    }
    FileHandle file(std::tmpfile());
    if (!file) {
        throw FileException(FileException::Cause::WriteFault, {}, "no temporary file");
    }
    const uint32_t end = std::min<uint32_t>(base + maxChunks, layout::kLastResourceId + 1);
    for (uint32_t id = base; id < end; ++id) {
        const prc_record_t *chunk = chunks.Find(id);
        if (chunk == nullptr) {
            break;
        }
        if (chunk->datalen > 0 &&
            std::fwrite(chunk->data, 1, chunk->datalen, file.get()) != chunk->datalen) {
            throw FileException(FileException::Cause::WriteFault, {}, "temporary file full");
        }
    }
    if (std::fflush(file.get()) != 0) {
        throw FileException(FileException::Cause::WriteFault, {}, "temporary file full");
    }
    RewindStream(file.get());
    return file;
}

} // namespace tarnhollow
