// Whole runs through the program's windows: the mode dialog clicked, the file dialogs answered
// by a stand-in, the port chosen in its dialog, the main window run to its end, the log closed.
#include <functional>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "ostervane/ui/main_dialog.h"
#include "ostervane/ui/mode_dialog.h"
#include "ostervane/ui/port_select_dialog.h"
#include "ostervane/ui/window_screens.h"
#include "ui_test_support.h"

namespace ostervane::testing {

using namespace ui;

namespace {

class AnsweringFiles final : public FileChooser {
public:
    std::optional<std::string> save, open;
    int asked = 0;
    std::optional<std::string> AskSavePath() override {
        ++asked;
        return save;
    }
    std::optional<std::string> AskOpenPath() override {
        ++asked;
        return open;
    }
};

// Runs `act` on the first modal dialog of type T that comes up.
template <typename T> void OnModal(std::function<void(T *)> act) {
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

void WriteImage(const std::string &path, std::vector<uint8_t> image) {
    QFile file(QString::fromStdString(path));
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(image.data()), qint64(image.size()));
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void aRunCancelledInTheModeDialogLeavesAnEmptyLog() {
        QTemporaryDir dir;
        AnsweringFiles files;
        TestLinks links;
        WindowScreens screens(files, links);
        RunLog log;
        std::string logPath = dir.filePath("Keelstone.log").toStdString();
        OnModal<ModeDialog>([](ModeDialog *mode) { QTest::keyClick(mode, Qt::Key_Escape); });
        QVERIFY(!RunStartup(screens, log, screens.UiPrompter(), {}, logPath));
        QCOMPARE(files.asked, 0);
        QVERIFY(QFile::exists(QString::fromStdString(logPath)));
        QCOMPARE(QFileInfo(QString::fromStdString(logPath)).size(), 0);
    }

    void aSerialBackupOnTheChosenPortRunsToTheEnd() {
        RunFolder run;
        run.log.Close();
        AnsweringFiles files;
        files.save = run.File("m505"); // as typed: the run adds ".rom"
        TestLinks links;
        WindowScreens screens(files, links);
        RunLog log;
        QStringList offered;
        OnModal<ModeDialog>([](ModeDialog *mode) {
            QTest::mouseClick(mode->serialButton(), Qt::LeftButton);
            QTest::mouseClick(mode->backupButton(), Qt::LeftButton);
        });
        OnModal<PortSelectDialog>([&offered](PortSelectDialog *ports) {
            for (int i = 0; i < ports->portList()->count(); ++i) {
                offered << ports->portList()->itemText(i);
            }
            ports->portList()->setCurrentIndex(2);
            QTest::mouseClick(ports->okButton(), Qt::LeftButton);
        });
        std::optional<RunSettings> ran = RunStartup(
            screens, log, screens.UiPrompter(),
            [] {
                return PortsNamed({"COM2", "COM10", "COM1"});
            },
            run.LogPath());
        QVERIFY(ran.has_value());
        QCOMPARE(offered, QStringList({"COM1", "COM10", "COM2"}));
        QCOMPARE(ran->ports, PortsNamed({"COM2"}));
        QCOMPARE(QFileInfo(QString::fromStdString(run.File("m505.rom"))).size(), 0x38000);
        QVERIFY(!log.IsOpen());
        QStringList texts = run.LogTexts();
        QCOMPARE(texts.first(), QString::fromStdString("-----  Keelstone Backup to file: " +
                                                       run.File("m505.rom") + " ------"));
        QVERIFY(texts.contains("COM2: End Backup"));
    }

    void aRestoreAsksIdentificationsQuestionAndStopsWhenDeclined() {
        RunFolder run;
        run.log.Close();
        std::vector<uint8_t> palm3(256, 0);
        palm3[8] = 0xFE, palm3[9] = 0xED, palm3[10] = 0xBE, palm3[11] = 0xEF, palm3[13] = 3;
        std::string maker = "Palm Computing";
        std::copy(maker.begin(), maker.end(), palm3.begin() + 48);
        WriteImage(run.File("palm3.rom"), palm3);
        AnsweringFiles files;
        files.open = run.File("palm3.rom");
        TestLinks links;
        QStringList boxes;
        WindowScreens screens(files, links, [&](const PromptBox &box) {
            boxes << QString::fromStdString(box.caption);
            return PromptAnswer::Cancel;
        });
        RunLog log;
        OnModal<ModeDialog>(
            [](ModeDialog *mode) { QTest::mouseClick(mode->restoreButton(), Qt::LeftButton); });
        QVERIFY(!RunStartup(screens, log, screens.UiPrompter(), {}, run.LogPath()));
        QCOMPARE(boxes, QStringList({"PalmOS 3 ROM"}));
        QVERIFY(run.LogTexts().isEmpty());
    }

    void aUsbRestoreShowsEightSlotsUntilDone() {
        RunFolder run;
        run.log.Close();
        std::vector<uint8_t> mt64(256, 0);
        mt64[8] = 0xEF, mt64[9] = 0xBE, mt64[10] = 0xED, mt64[11] = 0xFE, mt64[12] = 6;
        mt64[132] = '4', mt64[133] = '6', mt64[134] = 'T', mt64[135] = 'M';
        WriteImage(run.File("mt64.rom"), mt64);
        AnsweringFiles files;
        files.open = run.File("mt64.rom");
        TestLinks links;
        WindowScreens screens(files, links);
        RunLog log;
        QStringList statuses;
        OnModal<ModeDialog>(
            [](ModeDialog *mode) { QTest::mouseClick(mode->restoreButton(), Qt::LeftButton); });
        OnModal<MainDialog>([&statuses](MainDialog *main) {
            for (int i = 0; i < 8; ++i) {
                statuses << main->Slot(i).label->text() + " " + main->Slot(i).status->text();
            }
            QTest::mouseClick(main->doneButton(), Qt::LeftButton);
        });
        std::optional<RunSettings> ran = RunStartup(
            screens, log, screens.UiPrompter(), [] { return PortsNamed({"COM1"}); }, run.LogPath());
        QVERIFY(ran.has_value());
        QVERIFY(ran->ports.empty());
        QCOMPARE(ran->image.imageDeviceId, 0x4D543634u);
        QCOMPARE(statuses.size(), 8);
        QCOMPARE(statuses.first(), QStringLiteral("USB 1 Waiting..."));
        QCOMPARE(statuses.last(), QStringLiteral("USB 8 Waiting..."));
    }
};

} // namespace ostervane::testing

QTEST_MAIN(ostervane::testing::StartupTest)
#include "ostervane_ui_startup_test.moc"
