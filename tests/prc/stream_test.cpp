// Byte-stream access to stream databases: reads and writes across "DBLK" blocks, and how
// the blocks are written.
#include "prc_test_support.h"

#include <gtest/gtest.h>

using namespace prctest;

namespace {

constexpr uint32_t kMagic = 0x44424C4B;

Bytes block(const Bytes &data, uint32_t used, uint32_t magic = kMagic) {
    Bytes out;
    put32(out, magic);
    put32(out, used);
    putBytes(out, data);
    return out;
}

uint32_t usedOf(const prc_record_t *rec) {
    return get32(bodyOf(rec), 4);
}

class Stream : public testing::Test {
protected:
    prc_t *openBlocks(const std::vector<Bytes> &blocks, int mode = PRC_OPEN_READ,
                      uint16_t flags = PRC_FLAGS_STREAM) {
        std::vector<Entry> entries;
        for (const Bytes &b : blocks)
            entries.push_back({b});
        writeFile(path, image(Header{.flags = flags}, entries));
        prc.reset(prcopen(path.c_str(), mode));
        return prc.get();
    }
    prc_t *createEmpty() {
        prc.reset(prccreate(path.c_str(), "Stream", 0, 0, PRC_FLAGS_STREAM));
        return prc.get();
    }
    Bytes read(uint32_t from, uint32_t length) {
        prc->streampos = from;
        Bytes out(length);
        out.resize(prcstreamread(prc.get(), out.data(), length));
        return out;
    }
    uint32_t write(uint32_t at, const Bytes &bytes) {
        prc->streampos = at;
        return prcstreamwrite(prc.get(), bytes.data(), uint32_t(bytes.size()));
    }

    TempDir dir;
    std::string path = dir.path("stream.pdb");
    PrcPtr prc;
};

} // namespace

TEST_F(Stream, ReadCrossesBlocksAndReportsEnd) {
    ASSERT_NE(openBlocks({block(pattern(4096), 4096), block(pattern(10, 7), 10)}), nullptr);
    const Bytes all = concat(pattern(4096), pattern(10, 7));
    EXPECT_EQ(read(4090, 10), Bytes(all.begin() + 4090, all.begin() + 4100));
    EXPECT_EQ(prcgeterrno(), PRC_ENONE);
    EXPECT_EQ(prc->streampos, 4100u);

    EXPECT_EQ(read(0, 5000), all);
    EXPECT_EQ(prcgeterrno(), PRC_EEOF);
    EXPECT_EQ(prc->streampos, 4106u);
    for (uint32_t past : {4106u, 9000u}) {
        EXPECT_EQ(read(past, 1).size(), 0u);
        EXPECT_EQ(prcgeterrno(), PRC_EEOF);
    }
}

TEST_F(Stream, ReadClampsToBytesTheBlockHolds) {
    ASSERT_NE(openBlocks({block(pattern(10), 0xFFFFFFFF)}), nullptr);
    EXPECT_EQ(read(0, 100), pattern(10));
    EXPECT_EQ(prcgeterrno(), PRC_EEOF);
}

TEST_F(Stream, NonStreamDataIsRefused) {
    ASSERT_NE(openBlocks({block(pattern(10), 10)}, PRC_OPEN_UPDATE, 0), nullptr);
    EXPECT_EQ(read(0, 4).size(), 0u);
    EXPECT_EQ(prcgeterrno(), PRC_ENOTSTREAM);
    EXPECT_EQ(write(0, pattern(4)), 0u);
    EXPECT_EQ(prcgeterrno(), PRC_ENOTSTREAM);

    const Bytes foreign = block(pattern(4096), 4096, 0x58424C4B); // "XBLK"
    ASSERT_NE(openBlocks({foreign, block(pattern(10), 10)}, PRC_OPEN_UPDATE), nullptr);
    for (uint32_t at : {0u, 4096u}) {
        EXPECT_EQ(read(at, 4).size(), 0u);
        EXPECT_EQ(prcgeterrno(), PRC_ENOTSTREAM);
    }
    EXPECT_EQ(write(0, pattern(4, 0xF0)), 0u);
    EXPECT_EQ(prcgeterrno(), PRC_ENOTSTREAM);
    EXPECT_EQ(bodyOf(prcgetrecord(prc.get(), 0)), foreign);
}

TEST_F(Stream, LastBlockIsWrittenOnlyAsFarAsUsed) {
    ASSERT_NE(createEmpty(), nullptr);
    EXPECT_EQ(write(0, pattern(10)), 10u);
    EXPECT_EQ(prcgetrecord(prc.get(), 0)->datalen, 4104u);
    ASSERT_EQ(prcflush(prc.get()), 0);
    Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 88u + 18u);
    EXPECT_EQ(Bytes(file.begin() + 88, file.end()), block(pattern(10), 10));

    EXPECT_EQ(prcstreamwrite(prc.get(), pattern(5000).data(), 5000), 5000u);
    EXPECT_EQ(prc->streampos, 5010u);
    ASSERT_EQ(prcflush(prc.get()), 0);
    file = readFile(path);
    EXPECT_EQ(get32(file, 78), 96u);
    EXPECT_EQ(get32(file, 86), 96u + 4104u);
    EXPECT_EQ(file.size(), 96u + 4104u + 8u + 914u);

    prc.reset(prcopen(path.c_str(), PRC_OPEN_READ));
    ASSERT_TRUE(prc);
    EXPECT_EQ(read(0, 6000), concat(pattern(10), pattern(5000)));
}

TEST_F(Stream, WriteInsideBlockEndsItsUsedLengthThere) {
    ASSERT_NE(createEmpty(), nullptr);
    ASSERT_EQ(write(0, pattern(100)), 100u);
    ASSERT_EQ(write(20, pattern(5, 0xC0)), 5u);
    EXPECT_EQ(usedOf(prcgetrecord(prc.get(), 0)), 25u);
    EXPECT_EQ(read(0, 100), concat(pattern(20), pattern(5, 0xC0)));
    EXPECT_EQ(prcgeterrno(), PRC_EEOF);
}

TEST_F(Stream, WritePastEndAddsWholeZeroedBlocks) {
    ASSERT_NE(createEmpty(), nullptr);
    ASSERT_EQ(write(5000, pattern(4)), 4u);
    ASSERT_EQ(prcgetnrecords(prc.get()), 2);
    EXPECT_EQ(usedOf(prcgetrecord(prc.get(), 0)), 4096u);
    EXPECT_EQ(usedOf(prcgetrecord(prc.get(), 1)), 908u);
    EXPECT_EQ(read(0, 6000), concat(Bytes(5000, 0), pattern(4)));
}

TEST_F(Stream, WriteGrowsShortenedLastBlockFromFile) {
    ASSERT_NE(openBlocks({block(pattern(10, 7), 10)}, PRC_OPEN_UPDATE), nullptr);
    ASSERT_EQ(write(10, pattern(5000)), 5000u);
    ASSERT_EQ(prcgetnrecords(prc.get()), 2);
    EXPECT_EQ(prcgetrecord(prc.get(), 0)->datalen, 4104u);
    EXPECT_EQ(usedOf(prcgetrecord(prc.get(), 0)), 4096u);
    EXPECT_EQ(read(0, 6000), concat(pattern(10, 7), pattern(5000)));
    ASSERT_EQ(prcflush(prc.get()), 0);
    EXPECT_EQ(fs::file_size(path), 96u + 4104u + 8u + 914u);
}
