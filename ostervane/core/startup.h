// The run from start to end: the log opened first, the serial ports listed, the operation and
// link chosen, the ROM file (and for a serial backup the port) asked for, a restore's image
// identified, the main window run, the log closed.  The screens are an interface, so that the
// windows, and tests without them, drive the same steps.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ostervane/core/prompter.h"
#include "ostervane/core/rom_image.h"
#include "ostervane/core/run_log.h"
#include "ostervane/core/slot_plan.h"

namespace ostervane {

// Results of the mode choice; anything else cancels the run.
inline constexpr int kModeBackup = 1011;
inline constexpr int kModeRestore = 1010;

struct ModeChoice {
    int result = 0;
    LinkKind link = LinkKind::Usb;
};

// What the main window is given.
struct RunSettings {
    std::string romPath; // absolute
    bool isBackup = true;
    LinkKind link = LinkKind::Usb;
    std::vector<PortEntry> ports; // serial: the ports found (a backup: the one chosen)
    RomImageInfo image;           // a restore's identification; empty for a backup
};

class StartupScreens {
public:
    virtual ~StartupScreens() = default;
    virtual ModeChoice ChooseMode() = 0;
    // A name to save the backup under, as typed; nullopt when cancelled.
    virtual std::optional<std::string> AskSavePath() = 0;
    // An existing image file; nullopt when cancelled.
    virtual std::optional<std::string> AskOpenPath() = 0;
    // The port to back up over; nullopt when cancelled or there is none to pick.
    virtual std::optional<PortEntry> ChoosePort(const std::vector<PortEntry> &ports) = 0;
    // The chosen image could not be read (it went away after it was chosen).
    virtual void ReportUnreadableImage(const std::string &path) = 0;
    // Runs the main window until it closes.
    virtual void RunMainWindow(const RunSettings &settings, RunLog &log) = 0;
};

using PortEnumerator = std::function<std::vector<PortEntry>()>;

// The whole run.  The log at `logPath` is opened "a+" before anything else (so a run cancelled
// at once still creates it and writes nothing) and closed at the end.  Identification asks
// `prompter`.  Returns the settings the main window ran with, nullopt when the run ended early.
std::optional<RunSettings> RunStartup(StartupScreens &screens, RunLog &log, Prompter &prompter,
                                      const PortEnumerator &enumeratePorts,
                                      const std::string &logPath = kLogFileName);

} // namespace ostervane
