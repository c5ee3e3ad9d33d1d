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

} // namespace

int main(int argc, char **argv) {
    tarnhollow::KeepFreedHeapForReuse();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? tarnhollow::kExitUsage : tarnhollow::kExitSuccess;
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
