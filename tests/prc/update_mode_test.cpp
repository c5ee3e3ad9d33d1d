// Writable handles: the file on disk changes only at a successful flush, and is never left
// longer than what was written.
#include "prc_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>

using namespace prctest;

namespace {

const Bytes kOld = image(Header{.name = "Old"}, {{pattern(5), 1}});
const Bytes kNew = image(Header{.name = "Old"}, {{pattern(5), 1}, {pattern(3), 2}});

size_t filesIn(const fs::path &folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Runs flush with every write that would grow a file beyond 4 KiB failing, even for root.
int flushWithSmallFileLimit(prc_t *prc) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit lowered{4096, saved.rlim_max};
    auto *oldHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &lowered);
    const int result = prcflush(prc);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    return result;
}

} // namespace

TEST(UpdateMode, FileChangesOnlyAtFlush) {
    for (int mode : {PRC_OPEN_UPDATE, 0x04, 0x08}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        TempDir dir;
        const std::string path = dir.path("db.pdb");
        writeFile(path, kOld);
        fs::permissions(path, fs::perms(0640));

        prc_t *prc = prcopen(path.c_str(), mode);
        ASSERT_NE(prc, nullptr);
        appendRecord(prc, pattern(3), 0, 2);
        EXPECT_EQ(readFile(path), kOld);
        ASSERT_EQ(prcflush(prc), 0);
        EXPECT_EQ(readFile(path), kNew);
        EXPECT_EQ(filesIn(dir.root()), 1u);
        EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));

        prcsetname(prc, "Discarded");
        prcdestroy(prc);
        EXPECT_EQ(readFile(path), kNew);
    }
}

TEST(UpdateMode, CreateClaimsNameButKeepsOldContentUntilFlush) {
    TempDir dir;
    const std::string fresh = dir.path("fresh.pdb"), existing = dir.path("existing.pdb");
    prcdestroy(prccreate(fresh.c_str(), "Fresh", 0, 0, 0));
    EXPECT_TRUE(fs::exists(fresh));

    writeFile(existing, kOld);
    prc_t *prc = prcopen(existing.c_str(), PRC_OPEN_CREATE);
    ASSERT_NE(prc, nullptr);
    EXPECT_EQ(prcgetnrecords(prc), 0);
    EXPECT_EQ(prc->version, 1);
    prcdestroy(prc);
    EXPECT_EQ(readFile(existing), kOld);
}

TEST(UpdateMode, FileWithoutWriteBitsRefusesWritableModes) {
    TempDir dir;
    const std::string path = dir.path("locked.pdb");
    writeFile(path, kOld);
    fs::permissions(path, fs::perms(0444));
    for (int mode : {PRC_OPEN_UPDATE, PRC_OPEN_CREATE, 0x04, 0x08}) {
        EXPECT_EQ(prcopen(path.c_str(), mode), nullptr) << "mode " << mode;
        EXPECT_EQ(prcgeterrno(), PRC_EOPEN);
    }
    EXPECT_EQ(prccreate(path.c_str(), "x", 0, 0, 0), nullptr);
    EXPECT_EQ(prcgeterrno(), PRC_EOPEN);
    EXPECT_EQ(readFile(path), kOld);
    EXPECT_TRUE(PrcPtr(prcopen(path.c_str(), PRC_OPEN_READ)));
}

TEST(UpdateMode, FailedFlushKeepsOldContentAndHandle) {
    TempDir dir;
    const std::string path = dir.path("db.pdb");
    writeFile(path, kOld);
    PrcPtr prc(prcopen(path.c_str(), PRC_OPEN_UPDATE));
    ASSERT_TRUE(prc);
    appendRecord(prc.get(), pattern(60000));
    EXPECT_EQ(flushWithSmallFileLimit(prc.get()), -1);
    EXPECT_EQ(readFile(path), kOld);
    EXPECT_EQ(filesIn(dir.root()), 1u);
    ASSERT_EQ(prcflush(prc.get()), 0);
    EXPECT_EQ(fs::file_size(path), kOld.size() + 8 + 60000);
}

TEST(UpdateMode, ShorterSecondFlushLeavesNoStaleBytes) {
    TempDir dir;
    const std::string path = dir.path("db.pdb");
    writeFile(path, kOld);
    PrcPtr prc(prcopen(path.c_str(), PRC_OPEN_UPDATE));
    ASSERT_TRUE(prc);
    prc_record_t *big = appendRecord(prc.get(), pattern(3000));
    ASSERT_EQ(prcflush(prc.get()), 0);
    prcdestroyrecord(prcremoverecord(prc.get(), big));
    ASSERT_EQ(prcflush(prc.get()), 0);
    EXPECT_EQ(readFile(path), kOld);
}

TEST(CallerStream, FlushRewritesInPlaceAndCutsToLength) {
    TempDir dir;
    const std::string path = dir.path("db.pdb");
    writeFile(path, concat(kNew, Bytes(500, 0xEE))); // the junk belongs to the last body
    FILE *fp = fopen(path.c_str(), "r+b");
    prc_t *prc = prcfpopen(fp, PRC_OPEN_UPDATE);
    ASSERT_NE(prc, nullptr);
    prc_record_t *last = prcgetrecord(prc, 1);
    prcrecordset(last, pattern(3).data(), 3);
    ASSERT_EQ(prcflush(prc), 0);
    EXPECT_EQ(readFile(path), kNew);
    prcdestroyrecord(prcremoverecord(prc, last));
    ASSERT_EQ(prcflush(prc), 0);
    EXPECT_EQ(readFile(path), kOld);

    const int fd = fileno(fp);
    prcdestroy(prc);
    EXPECT_NE(fcntl(fd, F_GETFD), -1) << "prcdestroy closed the caller's stream";
    fclose(fp);
}

TEST(ReadOnlyHandle, CloseAndFlushRefuseWithoutCode) {
    TempDir dir;
    const std::string path = dir.path("db.pdb");
    writeFile(path, kOld);
    prc_t *prc = prcopen(path.c_str(), PRC_OPEN_READ);
    ASSERT_NE(prc, nullptr);
    prcsetname(prc, "Changed");
    appendRecord(prc, pattern(8));
    const Bytes tooBig = pattern(70000);
    prcrecordset(prcgetrecord(prc, 0), tooBig.data(), 70000); // leaves code 8
    EXPECT_EQ(prcflush(prc), -1);
    EXPECT_EQ(prcgeterrno(), PRC_ENONE);
    EXPECT_EQ(prcclose(prc), -1);
    EXPECT_EQ(prcgeterrno(), PRC_ENONE);
    EXPECT_EQ(readFile(path), kOld);
}
