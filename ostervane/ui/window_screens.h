// WindowScreens: the run's screens as the program's windows: ModeDialog, the file dialogs,
// PortSelectDialog and MainDialog, with the file dialogs, the links and the message boxes
// given from outside so that tests drive whole runs.
#pragma once

#include "ostervane/core/startup.h"
#include "ostervane/ui/file_chooser.h"
#include "ostervane/ui/link_factory.h"
#include "ostervane/ui/qt_prompter.h"

namespace ostervane::ui {

class WindowScreens final : public StartupScreens {
public:
    // `answerer`: see QtPrompter (null: real message boxes).
    WindowScreens(FileChooser &files, LinkFactory &links, BoxAnswerer answerer = nullptr);

    ModeChoice ChooseMode() override;
    std::optional<std::string> AskSavePath() override;
    std::optional<std::string> AskOpenPath() override;
    std::optional<PortEntry> ChoosePort(const std::vector<PortEntry> &ports) override;
    void ReportUnreadableImage(const std::string &path) override;
    void RunMainWindow(const RunSettings &settings, RunLog &log) override;

    // The prompter for the UI thread's own boxes (identification).
    Prompter &UiPrompter() { return prompter_; }

private:
    FileChooser &files_;
    LinkFactory &links_;
    BoxAnswerer answerer_;
    UiThreadCall calls_;
    QtPrompter prompter_;
};

// The whole program: the run with the system's ports, file dialogs and links.
void RunOstervane();

} // namespace ostervane::ui
