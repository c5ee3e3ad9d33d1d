// ostervane-cli restore (--port PATH | --usb [--slots N]) [--yes] FILE: identifies the image,
// then runs one restore job over a serial pipe, or N on handhelds arriving on USB.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ostervane/cli/commands.h"
#include "ostervane/cli/console_session.h"
#include "ostervane/cli/usb_jobs.h"
#include "ostervane/core/rom_image.h"
#include "ostervane/link/serial_pipe.h"
#include "ostervane/payloads/payloads.h"
#include "ostervane/platform/serial_port_list.h"

namespace ostervane::cli {
namespace {

struct RestoreOptions {
    std::string port;
    std::string file;
    bool acceptWarning = false;
    bool usb = false;
    int slots = 0; // 0: not given
    bool help = false;
};

// 1..kMaxUsbSlots, or 0 when `text` is not such a number.
int ParseSlots(const std::string &text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kMaxUsbSlots) {
        return 0;
    }
    return text[0] - '0';
}

// Fills `options`; returns the problem with the arguments, or "" when there is none.
std::string ParseRestoreOptions(const Arguments &args, RestoreOptions *options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options->help = true;
        } else if (arg == "--yes") {
            options->acceptWarning = true;
        } else if (arg == "--usb") {
            options->usb = true;
        } else if (arg == "--slots" || arg.rfind("--slots=", 0) == 0) {
            if (arg == "--slots" && ++i == args.size()) {
                return "--slots needs a number from 1 to 8";
            }
            options->slots = ParseSlots(arg == "--slots" ? args[i] : arg.substr(8));
            if (options->slots == 0) {
                return "--slots needs a number from 1 to 8";
            }
        } else if (arg == "--port") {
            if (++i == args.size()) {
                return "--port needs a device path";
            }
            options->port = args[i];
        } else if (arg.rfind("--port=", 0) == 0) {
            options->port = arg.substr(7);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option \"" + arg + "\"";
        } else if (!options->file.empty()) {
            return "restore takes one FILE";
        } else {
            options->file = arg;
        }
    }
    if (options->help) {
        return "";
    }
    if (options->port.empty() == !options->usb) {
        return "restore needs either --port PATH or --usb";
    }
    if (options->slots != 0 && !options->usb) {
        return "--slots goes with --usb";
    }
    return options->file.empty() ? "restore needs a FILE" : "";
}

// Identification with its boxes on the error output; a family warning is declined unless the
// user said --yes.  Reports a file it cannot read.
std::optional<RomImageInfo> IdentifyForRestore(const RestoreOptions &options) {
    ConsolePrompter prompter(stderr,
                             options.acceptWarning ? PromptAnswer::Ok : PromptAnswer::Cancel);
    RomIdentification result = IdentifyRomImage(options.file, prompter);
    if (result.verdict == RomVerdict::Unreadable) {
        std::fprintf(stderr, "ostervane-cli: cannot read %s\n", options.file.c_str());
    } else if (result.verdict == RomVerdict::Declined) {
        std::fputs("ostervane-cli: restore declined (--yes accepts the warning)\n", stderr);
    }
    if (!result.RunRestore()) {
        return std::nullopt;
    }
    return result.info;
}

JobSettings RestoreSettings(JobSettings settings, const std::string &romPath,
                            const RomImageInfo &image) {
    settings.romFileName = romPath;
    settings.isBackup = false;
    settings.image = ToImageIdentity(image);
    settings.armFlashCode = ArmFlasherPayload();
    settings.flashDatabase = LowLevelFlashPayload();
    return settings;
}

} // namespace

int RunRestoreCommand(const Arguments &args) {
    RestoreOptions options;
    if (std::string problem = ParseRestoreOptions(args, &options); !problem.empty()) {
        return Usage(problem);
    }
    if (options.help) {
        return Usage();
    }
    std::optional<RomImageInfo> image = IdentifyForRestore(options);
    if (!image) {
        return kExitJobFailed;
    }
    std::string romPath = std::filesystem::absolute(options.file).string();
    std::string banner = "-----  Keelstone Restore from file: " + romPath + " ------";
    if (options.usb) {
        return RunUsbCommand(banner, RestoreSettings(JobSettings(), romPath, *image),
                             std::max(options.slots, 1));
    }
    ConsoleSession session(banner, JobTurn::TurnEnd::SlotWaitingAgain);
    JobSettings settings = RestoreSettings(session.BaseSettings(), romPath, *image);
    // The pipe outlives the job, which aborts it when it is destroyed.
    SerialPipe pipe(options.port, PortDisplayName(options.port), 0, nullptr, nullptr);
    DebugPacket job(std::move(settings));
    JobTurn::Outcome outcome = session.Run(job, pipe, [&pipe] { pipe.Start(); });
    if (outcome == JobTurn::Outcome::PortBusy && pipe.LastOpenError() != 0) {
        std::fprintf(stderr, "ostervane-cli: %s: %s\n", options.port.c_str(),
                     std::strerror(pipe.LastOpenError()));
    }
    return ConsoleSession::ExitCode(outcome);
}

} // namespace ostervane::cli
