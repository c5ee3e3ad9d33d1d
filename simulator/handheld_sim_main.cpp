// handheld-sim: a simulated handheld sitting in its debugger behind a pseudo-terminal, for
// trying the host programs without a handheld.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "palm_flash_tools_version.h"
#include "simulator/cpu_runner.h"
#include "simulator/debugger.h"
#include "simulator/fault_plan.h"
#include "simulator/pty_transport.h"
#include "simulator/rom_presets.h"

using namespace ostervane::simulator;

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop.store(true);
}

struct Arguments {
    std::string model;
    std::string flashPart;
    std::optional<uint32_t> deviceId;
    std::optional<std::string> manufacturer;
    std::string romFile;
    std::string link;
    uint32_t baud = 0;
    std::optional<uint32_t> reenterAfterMs;
    uint32_t enterDelayMs = 200;
    bool verbose = false;
    bool cpu = false;
    FaultPlan faults;
};

void PrintHelp() {
    std::printf(
        "Usage: handheld-sim --model NAME [--flash PART] [--device-id CODE]\n"
        "                    [--manufacturer TEXT] [--rom FILE] [--link PATH] [--baud N]\n"
        "                    [--fault FAULTS]... [--reenter-after MS] [--enter-delay MS]\n"
        "                    [--cpu] [--verbose]\n"
        "       handheld-sim (--help | --version)\n"
        "\n"
        "Acts as a handheld sitting in its debugger behind a pseudo-terminal until it is\n"
        "killed (SIGTERM or SIGINT end it cleanly).  Prints the terminal's path on stdout.\n"
        "\n"
        "  --model NAME        the handheld to simulate:\n");
    for (const HandheldModel &model : HandheldModels()) {
        std::printf("                        %-8s %s\n", model.name.c_str(),
                    model.description.c_str());
    }
    std::printf("  --flash PART        carry this flash part instead of the model's own:\n");
    for (const FlashPart &part : FlashParts()) {
        std::printf("                        %-17s %s\n", part.name.c_str(),
                    part.description.c_str());
    }
    std::printf(
        "  --device-id CODE    the four-character device id the ROM headers give\n"
        "  --manufacturer TEXT the manufacturer text the ROM headers give (at most 32 bytes)\n"
        "  --rom FILE          put FILE (a ROM image, such as a backup) at the big ROM start\n"
        "                      instead of the model's own big ROM\n"
        "  --link PATH         also make the symbolic link PATH to the terminal (removed on\n"
        "                      exit; an existing symbolic link there is replaced)\n"
        "  --baud N            send the handheld's bytes at N bit/s, 10 bits a byte (default:\n"
        "                      as fast as the terminal takes them)\n"
        "  --fault FAULTS      inject faults into the packets the handheld sends (below)\n"
        "  --reenter-after MS  after the host resumes the handheld, it restarts and is back in\n"
        "                      its debugger MS milliseconds later (default: it stays out)\n"
        "  --enter-delay MS    when a program opens the terminal, the handheld enters its\n"
        "                      debugger and sends its state packet MS ms later (default 200)\n"
        "  --cpu               run the code the host resumes in RAM (a flasher) on an emulated\n"
        "                      68000 or ARM CPU; without it a 68k flasher's work is done\n"
        "                      directly on the flash chips\n"
        "  --verbose           print every request on stderr\n"
        "  -h, --help          show this text\n"
        "  --version           print the program's version\n"
        "\n%s",
        FaultPlan::SyntaxHelp());
}

bool ParseNumber(const char *text, uint32_t *value) {
    char *end = nullptr;
    errno = 0;
    unsigned long number = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number > UINT32_MAX || text[0] == '-') {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

constexpr size_t kManufacturerTextSize = 32;

uint32_t FourCharacterCode(const char *text) {
    uint32_t code = 0;
    for (int i = 0; i < 4; ++i) {
        code = code << 8 | static_cast<uint8_t>(text[i]);
    }
    return code;
}

// 0 to go on, otherwise the exit status (2 for usage errors), or -1 after --help or --version.
int ParseArguments(int argc, char **argv, Arguments *args) {
    auto usage = [](const std::string &why) {
        std::fprintf(stderr, "handheld-sim: %s (see --help)\n", why.c_str());
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            PrintHelp();
            return -1;
        }
        if (option == "--version") {
            std::puts("handheld-sim " PALM_FLASH_TOOLS_VERSION);
            return -1;
        }
        if (option == "--verbose") {
            args->verbose = true;
            continue;
        }
        if (option == "--cpu") {
            args->cpu = true;
            continue;
        }
        if (i + 1 >= argc) {
            return usage(option.starts_with("--") ? option + " needs a value"
                                                  : "unexpected argument " + option);
        }
        const char *value = argv[++i];
        uint32_t number = 0;
        if (option == "--model") {
            args->model = value;
        } else if (option == "--flash") {
            args->flashPart = value;
        } else if (option == "--device-id") {
            if (std::strlen(value) != 4) {
                return usage("--device-id needs four characters");
            }
            args->deviceId = FourCharacterCode(value);
        } else if (option == "--manufacturer") {
            if (std::strlen(value) > kManufacturerTextSize) {
                return usage("--manufacturer takes at most 32 bytes");
            }
            args->manufacturer = value;
        } else if (option == "--rom") {
            args->romFile = value;
        } else if (option == "--link") {
            args->link = value;
        } else if (option == "--fault") {
            std::string error;
            if (!args->faults.Add(value, &error)) {
                return usage(error);
            }
        } else if (option == "--baud" || option == "--reenter-after" || option == "--enter-delay") {
            if (!ParseNumber(value, &number)) {
                return usage(option + " needs a whole number");
            }
            if (option == "--baud") {
                args->baud = number;
            } else if (option == "--reenter-after") {
                args->reenterAfterMs = number;
            } else {
                args->enterDelayMs = number;
            }
        } else {
            return usage("unknown option " + option);
        }
    }
    if (args->model.empty()) {
        return usage("--model is required");
    }
    return 0;
}

const char *CommandName(uint8_t command) {
    switch (command) {
    case kCmdStateRequest:
        return "state";
    case kCmdReadMemory:
        return "read";
    case kCmdWriteMemory:
        return "write";
    case kCmdContinue:
        return "continue";
    default:
        return "unknown";
    }
}

bool MakeLink(const std::string &link, const std::string &target) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "handheld-sim: %s exists and is not a symbolic link\n",
                         link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "handheld-sim: cannot make %s: %s\n", link.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

// The model the arguments ask for, with its flash part, device id and manufacturer swapped as
// asked; 0, or the exit status.
int ChooseModel(const Arguments &args, std::optional<HandheldModel> *chosen) {
    const HandheldModel *preset = FindHandheldModel(args.model);
    if (preset == nullptr) {
        std::fprintf(stderr, "handheld-sim: unknown model %s (see --help)\n", args.model.c_str());
        return 2;
    }
    HandheldModel model = *preset;
    if (!args.flashPart.empty()) {
        model.flashPart = FindFlashPart(args.flashPart);
        if (model.flashPart == nullptr) {
            std::fprintf(stderr, "handheld-sim: unknown flash part %s (see --help)\n",
                         args.flashPart.c_str());
            return 2;
        }
    }
    if (std::string why = FlashHoldsRom(model); !why.empty()) {
        std::fprintf(stderr, "handheld-sim: %s\n", why.c_str());
        return 2;
    }
    if (args.deviceId) {
        model.deviceId = *args.deviceId;
    }
    if (args.manufacturer) {
        model.manufacturer = *args.manufacturer;
    }
    *chosen = std::move(model);
    return 0;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char **argv) {
    Arguments args;
    if (int status = ParseArguments(argc, argv, &args); status != 0) {
        return status < 0 ? 0 : status;
    }
    std::optional<HandheldModel> model;
    if (int status = ChooseModel(args, &model); status != 0) {
        return status;
    }

    HandheldMemory memory = BuildMemory(*model);
    if (!args.romFile.empty()) {
        std::vector<uint8_t> image;
        std::string error = ReadImageFile(args.romFile, &image);
        if (error.empty()) {
            error = LoadBigRomImage(memory, *model, image);
        }
        if (!error.empty()) {
            std::fprintf(stderr, "handheld-sim: %s\n", error.c_str());
            return 1;
        }
    }
    HandheldOptions options;
    options.faults = std::move(args.faults);
    if (args.reenterAfterMs) {
        options.reenterAfter = std::chrono::milliseconds(*args.reenterAfterMs);
    }
    HandheldDebugger handheld(std::move(memory), model->registers, std::move(options));
    M68kCpuRunner m68k;
    ArmCpuRunner arm;
    if (args.cpu) {
        handheld.SetCodeRunner(model->family == RomFamily::Arm ? static_cast<CodeRunner *>(&arm)
                                                               : &m68k);
    }
    if (args.verbose) {
        handheld.SetRequestObserver([](const RequestRecord &r) {
            std::fprintf(stderr, "handheld-sim: %s tid %u address 0x%08X count %u\n",
                         CommandName(r.command), r.transactionId, r.address, r.count);
        });
    }

    PtyOptions ptyOptions;
    ptyOptions.baud = args.baud;
    ptyOptions.announceDelay = std::chrono::milliseconds(args.enterDelayMs);
    PtyTransport transport(handheld, ptyOptions);
    std::string error;
    if (!transport.Open(&error)) {
        std::fprintf(stderr, "handheld-sim: cannot create a pseudo-terminal: %s\n", error.c_str());
        return 1;
    }
    InstallSignalHandlers();
    if (!args.link.empty() && !MakeLink(args.link, transport.SlavePath())) {
        return 1;
    }
    std::printf("%s\n", transport.SlavePath().c_str());
    std::fflush(stdout);

    transport.Run(g_stop);

    if (!args.link.empty()) {
        unlink(args.link.c_str());
    }
    return 0;
}
