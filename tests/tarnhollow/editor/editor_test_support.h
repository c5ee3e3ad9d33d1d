// Shared pieces of the editor's Qt Test suites: dialogs answered from queues and recorded, a
// scratch folder with Palm databases and bitmaps, the sample catalogue and the components
// folder of the build, and settings kept inside the scratch folder.
#pragma once

#include <QComboBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <prc.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <optional>

#include "tarnhollow/catalogue/device_catalogue.h"
#include "tarnhollow/document/install_file_layout.h"
#include "tarnhollow/document/tarnhollow_doc.h"
#include "tarnhollow/editor/child_frame.h"
#include "tarnhollow/editor/editor_context.h"
#include "tarnhollow/editor/main_frame.h"
#include "tarnhollow/editor/package_sheet.h"
#include "tarnhollow/editor/tarnhollow_view.h"

namespace tarnhollow::editor::testing {

namespace fs = std::filesystem;

class FakeDialogs : public EditorDialogs {
public:
    struct Box {
        QString text;
        QString caption;
        BoxIcon icon = BoxIcon::None;
    };

    std::vector<fs::path> ChooseFilesToOpen(QWidget *, const FileFilter &filter) override {
        filters.push_back(filter.shown);
        return Take(filesToOpen, std::vector<fs::path>{});
    }
    std::optional<fs::path> ChooseFileToOpen(QWidget *, const FileFilter &filter) override {
        filters.push_back(filter.shown);
        return Take(fileToOpen, std::optional<fs::path>{});
    }
    std::optional<fs::path> ChooseFileToSave(QWidget *, const FileFilter &filter,
                                             const fs::path &suggested) override {
        filters.push_back(filter.shown);
        suggestions.push_back(suggested);
        return Take(fileToSave, std::optional<fs::path>{});
    }
    std::optional<fs::path> ChooseRomImage(QWidget *) override {
        return Take(romImage, std::optional<fs::path>{});
    }
    std::optional<fs::path> ChooseFolder(QWidget *, const QString &) override {
        return Take(folder, std::optional<fs::path>{});
    }
    // Records what was offered; answers with the databases named in `romDatabases`.
    std::vector<size_t> ChooseRomDatabases(QWidget *, const fs::path &,
                                           const std::vector<RomDatabaseRow> &rows,
                                           const std::vector<std::string> &problems) override {
        offeredRows.push_back(rows);
        offeredProblems.push_back(problems);
        std::vector<size_t> chosen;
        for (const std::string &name : Take(romDatabases, std::vector<std::string>{})) {
            for (const RomDatabaseRow &row : rows) {
                if (row.name == name) {
                    chosen.push_back(row.index);
                }
            }
        }
        return chosen;
    }
    void Inform(QWidget *, const QString &text, const QString &caption, BoxIcon icon) override {
        informed.push_back({text, caption, icon});
    }
    Answer AskOkCancel(QWidget *, const QString &text, const QString &caption) override {
        asked.push_back({text, caption});
        return Take(answers, Answer::Cancel);
    }
    Answer AskYesNoCancel(QWidget *, const QString &text, const QString &caption) override {
        asked.push_back({text, caption});
        return Take(answers, Answer::Cancel);
    }
    void ShowDatabaseInfo(QWidget *, const DatabaseInfoTexts &texts) override {
        infos.push_back(texts);
    }
    void ShowAbout(QWidget *, const QString &catalogueFolderText) override {
        abouts++;
        aboutCatalogueText = catalogueFolderText;
    }

    QStringList InformedTexts() const {
        QStringList texts;
        for (const Box &box : informed) {
            texts << box.text;
        }
        return texts;
    }

    std::deque<std::vector<fs::path>> filesToOpen;
    std::deque<std::optional<fs::path>> fileToOpen;
    std::deque<std::optional<fs::path>> fileToSave;
    std::deque<Answer> answers;
    std::deque<std::optional<fs::path>> romImage;
    std::deque<std::optional<fs::path>> folder;
    std::deque<std::vector<std::string>> romDatabases; // by name as shown
    std::vector<std::vector<RomDatabaseRow>> offeredRows;
    std::vector<std::vector<std::string>> offeredProblems;
    std::vector<std::string> filters;
    std::vector<fs::path> suggestions;
    std::vector<Box> informed;
    std::vector<Box> asked;
    std::vector<DatabaseInfoTexts> infos;
    int abouts = 0;
    QString aboutCatalogueText;

private:
    // An empty queue answers like a cancelled dialog.
    template <typename T> static T Take(std::deque<T> &queue, T otherwise) {
        if (queue.empty()) {
            return otherwise;
        }
        T front = std::move(queue.front());
        queue.pop_front();
        return front;
    }
};

// Keeps QSettings inside the scratch folder for the whole test program.
inline void IsolateSettings(const QString &folder) {
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings(kSettingsOrganisation, kSettingsApplication).clear();
}

class NoBoxes : public MessageBoxes {
public:
    void Show(const std::string &text, BoxIcon) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// A main frame on the sample catalogue and the build's components, with fake dialogs.
class EditorFixture {
public:
    EditorFixture() {
        catalogue = LoadDeviceCatalogue(TARNHOLLOW_SAMPLE_DEVICES, catalogueBoxes);
        context.catalogue = &catalogue;
        context.catalogueFolderText = std::string("Device catalogue: ") + TARNHOLLOW_SAMPLE_DEVICES;
        context.components = TARNHOLLOW_COMPONENTS_DIR;
        context.dialogs = &dialogs;
        context.ledsFolder = Path("leds");
        context.temporaryRoot = Path("");
        frame = std::make_unique<CMainFrame>(context);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    }
    ~EditorFixture() {
        // Unsaved documents are dropped without a question.
        for (CChildFrame *child : frame->Frames()) {
            child->Document().SetModifiedFlag(false);
        }
        frame.reset();
    }

    fs::path Path(const std::string &name) const {
        return fs::path(scratch.path().toStdString()) / name;
    }

    // A record database of exactly `bytes` bytes (at least 100), in records of at most 60,000.
    fs::path Database(const std::string &name, uint64_t bytes, const char *type = "appl") const {
        const fs::path path = Path(name + ".prc");
        prc_t *db =
            prccreate(path.c_str(), name.c_str(), prcstrtotype(type), prcstrtotype("Test"), 0);
        const uint64_t perRecord = 60000 + 8;
        const uint64_t count = (bytes - 80 + perRecord - 1) / perRecord;
        uint64_t left = bytes - 80 - 8 * count;
        for (uint64_t i = 0; i < count; i++) {
            const uint64_t size = left / (count - i);
            left -= size;
            std::vector<uint8_t> data(size, uint8_t(0x41 + i));
            prc_record_t *record = prcnewrecord();
            prcrecordset(record, data.data(), uint32_t(size));
            prcappendrecord(db, record);
        }
        prcclose(db);
        return path;
    }

    int32_t Component(const char *file) const {
        return int32_t(fs::file_size(fs::path(TARNHOLLOW_COMPONENTS_DIR) / file));
    }
    // "%dk" of the package bytes the summary counts.
    QString PackageKText(int64_t listedBytes, bool withFlashRestore) const {
        int64_t bytes =
            Component(layout::kFlashInitFile) + Component(layout::kPayLoadFile) + listedBytes + 500;
        if (withFlashRestore) {
            bytes += Component(layout::kFlashRestoreFile);
        }
        return QString("%1k").arg((bytes + 1023) / 1024);
    }

    QTemporaryDir scratch;
    NoBoxes catalogueBoxes;
    DeviceCatalogue catalogue;
    FakeDialogs dialogs;
    EditorContext context;
    std::unique_ptr<CMainFrame> frame;
};

// The tab of the sheet whose caption is the text.
inline int TabIndex(CTarnhollowView *view, const QString &caption) {
    for (int i = 0; i < view->Sheet()->count(); i++) {
        if (view->Sheet()->tabText(i) == caption) {
            return i;
        }
    }
    return -1;
}

inline QStringList RowTexts(QTreeWidget *list, int column = 0) {
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); row++) {
        texts << list->topLevelItem(row)->text(column);
    }
    return texts;
}

inline QTreeWidgetItem *RowNamed(QTreeWidget *list, const QString &text, int column = 0) {
    for (int row = 0; row < list->topLevelItemCount(); row++) {
        if (list->topLevelItem(row)->text(column) == text) {
            return list->topLevelItem(row);
        }
    }
    return nullptr;
}

inline QStringList ComboTexts(QComboBox *combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); i++) {
        texts << combo->itemText(i);
    }
    return texts;
}

} // namespace tarnhollow::editor::testing
