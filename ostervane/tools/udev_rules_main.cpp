// Writes the udev rules file for the known USB handhelds to the path given (the build runs it).
#include <cstdio>

#include "ostervane/core/usb_handhelds.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::FILE *out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::string text = ostervane::UdevRulesText();
    bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write the rules\n", argv[1]);
        return 1;
    }
    return 0;
}
