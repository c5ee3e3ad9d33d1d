// FileChooser: the Save As and Open dialogs of a run, behind an interface so that tests answer
// them without a window.
#pragma once

#include <optional>
#include <string>

namespace ostervane::ui {

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // The name as typed; the dialog asks before an existing file of that name is replaced.
    virtual std::optional<std::string> AskSavePath() = 0;
    // One existing file.
    virtual std::optional<std::string> AskOpenPath() = 0;
};

// Qt's file dialogs with the filter "ROM Files (*.rom)" and no default suffix.
class DialogFileChooser final : public FileChooser {
public:
    std::optional<std::string> AskSavePath() override;
    std::optional<std::string> AskOpenPath() override;
};

} // namespace ostervane::ui
