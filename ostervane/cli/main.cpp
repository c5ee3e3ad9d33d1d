// ostervane-cli: the command-line companion of Ostervane.  Picks the subcommand and runs it.
#include <cstdio>
#include <string>

#include "ostervane/cli/commands.h"
#include "palm_flash_tools_version.h"

namespace ostervane::cli {
namespace {

struct Command {
    const char *name;
    int (*run)(const Arguments &args);
};

constexpr Command kCommands[] = {
    {"ports", RunPortsCommand},     {"backup", RunBackupCommand}, {"identify", RunIdentifyCommand},
    {"restore", RunRestoreCommand}, {"info", RunInfoCommand},     {"extract", RunExtractCommand},
};

} // namespace

int Usage(const std::string &problem) {
    if (!problem.empty()) {
        std::fprintf(stderr, "ostervane-cli: %s\n", problem.c_str());
    }
    std::FILE *out = problem.empty() ? stdout : stderr;
    std::fputs("usage: ostervane-cli ports\n"
               "       ostervane-cli backup (--port PATH | --usb) [--restart] FILE\n"
               "       ostervane-cli identify FILE\n"
               "       ostervane-cli restore (--port PATH | --usb [--slots N]) [--yes]\n"
               "                             [--only-changed] FILE\n"
               "       ostervane-cli info [--json] FILE\n"
               "       ostervane-cli extract [--name GLOB]... [--type T] [--creator C]\n"
               "                             [--force] FILE DIR\n"
               "       ostervane-cli (--help | --version)\n"
               "\n"
               "  ports     list the serial ports (path and name)\n"
               "  backup    back up the ROM of a handheld in its debugger on the serial port\n"
               "            PATH, or the first to arrive on USB, into FILE (\".rom\" is added\n"
               "            unless FILE ends with it); an interrupted backup of the same\n"
               "            handheld goes on from its FILE.partial, unless --restart is given;\n"
               "            the saved ROM is checked against the checksum its header carries\n"
               "  identify  print what the ROM image FILE is for, which part of it a\n"
               "            restore writes (the whole file, or the big ROM of a whole-card\n"
               "            image) and whether that part's checksum holds, as one JSON\n"
               "            object; exit 0 when it would be restored\n"
               "  restore   write the ROM image FILE into a handheld in its debugger on the\n"
               "            serial port PATH, or into N handhelds (1 to 8, default 1) as they\n"
               "            arrive on USB; --yes accepts a warning that the image's family\n"
               "            cannot be told apart (declined otherwise); --only-changed sends\n"
               "            only the pieces whose checksum differs from the flash's\n"
               "  info      print what the ROM image FILE holds: its card header, OS version,\n"
               "            checksum, identification and databases (--json: as one JSON\n"
               "            object); problems found in the image are listed, and the exit\n"
               "            status is 1 only when the file has no card header\n"
               "  extract   write the databases of the ROM image FILE into DIR as .prc and\n"
               "            .pdb files: those whose name matches a GLOB (any of them), of\n"
               "            type T and creator C; an existing file is kept unless --force\n"
               "\n"
               "  -h, --help  show this text (also after a command)\n"
               "  --version   print the program's version\n",
               out);
    return problem.empty() ? kExitSuccess : kExitUsage;
}

} // namespace ostervane::cli

int main(int argc, char **argv) {
    using namespace ostervane::cli;
    if (argc < 2) {
        return Usage("no command given");
    }
    std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        return Usage();
    }
    if (name == "--version") {
        std::puts("ostervane-cli " PALM_FLASH_TOOLS_VERSION);
        return kExitSuccess;
    }
    Arguments args(argv + 2, argv + argc);
    for (const Command &command : kCommands) {
        if (name == command.name) {
            return command.run(args);
        }
    }
    return Usage("unknown command \"" + name + "\"");
}
