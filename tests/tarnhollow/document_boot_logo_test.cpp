// Reading .bmp headers for the boot logo, and the boot-logo database built from a bitmap file.
#include <gtest/gtest.h>
#include <prc.h>

#include <cstdlib>

#include "bitmap_files.h"
#include "tarnhollow/document/bitmap_holder.h"
#include "tarnhollow/document/boot_logo_database.h"
#include "tarnhollow/document/stream_files.h"

namespace tarnhollow {
namespace {

namespace fs = std::filesystem;
using testing::BitmapFile;

class BootLogoDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bootlogo_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
};

TEST(BitmapDescription, EveryUsualDepthIsDescribed) {
    for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        std::optional<BitmapDescription> bitmap = DescribeBitmap(BitmapFile(160, 160, bits));
        ASSERT_TRUE(bitmap) << bits << " bits";
        EXPECT_EQ(bitmap->width, 160);
        EXPECT_EQ(bitmap->height, 160);
        EXPECT_EQ(bitmap->bitsPerPixel, bits);
        EXPECT_EQ(bitmap->bytesPerRow, int32_t((160 * bits + 31) / 32 * 4));
    }
    std::optional<BitmapDescription> topDown = DescribeBitmap(BitmapFile(160, -160, 1));
    ASSERT_TRUE(topDown);
    EXPECT_EQ(topDown->height, 160);
    EXPECT_EQ(DescribeBitmap(BitmapFile(160, 161, 8))->height, 161);
}

TEST(BitmapDescription, MalformedFilesAreRefused) {
    std::vector<uint8_t> good = BitmapFile(160, 160, 1);
    std::vector<uint8_t> notBm = good;
    notBm[1] = 'A';
    EXPECT_FALSE(DescribeBitmap(notBm));
    EXPECT_FALSE(DescribeBitmap(std::vector<uint8_t>(good.begin(), good.begin() + 13)));
    std::vector<uint8_t> cut(good.begin(), good.end() - 1);
    EXPECT_FALSE(DescribeBitmap(cut)) << "shorter than its header says";
    std::vector<uint8_t> shortRows = good;
    shortRows[2] = uint8_t(shortRows[2] - 40); // the claimed size leaves out two rows
    EXPECT_FALSE(DescribeBitmap(shortRows)) << "pixel rows beyond the claimed size";
    std::vector<uint8_t> hugeTable = good;
    hugeTable[14 + 32] = 0xFF; // colours used
    hugeTable[14 + 33] = 0xFF;
    EXPECT_FALSE(DescribeBitmap(hugeTable)) << "colour table beyond the file";
    std::vector<uint8_t> badDepth = good;
    badDepth[14 + 14] = 3;
    EXPECT_FALSE(DescribeBitmap(badDepth));
}

TEST(BitmapHolderTest, LoadingReplacesAndAFailureEmpties) {
    BitmapHolder holder;
    EXPECT_EQ(holder.source(), BitmapHolder::Source::None);
    holder.LoadDefaultLogo();
    EXPECT_EQ(holder.source(), BitmapHolder::Source::DefaultLogo);
    std::vector<uint8_t> file = BitmapFile(160, 160, 4);
    ASSERT_TRUE(holder.LoadBytes(file));
    EXPECT_EQ(holder.fileBytes(), file);
    EXPECT_EQ(holder.description().bitsPerPixel, 4);
    EXPECT_FALSE(holder.LoadBytes({'B', 'M'}));
    EXPECT_EQ(holder.source(), BitmapHolder::Source::None);
    EXPECT_TRUE(holder.fileBytes().empty());
    EXPECT_FALSE(holder.LoadFile("/nonexistent/logo.bmp"));
}

TEST_F(BootLogoDatabaseTest, HoldsTheFileUnchangedInOneResource) {
    std::vector<uint8_t> file(1000);
    for (size_t i = 0; i < file.size(); i++) {
        file[i] = uint8_t(i * 31);
    }
    FileHandle database = MakeBootLogoDatabase(file, root_);
    ASSERT_TRUE(database);
    EXPECT_TRUE(fs::is_empty(root_)) << "the private build folder is gone";
    prc_t *prc = prcfpopen(database.get(), PRC_OPEN_READ);
    ASSERT_NE(prc, nullptr);
    EXPECT_STREQ(prc->name, "InstallBootBitmaps");
    EXPECT_EQ(prc->type, prcstrtotype("bbmp"));
    EXPECT_EQ(prc->creator, prcstrtotype("JFft"));
    EXPECT_EQ(prc->flags & PRC_FLAGS_RESOURCE, PRC_FLAGS_RESOURCE);
    EXPECT_EQ(prcgetnrecords(prc), 1);
    prc_record_t *logo = prcgetresource(prc, prcstrtotype("bbmp"), 1);
    ASSERT_NE(logo, nullptr);
    ASSERT_EQ(logo->datalen, 1000u);
    EXPECT_EQ(std::vector<uint8_t>(logo->data, logo->data + logo->datalen), file);
    prcdestroy(prc);

    // The copy is as long as the database the library writes for the same resource.
    const fs::path reference = root_ / "reference.prc";
    prc_t *same = prccreate(reference.c_str(), "InstallBootBitmaps", prcstrtotype("bbmp"),
                            prcstrtotype("JFft"), PRC_FLAGS_RESOURCE);
    prc_record_t *resource = prcnewresource();
    prcresourceset(resource, prcstrtotype("bbmp"), 1, file.data(), uint32_t(file.size()));
    prcappendresource(same, resource);
    ASSERT_EQ(prcclose(same), 0);
    EXPECT_EQ(*StreamSize(database.get()), int64_t(fs::file_size(reference)));
}

TEST_F(BootLogoDatabaseTest, NeverTouchesAFileOfTheBuildNameInTheCurrentFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(root_);
    testing::WriteBytes(root_ / kBootLogoBuildFile, {'m', 'i', 'n', 'e'});
    FileHandle database = MakeBootLogoDatabase(BitmapFile(160, 160, 1), root_);
    fs::current_path(before);
    EXPECT_TRUE(database);
    EXPECT_EQ(fs::file_size(root_ / kBootLogoBuildFile), 4u);
}

TEST_F(BootLogoDatabaseTest, AnUnusableTemporaryFolderGivesNoDatabase) {
    EXPECT_FALSE(MakeBootLogoDatabase(BitmapFile(160, 160, 1), root_ / "missing"));
}

} // namespace
} // namespace tarnhollow
