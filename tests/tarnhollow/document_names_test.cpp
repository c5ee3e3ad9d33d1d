// Document titles, paths and the recent-file list of the editor.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tarnhollow/document/document_names.h"
#include "tarnhollow/document/recent_files.h"

namespace tarnhollow {
namespace {

namespace fs = std::filesystem;

TEST(DocumentNames, NewDocumentsCountUpAndSavedOnesTakeTheFileName) {
    UntitledNumbering numbering;
    EXPECT_EQ(numbering.NextTitle(), "Tarnhollow 1");
    EXPECT_EQ(numbering.NextTitle(), "Tarnhollow 2");
    EXPECT_EQ(PackagePathFor("/out/MyPkg.bin"), fs::path("/out/MyPkg.prc"));
    EXPECT_EQ(PackagePathFor("/out/MyPkg"), fs::path("/out/MyPkg.prc"));
    EXPECT_EQ(DocumentTitleFor("/out/MyPkg.prc"), "MyPkg.prc");
    EXPECT_EQ(SaveChangesQuestion("Tarnhollow 1"), "Save changes to Tarnhollow 1?");
}

TEST(DocumentNames, SameFileSeesThroughLinksAndDots) {
    std::string pattern = (fs::temp_directory_path() / "names_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;
    std::ofstream(root / "a.prc") << "x";
    fs::create_symlink(root / "a.prc", root / "link.prc");
    EXPECT_TRUE(SameFile(root / "a.prc", root / "link.prc"));
    EXPECT_TRUE(SameFile(root / "a.prc", root / "." / "a.prc"));
    EXPECT_FALSE(SameFile(root / "a.prc", root / "b.prc"));
    EXPECT_TRUE(SameFile(root / "b.prc", root / "b.prc")) << "a path not written yet";
    fs::remove_all(root);
}

TEST(RecentFiles, NewestFirstWithoutRepeatsAndAtMostFour) {
    RecentFileList recent;
    for (const char *path : {"/a.prc", "/b.prc", "/c.prc", "/d.prc", "/e.prc"}) {
        recent.Add(path);
    }
    EXPECT_EQ(recent.Files(), (std::vector<std::string>{"/e.prc", "/d.prc", "/c.prc", "/b.prc"}));
    recent.Add("/c.prc");
    EXPECT_EQ(recent.Files(), (std::vector<std::string>{"/c.prc", "/e.prc", "/d.prc", "/b.prc"}));
    recent.Remove("/e.prc");
    EXPECT_EQ(recent.Files(), (std::vector<std::string>{"/c.prc", "/d.prc", "/b.prc"}));

    recent.Load({"/x.prc", "", "/x.prc", "/y.prc", "/z.prc", "/w.prc", "/v.prc"});
    EXPECT_EQ(recent.Files(), (std::vector<std::string>{"/x.prc", "/y.prc", "/z.prc", "/w.prc"}));
}

TEST(RecentFiles, MenuTextsAreNumberedAndShowAmpersands) {
    EXPECT_EQ(RecentFileMenuText(0, "/home/u/pkg.prc"), "&1 /home/u/pkg.prc");
    EXPECT_EQ(RecentFileMenuText(3, "/R&D/pkg.prc"), "&4 /R&&D/pkg.prc");
}

} // namespace
} // namespace tarnhollow
