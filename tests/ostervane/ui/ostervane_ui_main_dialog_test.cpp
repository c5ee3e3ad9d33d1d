// MainDialog with simulated handhelds behind its links: the slots a run shows, busy and
// failing ports, a whole serial backup, a USB backup, log lines from slots finishing together,
// and closing the window while jobs run, wait for a handheld, or wait for a message box.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "ostervane/core/slot_event.h"
#include "ostervane/ui/main_dialog.h"
#include "ostervane/ui/qt_prompter.h"
#include "ui_test_support.h"

namespace ostervane::testing {

using ui::MainDialog;

namespace {

RunSettings Restore(LinkKind link, std::vector<PortEntry> ports, const std::string &rom) {
    RunSettings settings;
    settings.romPath = rom;
    settings.isBackup = false;
    settings.link = link;
    settings.ports = std::move(ports);
    return settings;
}

RunSettings Backup(LinkKind link, std::vector<PortEntry> ports, const std::string &rom) {
    RunSettings settings = Restore(link, std::move(ports), rom);
    settings.isBackup = true;
    return settings;
}

QStringList ShownLabels(const MainDialog &dialog) {
    QStringList labels;
    for (int i = 0; i < 8; ++i) {
        if (dialog.Slot(i).label->isVisible()) {
            labels << dialog.Slot(i).label->text();
        }
    }
    return labels;
}

// The jobs' message boxes on the screen, in the order they appeared.
class BoxWatcher {
public:
    BoxWatcher() {
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, [this] { Look(); });
        poll_.start();
    }
    QList<QPointer<QMessageBox>> boxes;
    int ShownCount() const {
        return static_cast<int>(std::count_if(
            boxes.begin(), boxes.end(), [](const auto &box) { return box && box->isVisible(); }));
    }

private:
    void Look() {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (box != nullptr && box->isVisible() && !boxes.contains(box)) {
                boxes << box;
            }
        }
    }
    QTimer poll_;
};

// Passes every call on to a slot and notes the thread it came on.
class ThreadCheckingSlot final : public DeviceSlot {
public:
    explicit ThreadCheckingSlot(DeviceSlot &inner) : inner_(inner) {}
    void SetStatus(const std::string &text) override { Note(), inner_.SetStatus(text); }
    void SetLabel(const std::string &text) override { Note(), inner_.SetLabel(text); }
    void ShowLabelAndStatus() override { Note(), inner_.ShowLabelAndStatus(); }
    void StartProgress(uint16_t blocks) override { Note(), inner_.StartProgress(blocks); }
    void StepProgress() override { Note(), inner_.StepProgress(); }
    void EndProgress() override { Note(), inner_.EndProgress(); }
    void CloseWindow() override { Note(), inner_.CloseWindow(); }
    void WriteLogLine(const std::string &text) override { Note(), inner_.WriteLogLine(text); }
    void Repaint() override { Note(), inner_.Repaint(); }
    bool AllOn(std::thread::id thread) {
        std::lock_guard lock(mutex_);
        return !threads_.empty() &&
               std::all_of(threads_.begin(), threads_.end(),
                           [&](std::thread::id seen) { return seen == thread; });
    }

private:
    void Note() {
        std::lock_guard lock(mutex_);
        threads_.push_back(std::this_thread::get_id());
    }
    DeviceSlot &inner_;
    std::mutex mutex_;
    std::vector<std::thread::id> threads_;
};

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void usbRestoreShowsEightWaitingSlots() {
        RunFolder run;
        TestLinks links;
        MainDialog dialog(Restore(LinkKind::Usb, {}, run.File("image.rom")), run.log, links);
        dialog.show();
        QCOMPARE(ShownLabels(dialog), QStringList({"USB 1", "USB 2", "USB 3", "USB 4", "USB 5",
                                                   "USB 6", "USB 7", "USB 8"}));
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(dialog.Slot(i).status->text(), QStringLiteral("Waiting..."));
            QVERIFY(!dialog.Slot(i).bar->isVisible());
        }
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ROM Restore: image.rom"));
        QVERIFY(links.usb.Registered());
        dialog.close();
        QCOMPARE(run.LogTexts(),
                 QStringList({QString::fromStdString(
                     "-----  Keelstone Restore from file: " + run.File("image.rom") + " ------")}));
    }

    void serialRestoreShowsOneSlotPerPortAndNoneWithoutPorts() {
        RunFolder run;
        TestLinks links;
        links.Set("COM1", {PortKind::Silent});
        links.Set("COM3", {PortKind::Silent});
        MainDialog two(Restore(LinkKind::Serial, PortsNamed({"COM1", "COM3"}), run.File("a.rom")),
                       run.log, links);
        two.show();
        QCOMPARE(ShownLabels(two), QStringList({"COM1", "COM3"}));
        QCOMPARE(two.Slot(0).status->text(), QStringLiteral("Waiting..."));
        two.close();

        MainDialog none(Restore(LinkKind::Serial, {}, run.File("a.rom")), run.log, links);
        none.show();
        QVERIFY(ShownLabels(none).isEmpty());
        QCOMPARE(none.SlotsInUse(), 0);
    }

    void portsBeyondTheEighthGetNoSlotAndALogLine() {
        RunFolder run;
        TestLinks links;
        QStringList names;
        for (int i = 1; i <= 10; ++i) {
            names << QStringLiteral("ttyS%1").arg(i);
            links.Set(names.back().toStdString(), {PortKind::Silent});
        }
        MainDialog dialog(Restore(LinkKind::Serial, PortsNamed(names), run.File("a.rom")), run.log,
                          links);
        QCOMPARE(dialog.SlotsInUse(), 8);
        QCOMPARE(dialog.Slot(7).label->text(), QStringLiteral("ttyS8"));
        dialog.close();
        QVERIFY(run.LogTexts().contains("Only eight slots; not used: ttyS9 ttyS10"));
    }

    void aBusyPortShowsComPortBusyAndNothingElseHappens() {
        RunFolder run;
        TestLinks links;
        links.Set("ttyUSB0", {PortKind::Busy});
        MainDialog dialog(Backup(LinkKind::Serial, PortsNamed({"ttyUSB0"}), run.File("b.rom")),
                          run.log, links);
        dialog.show();
        QCOMPARE(dialog.Slot(0).label->text(), QStringLiteral("ttyUSB0"));
        QCOMPARE(dialog.Slot(0).status->text(), QStringLiteral("COM Port Busy"));
        QTest::qWait(50);
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(dialog.doneButton(), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!QFile::exists(QString::fromStdString(run.File("b.rom"))));
    }

    void aSerialBackupRunsToTheEndAndClosesTheWindow() {
        RunFolder run;
        TestLinks links;
        links.holdOpens = true;
        std::string rom = run.File("m505.rom");
        MainDialog dialog(Backup(LinkKind::Serial, PortsNamed({"COM1"}), rom), run.log, links);
        QCOMPARE(dialog.Slot(0).label->text(), QStringLiteral("COM1"));
        QSignalSpy finished(&dialog, &QDialog::finished);
        SlotWatcher watcher(dialog.Slot(0).status, dialog.Slot(0).bar);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        links.OpenHeld();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(watcher.statuses,
                 QStringList({"Waiting...", "Device Found", "Saving ROM", "Reset..."}));
        QCOMPARE(watcher.barShownMax, 0x38000 / 4096);
        QVERIFY(!dialog.Slot(0).bar->isVisible());
        QCOMPARE(QFileInfo(QString::fromStdString(rom)).size(), 0x38000);
        QStringList log = run.LogTexts();
        QVERIFY(log.contains("COM1: Start Backup"));
        QVERIFY(log.contains("COM1: End Backup"));
        QVERIFY(!log.join('\n').contains("Failed"));
    }

    void failingJobsShowTheirResultAndLogIt() {
        RunFolder run;
        TestLinks links;
        // A backup whose file cannot be created: the job fails with 0x8005 and the window
        // closes, the slot keeping the failure.
        std::string unwritable = run.File("no-such-folder/x.rom");
        BoxRecorder boxes;
        MainDialog backup(Backup(LinkKind::Serial, PortsNamed({"COM3"}), unwritable), run.log,
                          links, boxes.Answerer());
        QSignalSpy finished(&backup, &QDialog::finished);
        backup.show();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(backup.Slot(0).status->text(), QStringLiteral("Cannot open ROM file"));
        QCOMPARE(boxes.captions, QStringList({"Backup Failed"}));
        QCOMPARE(boxes.texts, QStringList({"The Backup Failed.  Check log for error number."}));
        QVERIFY(run.LogTexts().contains("COM3: Failed with error number 8005"));

        // A link without a handle: every transfer gives 774.
        links.Set("COM4", {PortKind::ZeroHandle});
        MainDialog restore(Restore(LinkKind::Serial, PortsNamed({"COM4"}), run.File("r.rom")),
                           run.log, links);
        restore.show();
        QTRY_COMPARE(restore.Slot(0).status->text(), QStringLiteral("Error: 774"));
        QTRY_VERIFY(run.LogTexts().contains("COM4: Failed with error number 306"));
        restore.close();
    }

    void slotsFinishingTogetherWriteWholeLines() {
        RunFolder run;
        TestLinks links;
        QStringList names;
        for (int i = 1; i <= 8; ++i) {
            names << QStringLiteral("COM%1").arg(i);
            links.Set(names.back().toStdString(), {PortKind::ZeroHandle});
        }
        MainDialog dialog(Restore(LinkKind::Serial, PortsNamed(names), run.File("r.rom")), run.log,
                          links);
        dialog.show();
        for (int i = 0; i < 8; ++i) {
            QTRY_COMPARE(dialog.Slot(i).status->text(), QStringLiteral("Error: 774"));
        }
        dialog.close();
        QStringList log = run.LogTexts();
        QCOMPARE(log.size(), 9);
        for (const QString &name : names) {
            QCOMPARE(log.count(name + ": Failed with error number 306"), 1);
        }
    }

    // Events from a worker are applied on the UI thread while the worker waits, in order; codes
    // outside 1..16 change nothing but still repaint.
    void workerEventsAreAppliedOnTheUiThread() {
        QWidget window;
        auto *label = new QLabel(&window);
        auto *status = new QLabel(&window);
        auto *bar = new QProgressBar(&window);
        label->hide();
        status->hide();
        bar->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        RunFolder run;
        ui::WindowSlot slot(label, status, bar, &window, &run.log, nullptr);
        ThreadCheckingSlot checked(slot);
        ui::UiThreadCall calls;
        SlotCallback callback = ui::WindowSlotCallback(calls);
        std::atomic<bool> done = false;
        SlotWatcher watcher(status, bar);
        std::thread worker([&] {
            callback(EvSlotWaiting, "COM9", &checked);
            uint16_t blocks = 0;
            callback(EvProgressStart, &blocks, &checked);
            callback(EvProgressStep, nullptr, &checked);
            callback(0, nullptr, &checked);
            callback(17, nullptr, &checked);
            callback(0x10000 | EvDeviceFound, nullptr, &checked);
            int32_t result = ErrNoResponse;
            callback(EvJobFailed, &result, &checked);
            callback(EvLogText, "COM9: Start Restore", &checked);
            done = true;
        });
        QTRY_VERIFY(done);
        worker.join();
        QVERIFY(checked.AllOn(std::this_thread::get_id()));
        QCOMPARE(label->text(), QStringLiteral("COM9"));
        QVERIFY(label->isVisible());
        QCOMPARE(watcher.statuses, QStringList({"Waiting...", "Device Found", "Error: 32775"}));
        QVERIFY(watcher.barSeenVisible);
        QCOMPARE(bar->value(), 0); // an empty transfer: the bar shows empty, not busy
        QVERIFY(bar->maximum() > 0);
        QVERIFY(watcher.paints >= 8); // one repaint per event, the odd codes' included
        QCOMPARE(run.LogTexts(), QStringList({"COM9: Start Restore"}));
    }

    void aUsbBackupRunsOnArrivalAndClosesOnRemoval() {
        RunFolder run;
        TestLinks links;
        std::string rom = run.File("usb.rom");
        MainDialog dialog(Backup(LinkKind::Usb, {}, rom), run.log, links);
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.show();
        QCOMPARE(ShownLabels(dialog), QStringList({"USB 1"}));
        links.usb.Plug("usb-1-4", links.NewHandheld());
        QTRY_COMPARE_WITH_TIMEOUT(dialog.Slot(0).status->text(), QStringLiteral("Reset..."), 20000);
        QTRY_VERIFY(run.LogTexts().contains("USB 1: End Backup"));
        QCOMPARE(finished.count(), 0);
        links.usb.Unplug("usb-1-4");
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(QFileInfo(QString::fromStdString(rom)).size(), 0x38000);
    }

    // A handheld plugged back in while its slot's old job still has events to report: the
    // window's thread waits for the old job to end before it opens the port, and meanwhile
    // carries out the old job's reports, which would otherwise wait for it forever.
    void aHandheldPluggedBackWaitsForTheOldJobWhoseReportsStillArrive() {
        RunFolder run;
        TestLinks links;
        MainDialog dialog(Restore(LinkKind::Usb, {}, run.File("missing.rom")), run.log, links);
        dialog.show();
        std::mutex mutex;
        std::condition_variable changed;
        bool held = false, released = false;
        sim::HandheldDebugger &first = links.NewHandheld();
        auto reads = std::make_shared<int>(0);
        first.SetRequestObserver([&, reads](const sim::RequestRecord &request) {
            if (request.command != sim::kCmdReadMemory || ++*reads != 2) {
                return;
            }
            std::unique_lock lock(mutex);
            held = true;
            changed.notify_all();
            changed.wait(lock, [&] { return released; });
        });
        links.usb.Plug("usb-1-1", first);
        QTRY_VERIFY(held);
        // The removal and the new arrival come together; the old job's transfer is let go
        // only while the window's thread is already busy with them.
        links.usb.Unplug("usb-1-1");
        links.usb.Plug("usb-1-1", links.NewHandheld());
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::lock_guard lock(mutex);
            released = true;
            changed.notify_all();
        });
        QTRY_COMPARE_WITH_TIMEOUT(run.LogTexts().filter("USB 1: Failed with error number").size(),
                                  2, 20000);
        releaser.join();
        QTRY_COMPARE(dialog.Slot(0).status->text(), QStringLiteral("Cannot open ROM file"));
        QCOMPARE(run.LogTexts().filter("USB 1: Failed with error number 8005").size(), 1);
        dialog.close();
    }

    void closingDuringATransferStopsTheJobPromptly() {
        RunFolder run;
        TestLinks links;
        links.Set("COM1", {PortKind::PacedHandheld});
        links.holdOpens = true;
        auto dialog = std::make_unique<MainDialog>(
            Backup(LinkKind::Serial, PortsNamed({"COM1"}), run.File("paced.rom")), run.log, links);
        SlotWatcher watcher(dialog->Slot(0).status, dialog->Slot(0).bar);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        links.OpenHeld();
        QTRY_VERIFY_WITH_TIMEOUT(watcher.barSeenVisible, 20000);
        QTRY_VERIFY(dialog->Slot(0).bar->value() > 0);
        auto started = std::chrono::steady_clock::now();
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        dialog.reset();
        QVERIFY(std::chrono::steady_clock::now() - started < std::chrono::seconds(3));
        QStringList log = run.LogTexts();
        QVERIFY(log.contains("COM1: Start Backup"));
        QVERIFY(!log.contains("COM1: End Backup"));
        run.log.Close();
    }

    void closingWhileJobsWaitForHandheldsExitsPromptly() {
        RunFolder run;
        TestLinks links;
        QStringList names{"COM1", "COM2", "COM3"};
        for (const QString &name : names) {
            links.Set(name.toStdString(), {PortKind::Silent});
        }
        auto dialog = std::make_unique<MainDialog>(
            Restore(LinkKind::Serial, PortsNamed(names), run.File("r.rom")), run.log, links);
        dialog->show();
        QTest::qWait(100);
        auto started = std::chrono::steady_clock::now();
        dialog->close();
        dialog.reset();
        QVERIFY(std::chrono::steady_clock::now() - started < std::chrono::seconds(2));
    }

    // A job waiting for the answer to a real message box when the window closes (the close
    // comes from the box's own event loop) is released; the box goes away, the job ends, and
    // nothing more reaches the slot or the log.
    void closingWhileAJobWaitsForAMessageBoxReleasesIt() {
        RunFolder run;
        TestLinks links;
        MainDialog dialog(Backup(LinkKind::Serial, PortsNamed({"COM1"}), run.File("no/x.rom")),
                          run.log, links);
        dialog.show();
        BoxWatcher watcher;
        QTRY_COMPARE_WITH_TIMEOUT(watcher.ShownCount(), 1, 20000);
        QCOMPARE(watcher.boxes[0]->windowTitle(), QStringLiteral("Backup Failed"));
        QCOMPARE(watcher.boxes[0]->text(),
                 QStringLiteral("The Backup Failed.  Check log for error number."));
        dialog.reject();
        QVERIFY(!dialog.isVisible());
        QTRY_COMPARE(watcher.ShownCount(), 0);
        QString status = dialog.Slot(0).status->text();
        QStringList log = run.LogTexts();
        QTest::qWait(50);
        QCOMPARE(dialog.Slot(0).status->text(), status);
        QCOMPARE(run.LogTexts(), log);
        QVERIFY(!log.join('\n').contains("Failed with error number"));
    }

    // The boxes hold only their jobs: the window's own buttons keep working while one is up.
    void doneClosesTheWindowWhileAJobsBoxIsUp() {
        RunFolder run;
        TestLinks links;
        MainDialog dialog(Backup(LinkKind::Serial, PortsNamed({"COM1"}), run.File("no/x.rom")),
                          run.log, links);
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.show();
        BoxWatcher watcher;
        QTRY_COMPARE_WITH_TIMEOUT(watcher.ShownCount(), 1, 20000);
        QVERIFY(!watcher.boxes[0]->isModal());
        auto *done = dialog.findChild<QPushButton *>(QStringLiteral("done"));
        QVERIFY(done != nullptr);
        QTest::mouseClick(done, Qt::LeftButton);
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!dialog.isVisible());
        QTRY_COMPARE(watcher.ShownCount(), 0);
    }

    // Two slots' jobs each waiting on its own box, both up at once: answering either box first
    // releases only its job, while the other box stays up and its job keeps waiting.
    void eachBoxReleasesOnlyItsOwnJobInAnyOrder() {
        for (int first : {0, 1}) {
            ui::UiThreadCall calls;
            ui::QtPrompter prompter(calls);
            BoxWatcher watcher;
            std::atomic<int> answers[2] = {-1, -1};
            auto slotJob = [&](int slot, PromptButtons buttons) {
                return std::thread([&, slot, buttons] {
                    PromptAnswer answer = prompter.Ask(
                        "Read Error", "USB " + std::to_string(slot + 1), buttons, PromptIcon::None);
                    answers[slot] = static_cast<int>(answer);
                });
            };
            std::thread one = slotJob(0, PromptButtons::Ok);
            QTRY_COMPARE(watcher.ShownCount(), 1);
            std::thread two = slotJob(1, PromptButtons::OkCancel);
            QTRY_COMPARE(watcher.ShownCount(), 2);
            QCOMPARE(watcher.boxes[1]->text(), QStringLiteral("USB 2"));
            int second = 1 - first;
            QMessageBox::StandardButton press[2] = {QMessageBox::Ok, QMessageBox::Cancel};
            QTest::mouseClick(watcher.boxes[first]->button(press[first]), Qt::LeftButton);
            QTRY_COMPARE(answers[first].load(),
                         static_cast<int>(first == 0 ? PromptAnswer::Ok : PromptAnswer::Cancel));
            QTest::qWait(30);
            QCOMPARE(answers[second].load(), -1);
            QVERIFY(watcher.boxes[second] && watcher.boxes[second]->isVisible());
            QTest::mouseClick(watcher.boxes[second]->button(press[second]), Qt::LeftButton);
            QTRY_VERIFY(answers[second].load() != -1);
            QCOMPARE(answers[0].load(), static_cast<int>(PromptAnswer::Ok));
            QCOMPARE(answers[1].load(), static_cast<int>(PromptAnswer::Cancel));
            one.join();
            two.join();
            QTRY_COMPARE(watcher.ShownCount(), 0);
        }
    }

    void boxesFromWorkersAreAnsweredOnTheUiThread() {
        ui::UiThreadCall calls;
        std::vector<std::thread::id> answeredOn;
        std::vector<std::string> captions;
        ui::QtPrompter prompter(calls, [&](const ui::PromptBox &box) {
            answeredOn.push_back(std::this_thread::get_id());
            captions.push_back(box.caption);
            return box.buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
        });
        PromptAnswer first = PromptAnswer::Cancel, second = PromptAnswer::Ok;
        std::atomic<bool> done = false;
        std::thread worker([&] {
            first = prompter.Ask("Read Error", "Error: 0", PromptButtons::Ok, PromptIcon::None);
            second = prompter.Ask("TRG ROM", "x", PromptButtons::OkCancel, PromptIcon::Exclamation);
            done = true;
        });
        QTRY_VERIFY(done);
        worker.join();
        QCOMPARE(first, PromptAnswer::Ok);
        QCOMPARE(second, PromptAnswer::Cancel);
        QCOMPARE(captions, (std::vector<std::string>{"Read Error", "TRG ROM"}));
        QCOMPARE(answeredOn, std::vector<std::thread::id>(2, std::this_thread::get_id()));
    }
};

} // namespace ostervane::testing

QTEST_MAIN(ostervane::testing::MainDialogTest)
#include "ostervane_ui_main_dialog_test.moc"
