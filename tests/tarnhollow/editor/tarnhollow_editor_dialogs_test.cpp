// The real dialogs behind EditorDialogs, as the program shows them: each is opened through
// QtEditorDialogs while a timer finds it on screen, records what it shows and answers it, so
// the test never waits on a modal window.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

#include "tarnhollow/editor/editor_dialogs.h"
#include "tarnhollow/editor/rom_databases_dialog.h"

using namespace tarnhollow;
using namespace tarnhollow::editor;

namespace {

// Calls `show`, which opens a modal dialog and waits for it.  Meanwhile `answer` gets the
// dialog of type Dialog once it is on screen and must close it.  A dialog that never appears
// (or one of another kind) is closed after a few seconds, so a failure cannot hang the test.
template <typename Dialog>
bool WhileShown(const std::function<void()> &show, const std::function<void(Dialog *)> &answer) {
    bool answered = false;
    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<Dialog *>(modal); dialog && dialog->isVisible()) {
            poll.stop();
            answered = true;
            answer(dialog);
        } else if (modal != nullptr && waited.elapsed() > 5000) {
            modal->close();
        }
    });
    poll.start(10);
    show();
    poll.stop();
    return answered;
}

QStringList FilterTexts(QFileDialog *dialog) {
    QStringList texts;
    if (auto *types = dialog->findChild<QComboBox *>("fileTypeCombo")) {
        for (int i = 0; i < types->count(); i++) {
            texts << types->itemText(i);
        }
    }
    return texts;
}

} // namespace

class EditorDialogsTest : public QObject {
    Q_OBJECT

private:
    QtEditorDialogs dialogs;
    QTemporaryDir scratch;

private slots:
    // The dialog of Save As: the install files' filter as shown, the suggested name, and ".prc"
    // added to a name typed without it.
    void saveDialogShowsTheInstallFilesAndAddsTheExtension() {
        QWidget owner;
        QStringList filters, nameFilters;
        QString suggestedName;
        QWidget *parent = nullptr;
        QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
        std::optional<std::filesystem::path> chosen;
        const bool shown = WhileShown<QFileDialog>(
            [&] {
                chosen = dialogs.ChooseFileToSave(&owner, kInstallFilesFilter,
                                                  scratch.filePath("Tarnhollow 1").toStdString());
            },
            [&](QFileDialog *dialog) {
                filters = FilterTexts(dialog);
                nameFilters = dialog->findChild<QFileSystemModel *>()->nameFilters();
                suggestedName = dialog->findChild<QLineEdit *>("fileNameEdit")->text();
                parent = dialog->parentWidget();
                mode = dialog->acceptMode();
                dialog->findChild<QLineEdit *>("fileNameEdit")->setText("Spring");
                QMetaObject::invokeMethod(dialog, "accept");
            });
        QVERIFY(shown);
        QCOMPARE(filters, QStringList({"Flash Install Files (*.prc)"}));
        QCOMPARE(nameFilters, QStringList({"*.prc"}));
        QCOMPARE(suggestedName, QString("Tarnhollow 1"));
        QCOMPARE(parent, &owner);
        QCOMPARE(mode, QFileDialog::AcceptSave);
        QVERIFY(chosen.has_value());
        QCOMPARE(QString::fromStdString(chosen->string()), scratch.filePath("Spring.prc"));
    }

    void openDialogsShowTheirFilterAndCancelToNothing() {
        QStringList filters;
        std::vector<std::filesystem::path> several{"not cancelled"};
        QVERIFY(WhileShown<QFileDialog>(
            [&] { several = dialogs.ChooseFilesToOpen(nullptr, kPalmFilesFilter); },
            [&](QFileDialog *dialog) {
                filters = FilterTexts(dialog);
                dialog->reject();
            }));
        QCOMPARE(filters, QStringList({"Palm Files (*.prc;*.pdb)"}));
        QVERIFY(several.empty());

        std::optional<std::filesystem::path> one{"not cancelled"};
        QVERIFY(WhileShown<QFileDialog>(
            [&] { one = dialogs.ChooseFileToOpen(nullptr, kBitmapFilesFilter); },
            [&](QFileDialog *dialog) {
                filters = FilterTexts(dialog);
                dialog->reject();
            }));
        QCOMPARE(filters, QStringList({"Bitmap Files (*.bmp)"}));
        QVERIFY(!one.has_value());
    }

    // Add from ROM image...: the image dialog offers ROM images and any file, the folder dialog
    // picks folders, and the chooser gives the selected databases on Add and none on Cancel.
    void romImageDialogsAnswerWhatWasChosen() {
        QStringList filters;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        std::optional<std::filesystem::path> image{"not cancelled"}, folder{"not cancelled"};
        QVERIFY(WhileShown<QFileDialog>([&] { image = dialogs.ChooseRomImage(nullptr); },
                                        [&](QFileDialog *dialog) {
                                            filters = FilterTexts(dialog);
                                            dialog->reject();
                                        }));
        QCOMPARE(filters, QStringList({"ROM Images (*.rom)", "All Files (*)"}));
        QVERIFY(!image.has_value());
        QVERIFY(WhileShown<QFileDialog>([&] { folder = dialogs.ChooseFolder(nullptr, "Folder"); },
                                        [&](QFileDialog *dialog) {
                                            mode = dialog->fileMode();
                                            dialog->reject();
                                        }));
        QCOMPARE(mode, QFileDialog::Directory);
        QVERIFY(!folder.has_value());

        const std::vector<RomDatabaseRow> rows = {{0, "Clock", "appl", "cloc", 900, ""},
                                                  {1, "Mail", "appl", "mail", 7100, ""}};
        std::vector<size_t> chosen;
        QVERIFY(WhileShown<RomDatabasesDialog>(
            [&] { chosen = dialogs.ChooseRomDatabases(nullptr, "H.rom", rows, {}); },
            [&](RomDatabasesDialog *dialog) {
                dialog->Table()->topLevelItem(1)->setSelected(true); // "Mail", sorted by name
                dialog->AddButton()->click();
            }));
        QCOMPARE(chosen, std::vector<size_t>({1}));
        QVERIFY(WhileShown<RomDatabasesDialog>(
            [&] { chosen = dialogs.ChooseRomDatabases(nullptr, "H.rom", rows, {}); },
            [&](RomDatabasesDialog *dialog) {
                dialog->Table()->selectAll();
                dialog->reject();
            }));
        QVERIFY(chosen.empty());
    }

    // The core's messages: an OK box captioned "Tarnhollow", owned by the window, with the
    // warning sign when the message is a warning.
    void messagesAreCaptionedBoxesWithTheirIcon() {
        QWidget owner;
        OwnedMessageBoxes boxes(dialogs, &owner);
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
        QVERIFY(WhileShown<QMessageBox>(
            [&] { boxes.Show("The uninstaller file X could not be written.", BoxIcon::Warning); },
            [&](QMessageBox *box) {
                caption = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                parent = box->parentWidget();
                box->button(QMessageBox::Ok)->click();
            }));
        QCOMPARE(caption, QString("Tarnhollow"));
        QCOMPARE(text, QString("The uninstaller file X could not be written."));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(parent, &owner);

        QVERIFY(WhileShown<QMessageBox>([&] { boxes.Show("Logo must be 160x160.", BoxIcon::None); },
                                        [&](QMessageBox *box) {
                                            icon = box->icon();
                                            box->button(QMessageBox::Ok)->click();
                                        }));
        QCOMPARE(icon, QMessageBox::NoIcon);
    }

    void questionsReturnTheButtonChosen() {
        Answer answer = Answer::Cancel;
        QString caption;
        QVERIFY(WhileShown<QMessageBox>(
            [&] { answer = dialogs.AskYesNoCancel(nullptr, "Save changes to X?", "Tarnhollow"); },
            [&](QMessageBox *box) {
                caption = box->windowTitle();
                box->button(QMessageBox::No)->click();
            }));
        QCOMPARE(caption, QString("Tarnhollow"));
        QCOMPARE(answer, Answer::No);

        QVERIFY(WhileShown<QMessageBox>(
            [&] { answer = dialogs.AskOkCancel(nullptr, "Clear?", "Clear Logo"); },
            [&](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); }));
        QCOMPARE(answer, Answer::Ok);
    }
};

QTEST_MAIN(EditorDialogsTest)
#include "tarnhollow_editor_dialogs_test.moc"
