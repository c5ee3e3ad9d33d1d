// ReplacingFileWriter: the file at the path changes only on Commit, and nothing is left behind.
#include "ostervane/platform/replace_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <stdlib.h>

namespace ostervane {
namespace {

namespace fs = std::filesystem;

class ReplacingFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "replace-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        target_ = (folder_ / "backup.rom").string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    static std::string Contents(const fs::path &path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Put(const fs::path &path, const std::string &text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    bool Write(ReplacingFileWriter &writer, const std::string &text) {
        return writer.Write(reinterpret_cast<const uint8_t *>(text.data()), text.size());
    }
    size_t EntryCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }

    fs::path folder_;
    std::string target_;
};

TEST_F(ReplacingFileWriterTest, CommitReplacesTheOldFileWhole) {
    Put(target_, "old image");
    fs::permissions(target_, fs::perms(0640));
    ReplacingFileWriter writer;
    ASSERT_TRUE(writer.Open(target_));
    EXPECT_EQ(fs::path(writer.TemporaryPath()).parent_path(), folder_);
    EXPECT_EQ(fs::path(writer.TemporaryPath()).filename().string().front(), '.');
    ASSERT_TRUE(Write(writer, "new "));
    ASSERT_TRUE(Write(writer, "image"));
    EXPECT_EQ(Contents(target_), "old image"); // untouched until Commit
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(Contents(target_), "new image");
    EXPECT_EQ(fs::status(target_).permissions(), fs::perms(0640));
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(ReplacingFileWriterTest, DiscardAndDestructionLeaveTheOldFileAndNoTemporary) {
    Put(target_, "good");
    {
        ReplacingFileWriter writer;
        ASSERT_TRUE(writer.Open(target_));
        ASSERT_TRUE(Write(writer, "partial"));
        writer.Discard();
        EXPECT_FALSE(writer.Commit());
    }
    {
        ReplacingFileWriter abandoned;
        ASSERT_TRUE(abandoned.Open(target_));
        ASSERT_TRUE(Write(abandoned, "partial"));
    }
    EXPECT_EQ(Contents(target_), "good");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(ReplacingFileWriterTest, RefusesPathsItCannotReplace) {
    ReplacingFileWriter writer;
    EXPECT_FALSE(writer.Open((folder_ / "missing" / "x.rom").string()));
    EXPECT_FALSE(writer.Open(folder_.string()));
    EXPECT_FALSE(writer.Write(reinterpret_cast<const uint8_t *>("x"), 1));
    EXPECT_EQ(EntryCount(), 0u);
}

TEST_F(ReplacingFileWriterTest, ThroughASymbolicLinkTheLinkedFileIsReplaced) {
    Put(target_, "old");
    fs::path link = folder_ / "link.rom";
    fs::create_symlink(target_, link);
    ReplacingFileWriter writer;
    ASSERT_TRUE(writer.Open(link.string()));
    ASSERT_TRUE(Write(writer, "new"));
    ASSERT_TRUE(writer.Commit());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(target_), "new");
}

} // namespace
} // namespace ostervane
