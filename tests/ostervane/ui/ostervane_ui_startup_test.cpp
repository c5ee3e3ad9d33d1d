// Whole runs through the program's windows: the mode dialog clicked, the file dialogs answered
// by a stand-in, the port chosen in its dialog, the main window run to its end over the program's
// own serial links, the log closed; and a restore that identification stops.
#include <functional>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "ostervane/core/rom_checksum.h"
#include "ostervane/ui/mode_dialog.h"
#include "ostervane/ui/port_select_dialog.h"
#include "ostervane/ui/window_screens.h"
#include "tests/simulator/handheld_sim_process.h"
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

// A 16 KB big ROM with a version 5 header giving its own length and checksum, as a backup saves
// it.
std::vector<uint8_t> SmallRomImage() {
    std::vector<uint8_t> image(0x4000);
    for (size_t i = 256; i < image.size(); ++i) {
        image[i] = uint8_t(i * 7 + 3);
    }
    const uint8_t header[] = {0xFE, 0xED, 0xBE, 0xEF, 0x00, 0x05};
    std::copy(std::begin(header), std::end(header), image.begin() + 8);
    image[110] = 0x40; // length 0x4000, big-endian at 108
    std::copy_n("MT64", 4, image.begin() + 130);
    uint16_t crc = RomCrc16(std::span(image).subspan(114), RomCrc16(std::span(image).first(112)));
    image[112] = uint8_t(crc >> 8);
    image[113] = uint8_t(crc);
    return image;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    // The program's own serial links: a real serial pipe on a pseudo-terminal with handheld-sim
    // as the handheld at the other end.
    void aSerialBackupOverAPseudoTerminalSavesTheHandheldsRom() {
        RunFolder run;
        run.log.Close();
        std::vector<uint8_t> image = SmallRomImage();
        WriteImage(run.File("image.rom"), image);
        HandheldSimProcess handheld(HANDHELD_SIM_PATH, {"--model", "68k-v5", "--rom",
                                                        run.File("image.rom"), "--baud", "115200"});
        QVERIFY(!handheld.Path().empty());
        AnsweringFiles files;
        files.save = run.File("saved.ROM");
        SystemLinkFactory links;
        WindowScreens screens(files, links);
        RunLog log;
        OnModal<ModeDialog>([](ModeDialog *mode) {
            QTest::mouseClick(mode->serialButton(), Qt::LeftButton);
            QTest::mouseClick(mode->backupButton(), Qt::LeftButton);
        });
        QStringList offered;
        OnModal<PortSelectDialog>([&offered](PortSelectDialog *ports) {
            for (int i = 0; i < ports->portList()->count(); ++i) {
                offered << ports->portList()->itemText(i);
            }
            ports->portList()->setCurrentIndex(2);
            QTest::mouseClick(ports->okButton(), Qt::LeftButton);
        });
        // Only COM2 leads to a handheld.
        std::vector<PortEntry> ports{{handheld.Path(), "COM2"},
                                     {"/dev/no-such-port-10", "COM10"},
                                     {"/dev/no-such-port-1", "COM1"}};
        std::optional<RunSettings> ran = RunStartup(
            screens, log, screens.UiPrompter(), [ports] { return ports; }, run.LogPath());
        QVERIFY(ran.has_value());
        QCOMPARE(offered, QStringList({"COM1", "COM10", "COM2"}));
        QCOMPARE(ran->ports, std::vector<PortEntry>{ports[0]});
        QVERIFY(!log.IsOpen());
        QFile saved(QString::fromStdString(run.File("saved.ROM")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QByteArray bytes = saved.readAll();
        QCOMPARE(bytes,
                 QByteArray(reinterpret_cast<const char *>(image.data()), qsizetype(image.size())));
        QStringList texts = run.LogTexts();
        QCOMPARE(texts.first(), QString::fromStdString("-----  Keelstone Backup to file: " +
                                                       run.File("saved.ROM") + " ------"));
        QVERIFY(texts.contains("COM2: Start Backup"));
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
};

} // namespace ostervane::testing

QTEST_MAIN(ostervane::testing::StartupTest)
#include "ostervane_ui_startup_test.moc"
