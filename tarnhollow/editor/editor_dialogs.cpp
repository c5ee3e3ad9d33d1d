// The Qt dialogs behind EditorDialogs.
#include "tarnhollow/editor/editor_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "tarnhollow/editor/about_dialog.h"
#include "tarnhollow/editor/database_info_dialog.h"
#include "tarnhollow/editor/rom_databases_dialog.h"

namespace tarnhollow::editor {

namespace fs = std::filesystem;

namespace {

QString PathText(const fs::path &path) {
    return QString::fromStdString(path.string());
}

fs::path PathOf(const QString &text) {
    return fs::path(text.toStdString());
}

QMessageBox::Icon IconFor(BoxIcon icon) {
    return icon == BoxIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
}

} // namespace

QString QtFilter(const FileFilter &filter) {
    QStringList patterns;
    for (const std::string &pattern : filter.patterns) {
        patterns << QString::fromStdString(pattern);
    }
    return QString::fromStdString(filter.shown) + " (" + patterns.join(' ') + ")";
}

std::vector<fs::path> QtEditorDialogs::ChooseFilesToOpen(QWidget *owner, const FileFilter &filter) {
    QStringList chosen =
        QFileDialog::getOpenFileNames(owner, QObject::tr("Open"), QString(), QtFilter(filter),
                                      nullptr, QFileDialog::HideNameFilterDetails);
    std::vector<fs::path> paths;
    for (const QString &path : chosen) {
        paths.push_back(PathOf(path));
    }
    return paths;
}

std::optional<fs::path> QtEditorDialogs::ChooseFileToOpen(QWidget *owner,
                                                          const FileFilter &filter) {
    QString chosen =
        QFileDialog::getOpenFileName(owner, QObject::tr("Open"), QString(), QtFilter(filter),
                                     nullptr, QFileDialog::HideNameFilterDetails);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return PathOf(chosen);
}

std::optional<fs::path> QtEditorDialogs::ChooseFileToSave(QWidget *owner, const FileFilter &filter,
                                                          const fs::path &suggested) {
    QFileDialog dialog(owner, QObject::tr("Save As"), QString(), QtFilter(filter));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("prc");
    if (!suggested.empty()) {
        dialog.selectFile(PathText(suggested));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return PathOf(dialog.selectedFiles().first());
}

std::optional<fs::path> QtEditorDialogs::ChooseRomImage(QWidget *owner) {
    QString chosen = QFileDialog::getOpenFileName(owner, QObject::tr("Open ROM Image"), QString(),
                                                  QObject::tr("ROM Images (*.rom)") + ";;" +
                                                      QObject::tr("All Files (*)"));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return PathOf(chosen);
}

std::optional<fs::path> QtEditorDialogs::ChooseFolder(QWidget *owner, const QString &caption) {
    QString chosen = QFileDialog::getExistingDirectory(owner, caption);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return PathOf(chosen);
}

std::vector<size_t> QtEditorDialogs::ChooseRomDatabases(QWidget *owner, const fs::path &image,
                                                        const std::vector<RomDatabaseRow> &rows,
                                                        const std::vector<std::string> &problems) {
    RomDatabasesDialog dialog(image, rows, problems, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.Chosen();
}

void QtEditorDialogs::Inform(QWidget *owner, const QString &text, const QString &caption,
                             BoxIcon icon) {
    QMessageBox box(IconFor(icon), caption, text, QMessageBox::Ok, owner);
    box.exec();
}

Answer QtEditorDialogs::AskOkCancel(QWidget *owner, const QString &text, const QString &caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    owner);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

Answer QtEditorDialogs::AskYesNoCancel(QWidget *owner, const QString &text,
                                       const QString &caption) {
    QMessageBox box(QMessageBox::Warning, caption, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

void QtEditorDialogs::ShowDatabaseInfo(QWidget *owner, const DatabaseInfoTexts &texts) {
    DatabaseInfoDialog dialog(texts, owner);
    dialog.exec();
}

void QtEditorDialogs::ShowAbout(QWidget *owner, const QString &catalogueFolderText) {
    AboutDialog dialog(catalogueFolderText, owner);
    dialog.exec();
}

void OwnedMessageBoxes::Show(const std::string &text, BoxIcon icon) {
    m_dialogs.Inform(m_owner, QString::fromStdString(text), kMessageCaption, icon);
}

} // namespace tarnhollow::editor
