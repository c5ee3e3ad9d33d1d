// The screens of a run.
#include "ostervane/ui/window_screens.h"

#include "ostervane/core/slot_event.h"
#include "ostervane/core/status_text.h"
#include "ostervane/ui/main_dialog.h"
#include "ostervane/ui/mode_dialog.h"
#include "ostervane/ui/port_select_dialog.h"

namespace ostervane::ui {

WindowScreens::WindowScreens(FileChooser &files, LinkFactory &links, BoxAnswerer answerer)
    : files_(files), links_(links), answerer_(answerer), prompter_(calls_, answerer) {}

ModeChoice WindowScreens::ChooseMode() {
    ModeDialog dialog;
    int result = dialog.exec();
    return {result, dialog.Link()};
}

std::optional<std::string> WindowScreens::AskSavePath() {
    return files_.AskSavePath();
}

std::optional<std::string> WindowScreens::AskOpenPath() {
    return files_.AskOpenPath();
}

std::optional<PortEntry> WindowScreens::ChoosePort(const std::vector<PortEntry> &ports) {
    PortSelectDialog dialog(ports);
    dialog.exec();
    return dialog.Chosen();
}

void WindowScreens::ReportUnreadableImage(const std::string &) {
    prompter_.Ask("Ostervane", JobErrorText(ErrCannotOpenFile), PromptButtons::Ok,
                  PromptIcon::Exclamation);
}

void WindowScreens::RunMainWindow(const RunSettings &settings, RunLog &log) {
    MainDialog dialog(settings, log, links_, answerer_);
    dialog.exec();
}

void RunOstervane() {
    DialogFileChooser files;
    SystemLinkFactory links;
    WindowScreens screens(files, links);
    RunLog log;
    RunStartup(screens, log, screens.UiPrompter(), &SystemSerialPorts);
}

} // namespace ostervane::ui
