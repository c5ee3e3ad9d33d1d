// --help and --version of the window programs, answered before any window exists so both work
// without a display (over ssh, in a package check).
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

namespace common {

// For the first of -h, --help and --version among the arguments, prints `help` or the text
// `versionText()` gives on stdout and returns the exit status 0; returns -1 when none is given.
template <typename VersionText>
int AnswerInformationOption(int argc, char **argv, const char *help, VersionText versionText) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(help, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs(std::string(versionText()).c_str(), stdout);
            return 0;
        }
    }
    return -1;
}

} // namespace common
