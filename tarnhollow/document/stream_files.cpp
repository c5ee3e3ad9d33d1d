// Size, rewinding and header name of the stdio streams the document holds.
#include "tarnhollow/document/stream_files.h"

#include <cstring>

#include "tarnhollow/document/file_exception.h"
#include "tarnhollow/document/install_file_layout.h"

namespace tarnhollow {

std::optional<int64_t> StreamSize(std::FILE *stream) {
    if (stream == nullptr) {
        return std::nullopt;
    }
    const off_t position = ftello(stream);
    if (position < 0 || fseeko(stream, 0, SEEK_END) != 0) {
        return std::nullopt;
    }
    const off_t size = ftello(stream);
    if (fseeko(stream, position, SEEK_SET) != 0 || size < 0) {
        return std::nullopt;
    }
    return int64_t{size};
}

void RewindStream(std::FILE *stream) {
    if (stream == nullptr || fseeko(stream, 0, SEEK_SET) != 0) {
        throw FileException(FileException::Cause::ReadFault, {}, "cannot rewind stream");
    }
    std::clearerr(stream);
}

std::string DatabaseNameIn(std::FILE *stream) {
    RewindStream(stream);
    char name[layout::kDatabaseNameBytes + 1] = {};
    if (std::fread(name, 1, layout::kDatabaseNameBytes, stream) != layout::kDatabaseNameBytes) {
        throw FileException(FileException::Cause::ReadFault, {}, "database header cut short");
    }
    return std::string(name, strnlen(name, layout::kDatabaseNameBytes));
}

} // namespace tarnhollow
