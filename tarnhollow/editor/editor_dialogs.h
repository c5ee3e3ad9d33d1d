// Every modal question the editor asks goes through EditorDialogs: file choice, message
// boxes, the database property dialog and the About box.  The program uses the Qt dialogs;
// tests answer through a fake, so no test ever waits on a modal window.
#pragma once

#include <QString>

#include <filesystem>
#include <optional>
#include <vector>

#include "tarnhollow/common/message_boxes.h"
#include "tarnhollow/pages/database_info.h"
#include "tarnhollow/pages/file_filters.h"
#include "tarnhollow/romimport/rom_import.h"

class QWidget;

namespace tarnhollow::editor {

enum class Answer { Ok, Cancel, Yes, No };

class EditorDialogs {
public:
    virtual ~EditorDialogs() = default;

    // Existing files; empty when the user cancelled.
    virtual std::vector<std::filesystem::path> ChooseFilesToOpen(QWidget *owner,
                                                                 const FileFilter &filter) = 0;
    virtual std::optional<std::filesystem::path> ChooseFileToOpen(QWidget *owner,
                                                                  const FileFilter &filter) = 0;
    virtual std::optional<std::filesystem::path>
    ChooseFileToSave(QWidget *owner, const FileFilter &filter,
                     const std::filesystem::path &suggested) = 0;
    // A ROM image file (".rom" offered first, any file allowed).
    virtual std::optional<std::filesystem::path> ChooseRomImage(QWidget *owner) = 0;
    // An existing folder.
    virtual std::optional<std::filesystem::path> ChooseFolder(QWidget *owner,
                                                              const QString &caption) = 0;
    // The databases of a ROM image to add, as indexes of `rows`' `index`; empty when the user
    // cancelled.
    virtual std::vector<size_t> ChooseRomDatabases(QWidget *owner,
                                                   const std::filesystem::path &image,
                                                   const std::vector<RomDatabaseRow> &rows,
                                                   const std::vector<std::string> &problems) = 0;

    // An OK box.
    virtual void Inform(QWidget *owner, const QString &text, const QString &caption,
                        BoxIcon icon = BoxIcon::None) = 0;
    // OK and Cancel; anything but OK counts as Cancel.
    virtual Answer AskOkCancel(QWidget *owner, const QString &text, const QString &caption) = 0;
    // Yes, No and Cancel.
    virtual Answer AskYesNoCancel(QWidget *owner, const QString &text, const QString &caption) = 0;

    virtual void ShowDatabaseInfo(QWidget *owner, const DatabaseInfoTexts &texts) = 0;
    virtual void ShowAbout(QWidget *owner, const QString &catalogueFolderText) = 0;
};

// The real dialogs.
class QtEditorDialogs : public EditorDialogs {
public:
    std::vector<std::filesystem::path> ChooseFilesToOpen(QWidget *owner,
                                                         const FileFilter &filter) override;
    std::optional<std::filesystem::path> ChooseFileToOpen(QWidget *owner,
                                                          const FileFilter &filter) override;
    std::optional<std::filesystem::path>
    ChooseFileToSave(QWidget *owner, const FileFilter &filter,
                     const std::filesystem::path &suggested) override;
    std::optional<std::filesystem::path> ChooseRomImage(QWidget *owner) override;
    std::optional<std::filesystem::path> ChooseFolder(QWidget *owner,
                                                      const QString &caption) override;
    std::vector<size_t> ChooseRomDatabases(QWidget *owner, const std::filesystem::path &image,
                                           const std::vector<RomDatabaseRow> &rows,
                                           const std::vector<std::string> &problems) override;
    void Inform(QWidget *owner, const QString &text, const QString &caption, BoxIcon icon) override;
    Answer AskOkCancel(QWidget *owner, const QString &text, const QString &caption) override;
    Answer AskYesNoCancel(QWidget *owner, const QString &text, const QString &caption) override;
    void ShowDatabaseInfo(QWidget *owner, const DatabaseInfoTexts &texts) override;
    void ShowAbout(QWidget *owner, const QString &catalogueFolderText) override;
};

// The core's message boxes, shown as "Tarnhollow" boxes owned by a window.
class OwnedMessageBoxes : public MessageBoxes {
public:
    OwnedMessageBoxes(EditorDialogs &dialogs, QWidget *owner)
        : m_dialogs(dialogs), m_owner(owner) {}
    void Show(const std::string &text, BoxIcon icon) override;

private:
    EditorDialogs &m_dialogs;
    QWidget *m_owner;
};

// A filter as QFileDialog takes it: the shown text followed by the patterns it matches, which
// the dialog keeps out of sight (QFileDialog::HideNameFilterDetails).
QString QtFilter(const FileFilter &filter);

} // namespace tarnhollow::editor
