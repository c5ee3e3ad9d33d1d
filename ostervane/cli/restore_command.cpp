// ostervane-cli restore (--port PATH | --usb [--slots N]) [--yes] [--only-changed] FILE:
// identifies the image, then runs one restore job over a serial pipe, or N on handhelds
// arriving on USB.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ostervane/cli/commands.h"
#include "ostervane/cli/console_session.h"
#include "ostervane/cli/job_options.h"
#include "ostervane/cli/usb_jobs.h"
#include "ostervane/core/rom_image.h"
#include "ostervane/core/rom_path.h"
#include "ostervane/platform/serial_pipe.h"
#include "ostervane/payloads/payloads.h"
#include "ostervane/platform/serial_port_list.h"

namespace ostervane::cli {
namespace {

// Identification with its boxes on the error output; a family warning is declined unless the
// user said --yes.  Reports a file it cannot read.
std::optional<RomImageInfo> IdentifyForRestore(const JobOptions &options) {
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
                            const RomImageInfo &image, bool onlyChanged) {
    settings.romFileName = romPath;
    settings.onlyChanged = onlyChanged;
    settings.isBackup = false;
    settings.image = ToImageIdentity(image);
    settings.armFlashCode = ArmFlasherPayload();
    settings.flashDatabase = LowLevelFlashPayload();
    return settings;
}

} // namespace

int RunRestoreCommand(const Arguments &args) {
    JobOptions options;
    if (std::string problem = ParseJobOptions(args, "restore", &options); !problem.empty()) {
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
    std::string banner = LogBannerLine(romPath, false);
    if (options.usb) {
        return RunUsbCommand(banner,
                             RestoreSettings(JobSettings(), romPath, *image, options.onlyChanged),
                             std::max(options.slots, 1));
    }
    ConsoleSession session(banner, JobTurn::TurnEnd::SlotWaitingAgain);
    JobSettings settings =
        RestoreSettings(session.BaseSettings(), romPath, *image, options.onlyChanged);
    return session.RunOnSerialPort(std::move(settings), options.port);
}

} // namespace ostervane::cli
