// The main frame and its documents: start-up state, menus, new documents, saving, closing with
// the question, reopening from the recent-file list, the About box and the lock indicators.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>

#include <fstream>

#include "editor_test_support.h"
#include "tarnhollow/bitmap_files.h"
#include "tarnhollow/editor/about_dialog.h"
#include "tarnhollow/editor/boot_config.h"
#include "tarnhollow/editor/config_tab.h"
#include "tarnhollow/editor/database_pages.h"
#include "tarnhollow/editor/device_config.h"
#include "tarnhollow/editor/package_sheet.h"

using namespace tarnhollow;
using namespace tarnhollow::editor;
using namespace tarnhollow::editor::testing;

class EditorFrameTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<EditorFixture> fx;
    QTemporaryDir settings;

    static QStringList VisibleMenuTexts(QMenu *menu) {
        QStringList texts;
        for (QAction *action : menu->actions()) {
            if (action->isVisible()) {
                texts << (action->isSeparator() ? QString("-") : action->text());
            }
        }
        return texts;
    }
    QMenu *Menu(int index) const { return fx->frame->menuBar()->actions().at(index)->menu(); }
    // A new document with a device checked and a 10,000-byte database on the RAM list.
    CChildFrame *EditedDocument() {
        CChildFrame *child = fx->frame->OnFileNew();
        CTarnhollowView *view = child->View();
        RowNamed(view->DevicePage()->DeviceList(), "Example Handheld")
            ->setCheckState(0, Qt::Checked);
        view->Sheet()->setCurrentIndex(TabIndex(view, "RAM"));
        fx->dialogs.filesToOpen.push_back({fx->Database("Notes", 10000)});
        QTest::mouseClick(view->RamPage()->AddButton(), Qt::LeftButton);
        return child;
    }

private slots:
    void initTestCase() { IsolateSettings(settings.path()); }
    void init() {
        QSettings(kSettingsOrganisation, kSettingsApplication).clear();
        fx = std::make_unique<EditorFixture>();
    }
    void cleanup() { fx.reset(); }

    void startsWithAnEmptyFrameAtItsPlace() {
        CMainFrame &frame = *fx->frame;
        QCOMPARE(frame.geometry(), QRect(50, 50, 700, 600));
        QCOMPARE(frame.windowTitle(), QString("Tarnhollow"));
        QVERIFY(frame.Frames().empty());
        QCOMPARE(frame.statusBar()->currentMessage(), QString("Ready"));
        QVERIFY(frame.findChild<QMdiArea *>() != nullptr);
    }

    void menusFollowTheDocuments() {
        QCOMPARE(fx->frame->menuBar()->actions().at(0)->text(), QString("&File"));
        QCOMPARE(fx->frame->menuBar()->actions().at(1)->text(), QString("&Help"));
        QCOMPARE(VisibleMenuTexts(Menu(0)),
                 QStringList({"&New", "&Open...", "-", "Recent File", "E&xit"}));
        QCOMPARE(VisibleMenuTexts(Menu(1)), QStringList({"&About Tarnhollow..."}));
        QCOMPARE(Menu(0)->actions().at(0)->shortcut(), QKeySequence("Ctrl+N"));
        QCOMPARE(Menu(0)->actions().at(1)->shortcut(), QKeySequence("Ctrl+O"));

        fx->frame->OnFileNew();
        QCOMPARE(VisibleMenuTexts(Menu(0)),
                 QStringList({"&New", "&Open...", "&Close", "&Save", "Save &As...", "-",
                              "Recent File", "-", "E&xit"}));
        QCOMPARE(Menu(0)->actions().at(3)->shortcut(), QKeySequence("Ctrl+S"));
        fx->frame->OnFileClose();
        QCOMPARE(VisibleMenuTexts(Menu(0)),
                 QStringList({"&New", "&Open...", "-", "Recent File", "E&xit"}));
    }

    void newDocumentsAreNumberedWithANewSummary() {
        CChildFrame *first = fx->frame->OnFileNew();
        QCOMPARE(first->windowTitle(), QString("Tarnhollow 1[*]"));
        QVERIFY(!first->isWindowModified());
        QCOMPARE(first->size(), QSize(600, 475));
        QCOMPARE(first->minimumSize(), first->maximumSize());
        QVERIFY(!(first->windowFlags() & Qt::WindowMaximizeButtonHint));
        CTarnhollowView *view = first->View();
        QCOMPARE(view->AvailableValue()->text(), QString(""));
        QCOMPARE(view->RamRequiredValue()->text(), QString(""));
        QCOMPARE(view->ExpansionRomRequiredValue()->text(), QString(""));
        QCOMPARE(view->PackageSizeValue()->text(), fx->PackageKText(0, false));
        QCOMPARE(view->GetDocument().m_packageName, std::string("Installer"));
        QVERIFY(view->GetDocument().m_createUninstaller);
        QVERIFY2(view->GetDocument().m_installStubs, "before the Remove page was ever shown");
        QCOMPARE(view->GetDocument().m_languageCode, std::string("0"));
        QCOMPARE(view->Sheet()->pos(), QPoint(6, 6));

        CChildFrame *second = fx->frame->OnFileNew();
        QCOMPARE(second->windowTitle(), QString("Tarnhollow 2[*]"));
        QCOMPARE(fx->frame->ActiveFrame(), second);
        RowNamed(second->View()->DevicePage()->DeviceList(), "Example Handheld")
            ->setCheckState(0, Qt::Checked);
        QVERIFY(second->isWindowModified());
    }

    // The main window's caption names the active document, as it is titled at the moment.
    void theCaptionFollowsTheActiveDocument() {
        CMainFrame &frame = *fx->frame;
        CChildFrame *first = frame.OnFileNew();
        QCOMPARE(frame.windowTitle(), QString("Tarnhollow - Tarnhollow 1"));
        CChildFrame *second = frame.OnFileNew();
        QCOMPARE(frame.windowTitle(), QString("Tarnhollow - Tarnhollow 2"));
        frame.MdiArea()->setActiveSubWindow(first);
        QCOMPARE(frame.windowTitle(), QString("Tarnhollow - Tarnhollow 1"));

        fx->dialogs.fileToSave.push_back(fx->Path("Spring.bin"));
        QVERIFY(frame.OnFileSaveAs());
        QCOMPARE(frame.windowTitle(), QString("Tarnhollow - Spring.prc"));
        RowNamed(first->View()->DevicePage()->DeviceList(), "Example Handheld")
            ->setCheckState(0, Qt::Checked);
        QCOMPARE(frame.windowTitle(), QString("Tarnhollow - Spring.prc"));

        fx->dialogs.answers.push_back(Answer::No);
        first->close();
        QTRY_COMPARE(frame.windowTitle(), QString("Tarnhollow - Tarnhollow 2"));
        QVERIFY(frame.OpenDocumentFile(fx->Path("Spring.prc")) != nullptr);
        QCOMPARE(frame.windowTitle(), QString("Tarnhollow - Spring.prc"));
        frame.MdiArea()->closeAllSubWindows();
        QTRY_COMPARE(frame.windowTitle(), QString("Tarnhollow"));
        QVERIFY(second != nullptr);
    }

    void saveCloseAndReopenFromTheRecentFiles() {
        CChildFrame *child = EditedDocument();
        QVERIFY(child->isWindowModified());
        const QString summary = child->View()->PackageSizeValue()->text();
        fx->dialogs.fileToSave.push_back(fx->Path("Spring.bin"));
        QVERIFY(fx->frame->OnFileSave());
        QCOMPARE(fx->dialogs.filters.back(), std::string("Flash Install Files (*.prc)"));
        QCOMPARE(fx->dialogs.suggestions.back(), std::filesystem::path("Tarnhollow 1"));
        QVERIFY(std::filesystem::exists(fx->Path("Spring.prc")));
        QCOMPARE(child->windowTitle(), QString("Spring.prc[*]"));
        QVERIFY(!child->isWindowModified());
        const QString recent = QString::fromStdString(fx->Path("Spring.prc").string());
        QCOMPARE(fx->frame->RecentFileActions().at(0)->text(), "&1 " + recent);
        QVERIFY(fx->frame->RecentFileActions().at(0)->isVisible());
        QCOMPARE(QSettings(kSettingsOrganisation, kSettingsApplication)
                     .value("Recent File List/File1")
                     .toString(),
                 recent);

        fx->frame->OnFileClose();
        QVERIFY2(fx->dialogs.asked.empty(), "nothing unsaved");
        QVERIFY(fx->frame->Frames().empty());

        // A new frame reads the list back from the settings.
        fx->frame = std::make_unique<CMainFrame>(fx->context);
        fx->frame->RecentFileActions().at(0)->trigger();
        QCOMPARE(fx->frame->Frames().size(), size_t(1));
        CChildFrame *reopened = fx->frame->Frames()[0];
        QCOMPARE(reopened->windowTitle(), QString("Spring.prc[*]"));
        QVERIFY(!reopened->isWindowModified());
        CTarnhollowView *view = reopened->View();
        QCOMPARE(RowNamed(view->DevicePage()->DeviceList(), "Example Handheld")->checkState(0),
                 Qt::Checked);
        QCOMPARE(view->AvailableValue()->text(), QString("16064K"));
        QCOMPARE(view->RamRequiredValue()->text(), QString("9K"));
        QCOMPARE(view->ExpansionRomRequiredValue()->text(), QString("9K"));
        QCOMPARE(view->PackageSizeValue()->text(), summary);
        view->Sheet()->setCurrentIndex(TabIndex(view, "RAM"));
        QCOMPARE(RowTexts(view->RamPage()->List(), 1), QStringList({"Notes"}));
        for (int page = 0; page < view->Sheet()->count(); page++) {
            view->Sheet()->setCurrentIndex(page);
        }
        QVERIFY2(!reopened->isWindowModified(), "looking at the pages changes nothing");

        QCOMPARE(fx->frame->OpenDocumentFile(fx->Path("Spring.prc")), reopened);
        QCOMPARE(fx->frame->OpenDocumentFile(fx->Path("./Spring.prc")), reopened);
        QCOMPARE(fx->frame->Frames().size(), size_t(1)); // activated, not opened twice
    }

    void aBootLogoTravelsWithThePackage() {
        CTarnhollowView *view = EditedDocument()->View();
        view->Sheet()->setCurrentIndex(TabIndex(view, "Boot Logo"));
        const auto bitmap = ::tarnhollow::testing::BitmapFile(160, 160, 1);
        fx->dialogs.fileToOpen.push_back(
            ::tarnhollow::testing::WriteBytes(fx->Path("logo.bmp"), bitmap));
        QTest::mouseClick(view->BootPage()->SetButton(), Qt::LeftButton);
        fx->dialogs.fileToSave.push_back(fx->Path("Logo.prc"));
        QVERIFY(fx->frame->OnFileSave());
        fx->frame->OnFileClose();

        CChildFrame *reopened = fx->frame->OpenDocumentFile(fx->Path("Logo.prc"));
        QVERIFY(reopened != nullptr);
        QVERIFY(reopened->Document().m_bootLogoFile != nullptr);
        CTarnhollowView *shown = reopened->View();
        shown->Sheet()->setCurrentIndex(TabIndex(shown, "Boot Logo"));
        QCOMPARE(shown->BootPage()->Picture()->pixmap().size(), QSize(160, 160));
        QCOMPARE(reopened->Document().m_bitmapHolder.fileBytes(), bitmap);
    }

    void closingAModifiedDocumentAsksFirst() {
        CChildFrame *child = EditedDocument();
        QPointer<CChildFrame> watched(child);
        fx->dialogs.answers.push_back(Answer::Cancel);
        fx->frame->OnFileClose();
        QCOMPARE(fx->dialogs.asked.size(), size_t(1));
        QCOMPARE(fx->dialogs.asked[0].text, QString("Save changes to Tarnhollow 1?"));
        QCOMPARE(fx->dialogs.asked[0].caption, QString("Tarnhollow"));
        QVERIFY(!watched.isNull());

        // Yes for a new document asks for a name; cancelling that keeps the window.
        fx->dialogs.answers.push_back(Answer::Yes);
        fx->frame->OnFileClose();
        QVERIFY(!watched.isNull());

        fx->dialogs.answers.push_back(Answer::Yes);
        fx->dialogs.fileToSave.push_back(fx->Path("Kept.prc"));
        fx->frame->OnFileClose();
        QTRY_VERIFY(watched.isNull());
        QVERIFY(std::filesystem::exists(fx->Path("Kept.prc")));

        EditedDocument();
        fx->dialogs.answers.push_back(Answer::Cancel);
        QVERIFY2(!fx->frame->close(), "exit cancelled");
        QCOMPARE(fx->frame->Frames().size(), size_t(1));
        fx->dialogs.answers.push_back(Answer::No);
        QVERIFY(fx->frame->close());
    }

    void aFailedSaveKeepsTheDocumentModified() {
        CChildFrame *child = EditedDocument();
        const std::filesystem::path locked = fx->Path("Locked.prc");
        std::ofstream(locked) << "earlier package";
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
        fx->dialogs.fileToSave.push_back(locked);
        QVERIFY(!fx->frame->OnFileSaveAs());
        QVERIFY(child->isWindowModified());
        QCOMPARE(child->windowTitle(), QString("Tarnhollow 1[*]"));
        QCOMPARE(std::filesystem::file_size(locked), std::uintmax_t(15));
        QVERIFY(fx->frame->RecentFiles().Files().empty());
    }

    // The package is written: the document takes its new name and the warning names the
    // uninstaller that was left alone.
    void aReadOnlyUninstallerDoesNotUndoTheSave() {
        const std::filesystem::path uninstaller = fx->Path("Spring-Uninstaller.prc");
        std::ofstream(uninstaller) << "earlier uninstaller";
        std::filesystem::permissions(uninstaller, std::filesystem::perms::owner_read);
        CChildFrame *child = EditedDocument();
        QPointer<CChildFrame> watched(child);
        fx->dialogs.fileToSave.push_back(fx->Path("Spring.prc"));
        QVERIFY(fx->frame->OnFileSaveAs());
        QCOMPARE(fx->dialogs.informed.size(), size_t(1));
        QCOMPARE(fx->dialogs.informed[0].text, "The uninstaller file " +
                                                   QString::fromStdString(uninstaller.string()) +
                                                   " is read-only and was not written.");
        QCOMPARE(fx->dialogs.informed[0].caption, QString("Tarnhollow"));
        QCOMPARE(fx->dialogs.informed[0].icon, BoxIcon::Warning);
        QCOMPARE(child->windowTitle(), QString("Spring.prc[*]"));
        QVERIFY(!child->isWindowModified());
        QCOMPARE(fx->frame->RecentFiles().Files().size(), size_t(1));

        // Saving the changes on closing goes to the same file and closes the window.
        child->View()->ConfigPage()->AutoInstall()->click();
        QVERIFY(child->isWindowModified());
        fx->dialogs.answers.push_back(Answer::Yes);
        fx->frame->OnFileClose();
        QTRY_VERIFY(watched.isNull());
        QCOMPARE(fx->dialogs.suggestions.size(), size_t(1));
        QCOMPARE(fx->dialogs.informed.size(), size_t(2));
    }

    void openingRefusesWhatIsNoInstallFile() {
        fx->dialogs.fileToOpen.push_back(fx->Database("Plain", 500));
        fx->frame->OnFileOpen();
        QCOMPARE(fx->dialogs.InformedTexts(), QStringList({"Not a Tarnhollow Install File."}));
        QVERIFY(fx->frame->Frames().empty());

        // A recent file that went away is dropped from the list.
        CChildFrame *child = EditedDocument();
        fx->dialogs.fileToSave.push_back(fx->Path("Gone.prc"));
        QVERIFY(fx->frame->OnFileSave());
        child->close();
        std::filesystem::remove(fx->Path("Gone.prc"));
        fx->frame->OnOpenRecentFile(0);
        QCOMPARE(fx->dialogs.InformedTexts().last(), QString("Failed to open document."));
        QVERIFY(fx->frame->RecentFiles().Files().empty());
        QCOMPARE(fx->frame->Frames().size(), size_t(0));
    }

    void aboutBox() {
        QAction *about = Menu(1)->actions().at(0);
        about->trigger();
        QCOMPARE(fx->dialogs.abouts, 1);
        QCOMPARE(fx->dialogs.aboutCatalogueText,
                 QString::fromStdString(fx->context.catalogueFolderText));
        AboutDialog dialog("Device catalogue: /usr/share/tarnhollow/Devices");
        QCOMPARE(dialog.windowTitle(), QString("About Tarnhollow"));
        QCOMPARE(dialog.findChild<QLabel *>("aboutName")->text(), QString("Tarnhollow"));
        QCOMPARE(dialog.findChild<QLabel *>("aboutVersion")->text(), QString("2.5"));
        QCOMPARE(dialog.findChild<QLabel *>("aboutCatalogue")->text(),
                 QString("Device catalogue: /usr/share/tarnhollow/Devices"));
        QVERIFY(!dialog.findChild<QLabel *>("aboutIcon")->pixmap().isNull());
        QVERIFY(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok) != nullptr);
    }

    // The dialog shows the filter's text as it stands and matches its patterns.
    void fileDialogFiltersShowTheirTextsExactly() {
        for (const FileFilter &filter :
             {kPalmFilesFilter, kPreinstallFilter, kBitmapFilesFilter, kInstallFilesFilter}) {
            QFileDialog dialog(nullptr, QString(), QString(), QtFilter(filter));
            dialog.setOptions(QFileDialog::HideNameFilterDetails |
                              QFileDialog::DontUseNativeDialog);
            QComboBox *types = dialog.findChild<QComboBox *>("fileTypeCombo");
            QVERIFY(types != nullptr);
            QCOMPARE(types->itemText(0), QString::fromStdString(filter.shown));
            QStringList patterns;
            for (const std::string &pattern : filter.patterns) {
                patterns << QString::fromStdString(pattern);
            }
            QCOMPARE(dialog.findChild<QFileSystemModel *>()->nameFilters(), patterns);
        }
    }

    void lockIndicatorsShowTheKeyboardLeds() {
        QCOMPARE(fx->frame->CapsIndicator()->text(), QString(""));
        std::filesystem::create_directories(fx->Path("leds") / "input0::capslock");
        std::ofstream(fx->Path("leds") / "input0::capslock" / "brightness") << "1\n";
        fx->frame->UpdateLockIndicators();
        QCOMPARE(fx->frame->CapsIndicator()->text(), QString("CAP"));
        QCOMPARE(fx->frame->NumIndicator()->text(), QString(""));
        QCOMPARE(fx->frame->ScrollIndicator()->text(), QString(""));
    }
};

QTEST_MAIN(EditorFrameTest)
#include "tarnhollow_editor_frame_test.moc"
