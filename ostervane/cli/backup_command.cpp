// ostervane-cli backup (--port PATH | --usb) [--restart] FILE: one backup job over a serial
// pipe, or on the first handheld to arrive on USB, into FILE.  It goes on with FILE's partial
// file from an earlier, interrupted backup of the same handheld unless --restart is given.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ostervane/cli/commands.h"
#include "ostervane/cli/console_session.h"
#include "ostervane/cli/job_options.h"
#include "ostervane/core/rom_path.h"
#include "ostervane/platform/partial_backup_file.h"
#include "ostervane/platform/serial_pipe.h"
#include "ostervane/platform/serial_port_list.h"

namespace ostervane::cli {
int RunBackupCommand(const Arguments &args) {
    JobOptions options;
    if (std::string problem = ParseJobOptions(args, "backup", &options); !problem.empty()) {
        return Usage(problem);
    }
    if (options.help) {
        return Usage();
    }
    std::string romPath = std::filesystem::absolute(WithRomExtension(options.file)).string();
    std::string banner = LogBannerLine(romPath, true);
    if (options.usb) {
        JobSettings settings;
        settings.romFileName = romPath;
        settings.isBackup = true;
        settings.makeRomFile = NewPartialBackupFile;
        settings.restartBackup = options.restart;
        return RunUsbCommand(banner, std::move(settings), 1);
    }
    ConsoleSession session(banner);

    JobSettings settings = session.BaseSettings();
    settings.romFileName = romPath;
    settings.isBackup = true;
    settings.makeRomFile = NewPartialBackupFile;
    settings.restartBackup = options.restart;
    return session.RunOnSerialPort(std::move(settings), options.port);
}

} // namespace ostervane::cli
