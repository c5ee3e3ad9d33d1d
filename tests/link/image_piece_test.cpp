// A restore reads its image piece by piece: past the end is erased flash, a read error is none.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "ostervane/link/image_piece.h"

namespace ostervane {
namespace {

TEST(ImagePiece, BytesPastTheEndReadAsErasedFlash) {
    std::FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite("\x01\x02\x03\x04", 1, 4, file);
    auto piece = ReadImagePiece(file, 2, 5);
    ASSERT_TRUE(piece.has_value());
    EXPECT_EQ(*piece, (std::vector<uint8_t>{0x03, 0x04, 0xFF, 0xFF, 0xFF}));
    std::fclose(file);
}

// A file whose every read fails, as a failing disk's does.
ssize_t FailingRead(void *, char *, size_t) {
    errno = EIO;
    return -1;
}
int AnySeek(void *, off64_t *, int) {
    return 0;
}

TEST(ImagePiece, AReadErrorGivesNoBytesRatherThanErasedOnes) {
    cookie_io_functions_t io{};
    io.read = FailingRead;
    io.seek = AnySeek;
    std::FILE *file = fopencookie(nullptr, "rb", io);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(ReadImagePiece(file, 0, 4096).has_value());
    std::fclose(file);
}

} // namespace
} // namespace ostervane
