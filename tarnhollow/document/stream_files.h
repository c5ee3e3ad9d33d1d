// The stdio streams the document holds (entry files, temporary copies): their size, going
// back to their start, and the database name in their first bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace tarnhollow {

// The stream's length in bytes, its position left unchanged; nothing when it cannot be told.
std::optional<int64_t> StreamSize(std::FILE *stream);

// Back to offset 0 with the error and end-of-file marks cleared; throws FileException when
// the stream cannot seek.
void RewindStream(std::FILE *stream);

// The database name in the first 32 bytes (up to the first NUL); throws FileException when
// they cannot be read.
std::string DatabaseNameIn(std::FILE *stream);

} // namespace tarnhollow
