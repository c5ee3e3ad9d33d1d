// tarnhollow-cli: builds flash install files from the command line and shows what one holds.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "palm_flash_tools_version.h"
#include "tarnhollow/cli/commands.h"
#include "tarnhollow/common/data_folders.h"
#include "tarnhollow/common/heap_reuse.h"

namespace {

const char kUsage[] = "usage: tarnhollow-cli build OUT [options]   (tarnhollow-cli build --help)\n"
                      "       tarnhollow-cli inspect FILE\n";

// Follows the build command's usage (kBuildUsage).
const char kHelpAfterBuildUsage[] =
    "       tarnhollow-cli inspect FILE\n"
    "       tarnhollow-cli (--help | --version)\n"
    "\n"
    "  build    fill a new flash install package as the editor's pages do, in their order,\n"
    "           write it into OUT (and its uninstaller, OUT's name with -Uninstaller)\n"
    "           and print the size summary\n"
    "  inspect  print the settings and databases of the install file FILE as JSON\n"
    "\n"
    "  --devices DIR        the device catalogue folder (default: the first \"Devices\"\n"
    "                       folder found, see --version)\n"
    "  --device NAME        check the catalogue's device NAME (at least one)\n"
    "  --ram FILE           add the database FILE to the RAM list, checked\n"
    "  --ram-unchecked FILE add FILE to the RAM list without installing it\n"
    "  --rom FILE           add the database FILE to the expansion-ROM list\n"
    "  --remove NAME        remove the built-in application NAME\n"
    "  --language TEXT      choose the language TEXT of the Remove page\n"
    "  --no-stubs           install no stubs for the removed applications\n"
    "  --auto-install       set Auto Install\n"
    "  --erase-rom          set Erase Expansion ROM\n"
    "  --launch NAME        launch the package's application NAME after the reset\n"
    "  --preinstall FILE    use the database FILE as the preinstall application\n"
    "  --name TEXT          the package name (default \"Installer\")\n"
    "  --no-uninstaller     write no uninstaller\n"
    "  --components DIR     the folder of the installer's component databases\n"
    "                       (default: the first \"SourcePRCs\" folder found, see --version)\n"
    "  -h, --help           show this text (also after a command)\n"
    "  --version            print the program's version and the data folders in use\n"
    "\n"
    "Names are given in UTF-8.  Exit status: 0 on success, 1 when the package cannot be\n"
    "built, written or read back, 2 on a usage error.\n";

bool IsHelpOption(const char *arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

// "--help" alone, or anywhere after a known command.
bool AsksForHelp(int argc, char **argv) {
    if (IsHelpOption(argv[1])) {
        return true;
    }
    if (std::strcmp(argv[1], "build") != 0 && std::strcmp(argv[1], "inspect") != 0) {
        return false;
    }
    for (int i = 2; i < argc; ++i) {
        if (IsHelpOption(argv[i])) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    tarnhollow::KeepFreedHeapForReuse();
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return tarnhollow::kExitUsage;
    }
    if (AsksForHelp(argc, argv)) {
        std::fputs(tarnhollow::kBuildUsage, stdout);
        std::fputs(kHelpAfterBuildUsage, stdout);
        return tarnhollow::kExitSuccess;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("tarnhollow-cli %s\n%s", PALM_FLASH_TOOLS_VERSION,
                    tarnhollow::DataFoldersText(
                        tarnhollow::FindDataFolders(tarnhollow::DataSearchPlacesOfThisProcess()))
                        .c_str());
        return tarnhollow::kExitSuccess;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "build") {
        return tarnhollow::RunBuild(args);
    }
    if (command == "inspect") {
        return tarnhollow::RunInspect(args);
    }
    std::fprintf(stderr, "tarnhollow-cli: unknown command \"%s\"\n%s", command.c_str(), kUsage);
    return tarnhollow::kExitUsage;
}
