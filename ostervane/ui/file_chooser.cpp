// The Save As and Open dialogs.
#include "ostervane/ui/file_chooser.h"

#include <QFileDialog>

namespace ostervane::ui {

namespace {

const QString kRomFilter = QStringLiteral("ROM Files (*.rom)");

std::optional<std::string> Chosen(const QString &path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

} // namespace

// No default suffix: the overwrite question is about the name as typed, and ".rom" is added
// afterwards by the run's own rule.
std::optional<std::string> DialogFileChooser::AskSavePath() {
    QFileDialog dialog(nullptr, QString(), QString(), kRomFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return Chosen(dialog.selectedFiles().first());
}

std::optional<std::string> DialogFileChooser::AskOpenPath() {
    QFileDialog dialog(nullptr, QString(), QString(), kRomFilter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return Chosen(dialog.selectedFiles().first());
}

} // namespace ostervane::ui
