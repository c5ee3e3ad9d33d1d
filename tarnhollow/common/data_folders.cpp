#include "tarnhollow/common/data_folders.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace tarnhollow {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDefaultDataDirs = "/usr/local/share:/usr/share";
constexpr const char *kInstalledFolder = "tarnhollow";

std::string EnvironmentText(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share; nothing without either.
std::vector<fs::path> DataHomeFolders(const DataSearchPlaces &places) {
    fs::path dataHome = places.dataHome;
    if (dataHome.is_absolute()) {
        return {dataHome};
    }
    fs::path home = places.home;
    if (home.is_absolute()) {
        return {home / ".local" / "share"};
    }
    return {};
}

// Each absolute folder of $XDG_DATA_DIRS, or the default list when it is unset or empty.
// Relative entries are ignored, as the XDG rules ask.
std::vector<fs::path> DataDirsFolders(const DataSearchPlaces &places) {
    std::string_view list = places.dataDirs.empty() ? kDefaultDataDirs : places.dataDirs;
    std::vector<fs::path> folders;
    while (!list.empty()) {
        size_t colon = list.find(':');
        fs::path folder(list.substr(0, colon));
        if (folder.is_absolute()) {
            folders.push_back(folder);
        }
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    return folders;
}

// The installation's share folder relative to the program, then the XDG data folders: each
// with "tarnhollow/NAME" appended.
std::vector<fs::path> InstalledFolders(const DataSearchPlaces &places, const char *name) {
    std::vector<fs::path> shareFolders;
    if (!places.programFolder.empty()) {
        shareFolders.push_back(places.programFolder.parent_path() / "share");
    }
    for (const auto &list : {DataHomeFolders(places), DataDirsFolders(places)}) {
        shareFolders.insert(shareFolders.end(), list.begin(), list.end());
    }
    std::vector<fs::path> folders;
    for (const fs::path &share : shareFolders) {
        folders.push_back((share / kInstalledFolder / name).lexically_normal());
    }
    return folders;
}

std::vector<fs::path> WithoutRepeats(const std::vector<fs::path> &folders) {
    std::vector<fs::path> unique;
    for (const fs::path &folder : folders) {
        if (std::find(unique.begin(), unique.end(), folder) == unique.end()) {
            unique.push_back(folder);
        }
    }
    return unique;
}

std::vector<fs::path> FirstThenInstalled(const fs::path &first, const DataSearchPlaces &places,
                                         const char *name) {
    std::vector<fs::path> folders{first.lexically_normal()};
    std::vector<fs::path> installed = InstalledFolders(places, name);
    folders.insert(folders.end(), installed.begin(), installed.end());
    return WithoutRepeats(folders);
}

} // namespace

DataSearchPlaces DataSearchPlacesOfThisProcess() {
    std::error_code error;
    fs::path current = fs::current_path(error);
    return {current, ProgramFolder(), EnvironmentText("XDG_DATA_HOME"),
            EnvironmentText("XDG_DATA_DIRS"), EnvironmentText("HOME")};
}

fs::path ProgramFolder() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        return self.parent_path();
    }
    fs::path current = fs::current_path(error);
    return error ? fs::path() : current;
}

std::vector<fs::path> CatalogueFolderCandidates(const DataSearchPlaces &places) {
    return FirstThenInstalled(places.currentFolder / kDevicesFolder, places, kDevicesFolder);
}

std::vector<fs::path> ComponentFolderCandidates(const DataSearchPlaces &places) {
    return FirstThenInstalled(places.programFolder / kComponentsFolder, places, kComponentsFolder);
}

fs::path FirstExistingFolder(const std::vector<fs::path> &candidates) {
    for (const fs::path &folder : candidates) {
        std::error_code error;
        if (fs::is_directory(folder, error)) {
            return folder;
        }
    }
    return {};
}

DataFolders FindDataFolders(const DataSearchPlaces &places) {
    DataFolders folders;
    std::vector<fs::path> catalogues = CatalogueFolderCandidates(places);
    folders.catalogue = FirstExistingFolder(catalogues);
    folders.catalogueFound = !folders.catalogue.empty();
    if (!folders.catalogueFound) {
        folders.catalogue = catalogues.front();
    }
    std::vector<fs::path> components = ComponentFolderCandidates(places);
    folders.components = FirstExistingFolder(components);
    folders.componentsFound = !folders.components.empty();
    if (!folders.componentsFound) {
        folders.components = components.front();
    }
    return folders;
}

std::string CatalogueFolderText(const DataFolders &folders) {
    return "Device catalogue: " +
           (folders.catalogueFound ? folders.catalogue.string() : std::string("none found"));
}

std::string DataFoldersText(const DataFolders &folders) {
    return CatalogueFolderText(folders) + "\nComponent databases: " +
           (folders.componentsFound ? folders.components.string() : std::string("none found")) +
           "\n";
}

} // namespace tarnhollow
