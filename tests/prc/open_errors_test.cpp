// Opening missing and malformed files: NULL with the code that names the reason.
#include "prc_test_support.h"

#include <gtest/gtest.h>

using namespace prctest;

namespace {

struct BadFile {
    const char *what;
    Bytes bytes;
    int code;
};

Bytes truncated(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// Record database with the given entry offsets and a file of exactly size bytes.
Bytes withOffsets(std::initializer_list<uint32_t> offsets, size_t size, Header h = {}) {
    h.count = uint16_t(offsets.size());
    Bytes out = headerBytes(h);
    for (uint32_t offset : offsets)
        putRecordEntry(out, offset, 0, 0);
    out.resize(size, 0xEE);
    return out;
}

} // namespace

TEST(OpenErrors, MissingFileIsOpenFailure) {
    TempDir dir;
    for (int mode : {PRC_OPEN_READ, PRC_OPEN_UPDATE}) {
        EXPECT_EQ(prcopen(dir.path("missing.pdb").c_str(), mode), nullptr);
        EXPECT_EQ(prcgeterrno(), PRC_EOPEN);
    }
    EXPECT_FALSE(fs::exists(dir.path("missing.pdb")));
}

// Cases alternate between failures that leave a code and failures that leave none, so a
// code left over from the previous case shows.
TEST(OpenErrors, MalformedFilesAreRefused) {
    const Bytes twoRecords = image(Header{}, {{pattern(4)}, {pattern(4)}});
    const Bytes oneResource = image(Header{.flags = PRC_FLAGS_RESOURCE}, {{pattern(4), 1, 1}});
    const Header appinfoAt1000{.appinfo = 1000};
    const Header appinfoAfterSortinfo{.appinfo = 100, .sortinfo = 90};
    const std::vector<BadFile> cases{
        {"body offset past end of file", withOffsets({500, 600}, 100), PRC_ESEEK},
        {"empty file", {}, PRC_ENONE},
        {"appinfo offset past end of file", withOffsets({}, 80, appinfoAt1000), PRC_ESEEK},
        {"header cut short", truncated(twoRecords, 77), PRC_ENONE},
        {"offsets out of order", withOffsets({96, 92}, 100), PRC_EREAD},
        {"record list cut short", truncated(twoRecords, 78 + 15), PRC_ENONE},
        {"appinfo ends before it starts", withOffsets({}, 110, appinfoAfterSortinfo), PRC_EREAD},
        {"resource list cut short", truncated(oneResource, 78 + 9), PRC_ENONE},
    };
    TempDir dir;
    for (const BadFile &bad : cases) {
        SCOPED_TRACE(bad.what);
        const std::string path = dir.path("bad.pdb");
        writeFile(path, bad.bytes);
        EXPECT_EQ(prcopen(path.c_str(), PRC_OPEN_READ), nullptr);
        EXPECT_EQ(prcgeterrno(), bad.code);
        EXPECT_EQ(readFile(path), bad.bytes);
        EXPECT_EQ(prcopen(path.c_str(), PRC_OPEN_UPDATE), nullptr);
        EXPECT_EQ(readFile(path), bad.bytes);
    }
}

TEST(OpenErrors, ResourceDatabaseIgnoresBlockOffsets) {
    TempDir dir;
    const std::string path = dir.path("res.prc");
    Bytes bytes = image(Header{.flags = PRC_FLAGS_RESOURCE}, {{pattern(4), 0x636F6465, 1}});
    bytes[55] = 0xFF; // appinfo offset far past the end
    bytes[59] = 0xFE; // sortinfo offset likewise
    writeFile(path, bytes);
    PrcPtr prc(prcopen(path.c_str(), PRC_OPEN_READ));
    ASSERT_TRUE(prc);
    EXPECT_EQ(prcgeterrno(), PRC_ENONE);
    EXPECT_EQ(prc->appinfo, nullptr);
    EXPECT_EQ(prc->sortinfo, nullptr);
    EXPECT_EQ(bodyOf(prcgetresource(prc.get(), 0x636F6465, 1)), pattern(4));
}
