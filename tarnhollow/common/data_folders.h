// Where Tarnhollow finds its data: the device catalogue ("Devices") and the component databases
// ("SourcePRCs").  A catalogue in the current folder comes first, so a user's own catalogue
// wins; then the folders of an installation, found relative to the program itself (so an
// unpacked or moved installation works), then the XDG data folders.  Components come from beside
// the program first, as in a build tree, then from the same installation and XDG folders.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarnhollow {

inline constexpr const char *kDevicesFolder = "Devices";
inline constexpr const char *kComponentsFolder = "SourcePRCs";

// What the search depends on, so it can be followed without touching the process.
struct DataSearchPlaces {
    std::filesystem::path currentFolder;
    std::filesystem::path programFolder; // the folder of the running program
    std::string dataHome;                // $XDG_DATA_HOME, empty when unset
    std::string dataDirs;                // $XDG_DATA_DIRS, empty when unset
    std::string home;                    // $HOME, empty when unset
};

// The places of the running process.
DataSearchPlaces DataSearchPlacesOfThisProcess();

// The folder of the running program (the current folder when it cannot be told).
std::filesystem::path ProgramFolder();

// The folders searched, in order, each one at most once.
std::vector<std::filesystem::path> CatalogueFolderCandidates(const DataSearchPlaces &places);
std::vector<std::filesystem::path> ComponentFolderCandidates(const DataSearchPlaces &places);

// The first candidate that is a folder, or empty when none is.
std::filesystem::path FirstExistingFolder(const std::vector<std::filesystem::path> &candidates);

// The folders in use: the first existing candidate, or when none exists the first candidate
// (the catalogue then loads empty and a missing component is reported with that path).
struct DataFolders {
    std::filesystem::path catalogue;
    std::filesystem::path components;
    bool catalogueFound = false;
    bool componentsFound = false;
};
DataFolders FindDataFolders(const DataSearchPlaces &places);

// "Device catalogue: PATH" (or "Device catalogue: none found"), one line without a newline.
std::string CatalogueFolderText(const DataFolders &folders);
// The catalogue line and "Component databases: PATH", each ending in a newline.
std::string DataFoldersText(const DataFolders &folders);

} // namespace tarnhollow
