// Byte layouts of written databases, checked byte for byte, and read back into handles.
#include "prc_test_support.h"

#include <gtest/gtest.h>

using namespace prctest;

namespace {

constexpr uint32_t kData = 0x44415441, kTest = 0x74657374, kAppl = 0x6170706C;
const Header kRecordsHeader{.name = "Records",
                            .flags = PRC_FLAGS_BACKUP,
                            .version = 3,
                            .ctime = 11,
                            .mtime = 22,
                            .btime = 33,
                            .modnum = 7};

// A new handle whose header matches kRecordsHeader.
prc_t *createRecords(const std::string &path) {
    prc_t *prc = prccreate(path.c_str(), "Records", kData, kTest, PRC_FLAGS_BACKUP);
    prc->version = 3;
    prc->ctime = 11;
    prc->mtime = 22;
    prc->btime = 33;
    prc->modnum = 7;
    return prc;
}

} // namespace

TEST(Layout, EmptyDatabaseIsHeaderAndGapOnly) {
    TempDir dir;
    const std::string path = dir.path("empty.pdb");
    const uint32_t before = prctime(nullptr);
    ASSERT_EQ(prcclose(prccreate(path.c_str(), "Empty", kData, kTest, PRC_FLAGS_BACKUP)), 0);
    const Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 80u);
    Header h{.name = "Empty", .flags = PRC_FLAGS_BACKUP, .ctime = get32(file, 36)};
    h.mtime = get32(file, 40);
    EXPECT_GE(h.ctime, before);
    EXPECT_LE(h.mtime, prctime(nullptr));
    EXPECT_EQ(file, image(h, {}));
}

TEST(Layout, RecordDatabaseWithAppInfoAndOneRecord) {
    TempDir dir;
    const std::string path = dir.path("records.pdb");
    prc_t *prc = createRecords(path);
    ASSERT_EQ(prcsetappinfo(prc, "\xAA\xBB", 2), 0);
    appendRecord(prc, pattern(34), 0x45, 0x123456);
    ASSERT_EQ(prcclose(prc), 0);

    const Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 124u);
    EXPECT_EQ(get32(file, 52), 88u);
    EXPECT_EQ(get32(file, 56), 0u);
    EXPECT_EQ(get32(file, 78), 90u);
    EXPECT_EQ(file, image(kRecordsHeader, {{pattern(34), 0x123456, 0x45}}, {0xAA, 0xBB}));
}

// Either block present or not, then bodies of 5 and 0 bytes; also read back.
TEST(Layout, InfoBlocksSitBetweenGapAndBodies) {
    for (auto [appsize, sortsize] : {std::pair{0, 0}, {3, 0}, {0, 4}, {3, 4}}) {
        SCOPED_TRACE(testing::Message() << "appinfo " << appsize << ", sortinfo " << sortsize);
        TempDir dir;
        const std::string path = dir.path("blocks.pdb");
        const Bytes appinfo = pattern(appsize, 0xA0), sortinfo = pattern(sortsize, 0xB0);
        prc_t *prc = createRecords(path);
        prcsetappinfo(prc, appinfo.data(), appsize);
        prcsetsortinfo(prc, sortinfo.data(), sortsize);
        appendRecord(prc, pattern(5), 0, 1);
        appendRecord(prc, {}, 0, 2);
        ASSERT_EQ(prcclose(prc), 0);
        EXPECT_EQ(readFile(path),
                  image(kRecordsHeader, {{pattern(5), 1}, {{}, 2}}, appinfo, sortinfo));

        PrcPtr back(prcopen(path.c_str(), PRC_OPEN_READ));
        ASSERT_TRUE(back);
        EXPECT_EQ(prcgeterrno(), PRC_EZERO);
        EXPECT_EQ(bytesOf(back->appinfo, back->appinfosize), appinfo);
        EXPECT_EQ(bytesOf(back->sortinfo, back->sortinfosize), sortinfo);
        EXPECT_EQ(bodyOf(prcgetrecord(back.get(), 0)), pattern(5));
        EXPECT_EQ(prcgetrecord(back.get(), 1)->data, nullptr);
    }
}

TEST(Layout, ResourceDatabaseSharesOffsetForEmptyBodyAndWritesNoBlocks) {
    TempDir dir;
    const std::string path = dir.path("resources.prc");
    prc_t *prc = prccreate(path.c_str(), "Res", kAppl, kTest, PRC_FLAGS_RESOURCE);
    prc->ctime = prc->mtime = 5;
    prcsetappinfo(prc, "ab", 2);
    prcsetsortinfo(prc, "cd", 2);
    appendResource(prc, kData, 1000, pattern(10));
    appendResource(prc, kTest, 1, {});
    appendResource(prc, kAppl, 0, pattern(5, 0x50));
    ASSERT_EQ(prcclose(prc), 0);

    const Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 125u);
    EXPECT_EQ(get32(file, 84), 110u);
    EXPECT_EQ(get32(file, 94), 120u);
    EXPECT_EQ(get32(file, 104), 120u);
    const Header h{
        .name = "Res", .flags = PRC_FLAGS_RESOURCE, .ctime = 5, .mtime = 5, .type = kAppl};
    EXPECT_EQ(file,
              image(h, {{pattern(10), kData, 1000}, {{}, kTest, 1}, {pattern(5, 0x50), kAppl, 0}}));

    PrcPtr back(prcopen(path.c_str(), PRC_OPEN_READ));
    ASSERT_TRUE(back);
    EXPECT_EQ(prcgeterrno(), PRC_EZERO);
    EXPECT_EQ(prcgetresource(back.get(), kTest, 1)->data, nullptr);
    EXPECT_EQ(bodyOf(prcgetresource(back.get(), kAppl, 0)), pattern(5, 0x50));
}

TEST(Layout, NameOf32BytesReadsWholeAndSetNameKeeps31) {
    TempDir dir;
    const std::string path = dir.path("name.pdb");
    const std::string full = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef";
    writeFile(path, image(Header{.name = full}, {}));
    PrcPtr prc(prcopen(path.c_str(), PRC_OPEN_UPDATE));
    ASSERT_TRUE(prc);
    EXPECT_EQ(std::string(prc->name), full);

    EXPECT_EQ(prcsetname(prc.get(), (full + "XYZ").c_str()), 31);
    ASSERT_EQ(prcflush(prc.get()), 0);
    EXPECT_EQ(readFile(path), image(Header{.name = full.substr(0, 31)}, {}));
    EXPECT_EQ(prcsetname(prc.get(), "Short"), 5);
    ASSERT_EQ(prcflush(prc.get()), 0);
    EXPECT_EQ(readFile(path), image(Header{.name = "Short"}, {}));
}

// Every header field, unnamed attribute bits, whole record attribute bytes and 24-bit uids
// survive a read and a write; only the two never-read header words come back as zero.
TEST(Layout, UpdateRewritesEveryFieldUnchanged) {
    TempDir dir;
    const std::string path = dir.path("round.pdb");
    Header h{.name = "Round",
             .flags = 0xFF7E,
             .version = 0xFFFE,
             .ctime = 0xFFFFFFF0,
             .mtime = 0x80000001,
             .btime = 9,
             .modnum = 0xDEADBEEF,
             .type = 0x80818283,
             .creator = 0xF0F1F2F3};
    const std::vector<Entry> entries{{pattern(7), 0xFFFFFF, 0xFF}, {pattern(3, 0x90), 1, 0x0F}};
    const Bytes expected = image(h, entries, pattern(2, 0xA0), pattern(3, 0xB0));
    h.seed = 0x01020304;
    h.nextlist = 0x05060708;
    writeFile(path, image(h, entries, pattern(2, 0xA0), pattern(3, 0xB0)));

    PrcPtr prc(prcopen(path.c_str(), PRC_OPEN_UPDATE));
    ASSERT_TRUE(prc);
    ASSERT_EQ(prcflush(prc.get()), 0);
    EXPECT_EQ(readFile(path), expected);
}

// A memory stream's size comes from seeking; a block with no records after it runs to the end.
TEST(Layout, ReadsFromMemoryStreamToItsEnd) {
    Bytes bytes = image(Header{}, {}, {}, pattern(6));
    FILE *fp = fmemopen(bytes.data(), bytes.size(), "rb");
    PrcPtr prc(prcfpopen(fp, PRC_OPEN_READ));
    ASSERT_TRUE(prc) << "code " << prcgeterrno();
    EXPECT_EQ(bytesOf(prc->sortinfo, prc->sortinfosize), pattern(6));
    prc.reset();
    fclose(fp);
}
