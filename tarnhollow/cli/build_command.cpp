// tarnhollow-cli build: a new document filled through the pages' rules in page order, then saved.
// Names are given in UTF-8 and stored in the handhelds' 8-bit text, as the window does.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tarnhollow/cli/cli_options.h"
#include "tarnhollow/cli/commands.h"
#include "tarnhollow/cli/console_boxes.h"
#include "tarnhollow/common/palm_text.h"
#include "tarnhollow/pages/config_page.h"
#include "tarnhollow/pages/database_lists.h"
#include "tarnhollow/pages/device_page.h"
#include "tarnhollow/pages/remove_page.h"
#include "tarnhollow/pages/size_summary.h"

namespace tarnhollow {

namespace {

namespace fs = std::filesystem;

struct BuildRequest {
    fs::path out;
    fs::path devices;
    fs::path components;
    std::vector<std::string> deviceNames, removeNames;
    std::vector<fs::path> ram, ramUnchecked, rom;
    std::string language, launch, name;
    bool nameGiven = false, noStubs = false, autoInstall = false, eraseRom = false,
         noUninstaller = false;
    fs::path preinstall;
};

} // namespace

const char kBuildUsage[] =
    "usage: tarnhollow-cli build OUT [--devices DIR] [--device NAME]... [--ram FILE]...\n"
    "         [--ram-unchecked FILE]... [--rom FILE]... [--remove NAME]... [--language TEXT]\n"
    "         [--no-stubs] [--auto-install] [--erase-rom] [--launch NAME] [--preinstall FILE]\n"
    "         [--name TEXT] [--no-uninstaller] [--components DIR]\n";

namespace {

bool ParseBuildRequest(const std::vector<std::string> &args, BuildRequest &request) {
    OptionReader reader(args);
    std::string value;
    while (reader.More()) {
        if (reader.Value("--devices", value)) {
            request.devices = value;
        } else if (reader.Value("--device", value)) {
            request.deviceNames.push_back(value);
        } else if (reader.Value("--ram", value)) {
            request.ram.push_back(value);
        } else if (reader.Value("--ram-unchecked", value)) {
            request.ramUnchecked.push_back(value);
        } else if (reader.Value("--rom", value)) {
            request.rom.push_back(value);
        } else if (reader.Value("--remove", value)) {
            request.removeNames.push_back(value);
        } else if (reader.Value("--language", value)) {
            request.language = value;
        } else if (reader.Value("--launch", value)) {
            request.launch = value;
        } else if (reader.Value("--preinstall", value)) {
            request.preinstall = value;
        } else if (reader.Value("--name", value)) {
            request.name = value;
            request.nameGiven = true;
        } else if (reader.Value("--components", value)) {
            request.components = value;
        } else if (reader.Flag("--no-stubs")) {
            request.noStubs = true;
        } else if (reader.Flag("--auto-install")) {
            request.autoInstall = true;
        } else if (reader.Flag("--erase-rom")) {
            request.eraseRom = true;
        } else if (reader.Flag("--no-uninstaller")) {
            request.noUninstaller = true;
        } else if (reader.Positional(value) && request.out.empty()) {
            request.out = value;
        } else {
            return false;
        }
    }
    return !request.out.empty() && !reader.Failed();
}

// The names given (UTF-8, as typed) in the handhelds' 8-bit text, as the window stores what
// the user types.  False, after the message, when one holds a character they cannot.
bool EncodeNames(BuildRequest &request) {
    std::vector<std::string *> names{&request.language, &request.launch, &request.name};
    for (auto *list : {&request.deviceNames, &request.removeNames}) {
        for (std::string &name : *list) {
            names.push_back(&name);
        }
    }
    for (std::string *name : names) {
        PalmTextEncoding palm = PalmTextFromUtf8(*name);
        if (!palm.palm) {
            std::fprintf(stderr, "tarnhollow-cli: %s\n", NoPalmFormText(palm.refused).c_str());
            return false;
        }
        *name = std::move(*palm.palm);
    }
    return true;
}

// A name of the handhelds for a message.
std::string Shown(const std::string &palm) {
    return Utf8FromPalmText(palm);
}

// The Device page: the named rows are checked.
bool CheckDevices(CTarnhollowDoc &doc, const BuildRequest &request, std::string &available) {
    DevicePageRules page(doc);
    std::vector<bool> boxes = page.Initialise();
    std::vector<std::string> rows = page.RowTexts();
    for (const std::string &name : request.deviceNames) {
        bool found = false;
        for (size_t row = 0; row < rows.size(); row++) {
            if (rows[row] == name) {
                boxes[row] = found = true;
            }
        }
        if (!found) {
            std::fprintf(stderr, "tarnhollow-cli: no device \"%s\" in the catalogue\n",
                         Shown(name).c_str());
            return false;
        }
    }
    available = page.OnRowsChanged(boxes);
    if (!page.CanLeave()) {
        std::fprintf(stderr, "tarnhollow-cli: %s\n", kSelectDeviceMessage);
        return false;
    }
    return true;
}

// The RAM page: all are added checked, then the unchecked ones get their boxes cleared.
void AddRamDatabases(CTarnhollowDoc &doc, const BuildRequest &request) {
    AddDatabases(doc, DatabaseList::Ram, request.ram);
    size_t firstUnchecked = doc.m_ramList.size();
    AddDatabases(doc, DatabaseList::Ram, request.ramUnchecked);
    if (request.ramUnchecked.empty()) {
        return;
    }
    std::vector<DatabaseRow> rows = ListRows(doc, DatabaseList::Ram);
    std::vector<bool> boxes;
    for (const DatabaseRow &row : rows) {
        boxes.push_back(row.checked && row.entryIndex < firstUnchecked);
    }
    ApplyRamChecks(doc, boxes);
}

bool ChooseRemovals(CTarnhollowDoc &doc, const BuildRequest &request, std::string &available) {
    RemovePageRules page(doc);
    page.Initialise();
    page.OnSetActive();
    RemovePageView view = page.View();
    std::vector<bool> checked = view.checked;
    for (const std::string &name : request.removeNames) {
        bool found = false;
        for (size_t row = 0; row < view.rows.size(); row++) {
            if (view.rows[row] == name) {
                checked[row] = found = true;
            }
        }
        if (!found) {
            std::fprintf(stderr, "tarnhollow-cli: \"%s\" is not on the Remove list\n",
                         Shown(name).c_str());
            return false;
        }
    }
    page.OnRowsChanged(checked);
    if (!request.language.empty()) {
        size_t index = 0;
        while (index < view.languages.size() && view.languages[index] != request.language) {
            index++;
        }
        if (index == view.languages.size()) {
            std::fprintf(stderr, "tarnhollow-cli: no language \"%s\" for these devices\n",
                         Shown(request.language).c_str());
            return false;
        }
        page.OnLanguageChosen(index);
    }
    if (request.noStubs) {
        page.SetInstallStubs(false);
    }
    available = page.AvailableText();
    return true;
}

bool Configure(CTarnhollowDoc &doc, const BuildRequest &request) {
    if (request.nameGiven) {
        SetPackageName(doc, request.name);
    }
    SetAutoInstall(doc, request.autoInstall);
    SetEraseExpansionRom(doc, request.eraseRom);
    SetCreateUninstaller(doc, !request.noUninstaller);
    if (!request.preinstall.empty() && ChoosePreinstall(doc, request.preinstall).empty()) {
        std::fprintf(stderr, "tarnhollow-cli: %s is not a Palm database\n",
                     request.preinstall.c_str());
        return false;
    }
    if (!request.launch.empty()) {
        std::vector<std::string> items = LaunchListItems(doc);
        if (std::find(items.begin(), items.end(), request.launch) == items.end()) {
            std::fprintf(stderr, "tarnhollow-cli: \"%s\" is not an application of the package\n",
                         Shown(request.launch).c_str());
            return false;
        }
        ChooseLaunch(doc, request.launch);
    }
    return true;
}

void PrintSummary(CTarnhollowDoc &doc, const std::string &available) {
    SizeSummary summary = ComputeSizeSummary(doc);
    std::printf("Available Expansion ROM: %s\n", available.c_str());
    std::printf("RAM Required: %s\n", summary.ramRequired.c_str());
    std::printf("Expansion ROM Required: %s\n", summary.expansionRomRequired.c_str());
    std::printf("Package Size: %s\n", summary.packageSize.c_str());
}

} // namespace

int RunBuild(const std::vector<std::string> &args) {
    BuildRequest request;
    if (!ParseBuildRequest(args, request)) {
        std::fputs(kBuildUsage, stderr);
        return kExitUsage;
    }
    if (!EncodeNames(request)) {
        return kExitFailure;
    }
    const DataFolders found = FindDataFolders(DataSearchPlacesOfThisProcess());
    if (request.devices.empty()) {
        request.devices = found.catalogue;
    }
    if (request.components.empty()) {
        request.components = found.components;
    }
    ConsoleBoxes boxes;
    DeviceCatalogue catalogue = LoadDeviceCatalogue(request.devices, boxes);
    CTarnhollowDoc doc(&catalogue, request.components);
    doc.OnNewDocument();
    std::string available;
    if (!CheckDevices(doc, request, available)) {
        return kExitFailure;
    }
    AddRamDatabases(doc, request);
    AddDatabases(doc, DatabaseList::Rom, request.rom);
    if (!ChooseRemovals(doc, request, available) || !Configure(doc, request)) {
        return kExitFailure;
    }
    if (!doc.OnSaveDocument(request.out, boxes)) {
        return kExitFailure;
    }
    PrintSummary(doc, available);
    return kExitSuccess;
}

} // namespace tarnhollow
