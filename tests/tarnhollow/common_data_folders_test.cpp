// Where Tarnhollow looks for its catalogue and components, and which folder it settles on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tarnhollow/common/data_folders.h"

namespace tarnhollow {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;

TEST(DataFolders, CatalogueComesFromTheCurrentFolderThenTheInstallationThenXdg) {
    DataSearchPlaces places{"/home/ann/work", "/opt/pft/bin", "/home/ann/data",
                            "/srv/share:relative/share:/usr/share", "/home/ann"};
    EXPECT_EQ(CatalogueFolderCandidates(places),
              (Paths{"/home/ann/work/Devices", "/opt/pft/share/tarnhollow/Devices",
                     "/home/ann/data/tarnhollow/Devices", "/srv/share/tarnhollow/Devices",
                     "/usr/share/tarnhollow/Devices"}));
    EXPECT_EQ(ComponentFolderCandidates(places),
              (Paths{"/opt/pft/bin/SourcePRCs", "/opt/pft/share/tarnhollow/SourcePRCs",
                     "/home/ann/data/tarnhollow/SourcePRCs", "/srv/share/tarnhollow/SourcePRCs",
                     "/usr/share/tarnhollow/SourcePRCs"}));
}

// Unset or relative XDG variables fall back to the XDG defaults; a folder reached twice (a
// program in /usr/bin and /usr/share in the list) is looked at once.
TEST(DataFolders, XdgDefaultsApplyAndRepeatsAreDropped) {
    DataSearchPlaces places{"/tmp/x", "/usr/bin", "", "", "/home/bo"};
    EXPECT_EQ(
        CatalogueFolderCandidates(places),
        (Paths{"/tmp/x/Devices", "/usr/share/tarnhollow/Devices",
               "/home/bo/.local/share/tarnhollow/Devices", "/usr/local/share/tarnhollow/Devices"}));
    places.dataHome = "not/absolute";
    places.home = "";
    EXPECT_EQ(ComponentFolderCandidates(places),
              (Paths{"/usr/bin/SourcePRCs", "/usr/share/tarnhollow/SourcePRCs",
                     "/usr/local/share/tarnhollow/SourcePRCs"}));
}

class DataFoldersOnDisk : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("tarnhollow-data-folders-" + std::to_string(getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "work");
        fs::create_directories(root / "usr/bin");
        places = {root / "work", root / "usr/bin", (root / "home-data").string(),
                  (root / "empty").string() + ":" + (root / "usr/share").string(), ""};
    }
    void TearDown() override { fs::remove_all(root); }
    void MakeFolder(const fs::path &relative) { fs::create_directories(root / relative); }

    fs::path root;
    DataSearchPlaces places;
};

TEST_F(DataFoldersOnDisk, TheFirstFolderThatExistsIsUsed) {
    MakeFolder("usr/share/tarnhollow/Devices");
    MakeFolder("usr/share/tarnhollow/SourcePRCs");
    MakeFolder("home-data/tarnhollow/Devices");
    DataFolders found = FindDataFolders(places);
    EXPECT_TRUE(found.catalogueFound);
    EXPECT_EQ(found.catalogue, root / "usr/share/tarnhollow/Devices"); // beside the program
    EXPECT_EQ(found.components, root / "usr/share/tarnhollow/SourcePRCs");

    MakeFolder("work/Devices");
    MakeFolder("usr/bin/SourcePRCs");
    found = FindDataFolders(places);
    EXPECT_EQ(found.catalogue, root / "work/Devices");
    EXPECT_EQ(found.components, root / "usr/bin/SourcePRCs");
    EXPECT_EQ(DataFoldersText(found),
              "Device catalogue: " + (root / "work/Devices").string() +
                  "\nComponent databases: " + (root / "usr/bin/SourcePRCs").string() + "\n");
}

// A program moved away from its installation still finds the data through XDG_DATA_DIRS; a file
// of the right name is not a folder.
TEST_F(DataFoldersOnDisk, AMovedProgramFindsTheDataThroughXdgDataDirs) {
    MakeFolder("usr/share/tarnhollow/Devices");
    places.programFolder = root / "elsewhere/bin";
    MakeFolder("elsewhere/bin");
    MakeFolder("elsewhere/share/tarnhollow");
    std::ofstream(root / "elsewhere/share/tarnhollow/Devices") << "not a folder";
    EXPECT_EQ(FindDataFolders(places).catalogue, root / "usr/share/tarnhollow/Devices");
}

TEST_F(DataFoldersOnDisk, NothingFoundKeepsTheFirstPlaceAndSaysSo) {
    const DataFolders found = FindDataFolders(places);
    EXPECT_FALSE(found.catalogueFound);
    EXPECT_FALSE(found.componentsFound);
    EXPECT_EQ(found.catalogue, root / "work/Devices");
    EXPECT_EQ(found.components, root / "usr/bin/SourcePRCs");
    EXPECT_EQ(DataFoldersText(found),
              "Device catalogue: none found\nComponent databases: none found\n");
}

} // namespace
} // namespace tarnhollow
