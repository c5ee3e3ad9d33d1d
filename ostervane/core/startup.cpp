// The run's steps from the log's opening to its closing.
#include "ostervane/core/startup.h"

#include <filesystem>

#include "ostervane/core/rom_path.h"

namespace ostervane {

namespace {

std::string Absolute(const std::string &path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

std::optional<RunSettings> ChooseBackup(StartupScreens &screens, RunSettings settings) {
    std::optional<std::string> typed = screens.AskSavePath();
    if (!typed) {
        return std::nullopt;
    }
    settings.romPath = Absolute(WithRomExtension(*typed));
    if (settings.link == LinkKind::Serial) {
        std::optional<PortEntry> port = screens.ChoosePort(settings.ports);
        if (!port) {
            return std::nullopt;
        }
        settings.ports = {*port};
    }
    return settings;
}

std::optional<RunSettings> ChooseRestore(StartupScreens &screens, Prompter &prompter,
                                         RunSettings settings) {
    std::optional<std::string> chosen = screens.AskOpenPath();
    if (!chosen) {
        return std::nullopt;
    }
    settings.romPath = Absolute(*chosen);
    RomIdentification identification = IdentifyRomImage(settings.romPath, prompter);
    if (identification.verdict == RomVerdict::Unreadable) {
        screens.ReportUnreadableImage(settings.romPath);
    }
    if (!identification.RunRestore()) {
        return std::nullopt;
    }
    settings.image = identification.info;
    return settings;
}

std::optional<RunSettings> ChooseRun(StartupScreens &screens, Prompter &prompter,
                                     const PortEnumerator &enumeratePorts) {
    RunSettings settings;
    settings.ports = enumeratePorts ? enumeratePorts() : std::vector<PortEntry>{};
    ModeChoice mode = screens.ChooseMode();
    if (mode.result != kModeBackup && mode.result != kModeRestore) {
        return std::nullopt;
    }
    settings.link = mode.link;
    if (settings.link == LinkKind::Usb) {
        settings.ports.clear();
    }
    settings.isBackup = mode.result == kModeBackup;
    return settings.isBackup ? ChooseBackup(screens, std::move(settings))
                             : ChooseRestore(screens, prompter, std::move(settings));
}

} // namespace

std::optional<RunSettings> RunStartup(StartupScreens &screens, RunLog &log, Prompter &prompter,
                                      const PortEnumerator &enumeratePorts,
                                      const std::string &logPath) {
    log.Open(logPath);
    std::optional<RunSettings> settings = ChooseRun(screens, prompter, enumeratePorts);
    if (settings) {
        screens.RunMainWindow(*settings, log);
    }
    log.Close();
    return settings;
}

} // namespace ostervane
