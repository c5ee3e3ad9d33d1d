// Entry lists in memory: append, look-up, removal, walking, body limits and the error code.
#include "prc_test_support.h"

#include <gtest/gtest.h>

using namespace prctest;

namespace {

// An empty handle on an anonymous file, never flushed: the list is all these tests look at.
class Entries : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(prc = prcfpopen(fp_, PRC_OPEN_CREATE), nullptr); }
    void TearDown() override {
        prcdestroy(prc);
        fclose(fp_);
    }
    std::vector<prc_record_t *> appendThree() {
        return {appendRecord(prc, pattern(1)), appendRecord(prc, pattern(2)),
                appendRecord(prc, pattern(3))};
    }

    FILE *fp_ = tmpfile();
    prc_t *prc = nullptr;
};

} // namespace

TEST_F(Entries, AppendAndRemoveKeepListAndIndexInStep) {
    const auto recs = appendThree();
    EXPECT_EQ(prcgetnrecords(prc), 3);
    EXPECT_EQ(prcgetrecord(prc, 2), recs[2]);
    EXPECT_EQ(prcgetrecord(prc, 3), nullptr);
    EXPECT_EQ(prcgetnextrecord(prc, nullptr), recs[0]);
    EXPECT_EQ(prcgetnextresource(prc, recs[0]), recs[1]);

    EXPECT_EQ(prcremoverecord(prc, recs[1]), recs[1]);
    EXPECT_EQ(recs[1]->next, nullptr);
    EXPECT_EQ(prcgetnrecords(prc), 2);
    EXPECT_EQ(prcgetrecord(prc, 1), recs[2]);
    EXPECT_EQ(prcremoverecord(prc, recs[1]), nullptr);
    EXPECT_EQ(prcgetnrecords(prc), 2);

    // Taking out the last entry, then appending, must link after the new last one.
    EXPECT_EQ(prcremoverecord(prc, recs[2]), recs[2]);
    prc_record_t *added = appendRecord(prc, pattern(9));
    EXPECT_EQ(recs[0]->next, added);
    EXPECT_EQ(prcgetrecord(prc, 1), added);

    EXPECT_EQ(prcremoveresource(prc, recs[0]), recs[0]);
    EXPECT_EQ(prc->records, added);
    EXPECT_EQ(prcgetrecord(prc, 0), added);
    for (prc_record_t *gone : recs)
        prcdestroyrecord(gone);
}

TEST_F(Entries, MapStopsAtFirstNonZeroResult) {
    EXPECT_EQ(prcmaprecords(
                  prc, [](prc_record_t *, void *) { return 5; }, nullptr),
              0);
    appendThree();
    std::vector<uint32_t> seen;
    const auto collectUntilTwo = [](prc_record_t *rec, void *arg) {
        static_cast<std::vector<uint32_t> *>(arg)->push_back(rec->datalen);
        return rec->datalen == 2 ? 42 : 0;
    };
    EXPECT_EQ(prcmapresources(prc, collectUntilTwo, &seen), 42);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2}));
}

TEST_F(Entries, GetResourceReturnsFirstMatch) {
    appendResource(prc, 0x636F6465, 1, pattern(1));
    prc_record_t *first = appendResource(prc, 0x74535452, 1, pattern(2));
    prc_record_t *second = appendResource(prc, 0x74535452, 1, pattern(3));
    EXPECT_EQ(prcgetresource(prc, 0x74535452, 1), first);
    EXPECT_EQ(prcgetresource(prc, 0x74535452, 2), nullptr);
    prcdestroyresource(prcremoveresource(prc, first));
    EXPECT_EQ(prcgetresource(prc, 0x74535452, 1), second);
}

TEST_F(Entries, BodiesAndBlocksAreCopiesOfAtMost65505Bytes) {
    Bytes big = pattern(65506);
    prc_record_t *rec = prcnewrecord();
    ASSERT_EQ(prcresourceset(rec, 0x636F6465, 3, big.data(), 65505), 0);
    big[0] = 0;
    EXPECT_EQ(bodyOf(rec), pattern(65505));
    EXPECT_EQ(prcrecordset(rec, big.data(), 65506), -1);
    EXPECT_EQ(prcgeterrno(), PRC_EBADARG);
    EXPECT_EQ(prcresourceset(rec, 0x74535452, 4, big.data(), 65506), -1);
    EXPECT_EQ(prcgeterrno(), PRC_EBADARG);
    EXPECT_EQ(rec->type, 0x636F6465u);
    EXPECT_EQ(rec->id, 3);
    EXPECT_EQ(bodyOf(rec), pattern(65505));
    ASSERT_EQ(prcrecordset(rec, nullptr, 10), 0);
    EXPECT_EQ(rec->datalen, 0u);
    prcdestroyrecord(rec);

    using Setter = int (*)(prc_t *, const void *, uint32_t);
    for (Setter set : {Setter(prcsetappinfo), Setter(prcsetsortinfo)}) {
        ASSERT_EQ(set(prc, big.data(), 65505), 0);
        EXPECT_EQ(set(prc, big.data(), 65506), -1);
        EXPECT_EQ(prcgeterrno(), PRC_EBADARG);
    }
    EXPECT_EQ(bytesOf(prc->sortinfo, prc->sortinfosize), Bytes(big.begin(), big.end() - 1));
    prcsetappinfo(prc, big.data(), 0);
    EXPECT_EQ(prc->appinfo, nullptr);
    EXPECT_EQ(prc->appinfosize, 0u);
}

TEST(EntryCount, ListIsCappedAt65535AndSurvivesAWriteAndRead) {
    TempDir dir;
    const std::string path = dir.path("full.pdb");
    prc_t *prc = prccreate(path.c_str(), "Full", 0, 0, 0);
    for (int i = 0; i < 65535; ++i)
        ASSERT_NE(prcappendrecord(prc, prcnewrecord()), nullptr);
    prc_record_t *extra = prcnewrecord();
    EXPECT_EQ(prcappendrecord(prc, extra), nullptr);
    EXPECT_EQ(prcgeterrno(), PRC_EBADARG);
    EXPECT_EQ(prcgetnrecords(prc), 65535);
    prcdestroyrecord(extra);
    prcgetrecord(prc, 65534)->uid = 0xABCDEF;
    EXPECT_EQ(prcgetrecord(prc, 65535), nullptr);
    ASSERT_EQ(prcclose(prc), 0);

    EXPECT_EQ(fs::file_size(path), 80u + 8u * 65535u);
    PrcPtr back(prcopen(path.c_str(), PRC_OPEN_READ));
    ASSERT_TRUE(back);
    EXPECT_EQ(prcgetnrecords(back.get()), 65535);
    EXPECT_EQ(prcgetrecord(back.get(), 65534)->uid, 0xABCDEFu);
}

TEST_F(Entries, ErrorCodeDescribesTheLastResettingCall) {
    prc_record_t *rec = prcnewrecord();
    const Bytes big = pattern(65506);
    ASSERT_EQ(prcrecordset(rec, big.data(), 65506), -1);
    // None of these resets the code.
    const uint8_t two[] = {0xFF, 0xFE};
    EXPECT_EQ(prcgeterrno(), PRC_EBADARG);
    prcgetnrecords(prc);
    prcstrerror(0);
    prcbuftouint16(two);
    prcstrpattr("backup");
    prcstrprecordattr("dirty");
    prcfwriteheader(fp_, prc);
    EXPECT_EQ(prcgeterrno(), PRC_EBADARG);
    // A successful resetting call clears it.
    ASSERT_EQ(prcrecordset(rec, big.data(), 10), 0);
    EXPECT_EQ(prcgeterrno(), PRC_ENONE);
    prcdestroyrecord(rec);
}
