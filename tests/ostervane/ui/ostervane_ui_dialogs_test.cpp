// The dialogs driven with clicks and keys: the mode choices and cancels, the About box from the
// Help menu, the port list's order and choice, and controls at their dialog-unit positions.
#include <QApplication>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "ostervane/ui/about_dialog.h"
#include "ostervane/ui/dialog_units.h"
#include "ostervane/ui/main_dialog.h"
#include "ostervane/ui/mode_dialog.h"
#include "ostervane/ui/port_select_dialog.h"
#include "ui_test_support.h"

namespace ostervane::testing {

using namespace ui;

namespace {

QRect Pixels(const DialogRect &units, const QWidget *widget) {
    DialogRect p = ToPixels(units, UnitBase(widget->font()));
    return {p.x, p.y, p.width, p.height};
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void modeButtonsEndTheDialogWithTheirResults() {
        ModeDialog backup;
        backup.open();
        QCOMPARE(backup.windowTitle(), QStringLiteral("Ostervane"));
        QVERIFY(backup.usbButton()->isChecked());
        QTest::mouseClick(backup.backupButton(), Qt::LeftButton);
        QCOMPARE(backup.result(), kModeBackup);
        QCOMPARE(backup.Link(), LinkKind::Usb);

        ModeDialog restore;
        restore.open();
        QTest::mouseClick(restore.serialButton(), Qt::LeftButton);
        QCOMPARE(restore.Link(), LinkKind::Serial); // stored at the click
        QTest::mouseClick(restore.restoreButton(), Qt::LeftButton);
        QCOMPARE(restore.result(), kModeRestore);
        QCOMPARE(restore.Link(), LinkKind::Serial);

        ModeDialog back;
        back.open();
        QTest::mouseClick(back.serialButton(), Qt::LeftButton);
        QTest::mouseClick(back.usbButton(), Qt::LeftButton);
        QCOMPARE(back.Link(), LinkKind::Usb);
        back.reject();
    }

    void escapeAndTheCloseBoxCancelTheModeDialog() {
        ModeDialog escaped;
        escaped.open();
        QTest::keyClick(&escaped, Qt::Key_Escape);
        QVERIFY(!escaped.isVisible());
        QCOMPARE(escaped.result(), int(QDialog::Rejected));

        ModeDialog closed;
        closed.open();
        QVERIFY(closed.close());
        QCOMPARE(closed.result(), int(QDialog::Rejected));
    }

    void theHelpMenuOpensTheAboutBox() {
        ModeDialog mode;
        mode.show();
        auto *bar = mode.findChild<QMenuBar *>();
        QVERIFY(bar != nullptr);
        QCOMPARE(bar->actions().size(), 1);
        QCOMPARE(bar->actions()[0]->text(), QStringLiteral("Help"));
        auto *about = mode.findChild<QAction *>(QStringLiteral("aboutAction"));
        QCOMPARE(about->text(), QStringLiteral("About Ostervane"));
        QString title, text;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<AboutDialog *>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            title = box->windowTitle();
            QStringList texts;
            for (QLabel *label : box->findChildren<QLabel *>()) {
                texts << label->text();
            }
            text = texts.join('|');
            QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("ok")), Qt::LeftButton);
        });
        about->trigger();
        QCOMPARE(title, QStringLiteral("About Ostervane"));
        QVERIFY(text.contains(QStringLiteral("Ostervane 2.5")));
        mode.reject();
    }

    void thePortListIsSortedByTextAndOkTakesTheSelection() {
        PortSelectDialog dialog(PortsNamed({"COM2", "COM10", "COM1"}));
        dialog.open();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Serial Port Selection"));
        QStringList items;
        for (int i = 0; i < dialog.portList()->count(); ++i) {
            items << dialog.portList()->itemText(i);
        }
        QCOMPARE(items, QStringList({"COM1", "COM10", "COM2"}));
        QCOMPARE(dialog.portList()->currentIndex(), 0);
        dialog.portList()->setCurrentIndex(2);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.Chosen().has_value());
        QCOMPARE(dialog.Chosen()->path, std::string("/dev/COM2"));

        PortSelectDialog first(PortsNamed({"ttyUSB1", "ttyUSB0"}));
        first.open();
        QTest::keyClick(&first, Qt::Key_Return);
        QCOMPARE(first.Chosen()->displayName, std::string("ttyUSB0"));

        PortSelectDialog cancelled(PortsNamed({"COM1"}));
        cancelled.open();
        QTest::mouseClick(cancelled.cancelButton(), Qt::LeftButton);
        QVERIFY(!cancelled.Chosen().has_value());
    }

    void withoutPortsOkPicksNothing() {
        PortSelectDialog dialog({});
        dialog.open();
        QVERIFY(!dialog.okButton()->isEnabled());
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QTest::keyClick(&dialog, Qt::Key_Return);
        QVERIFY(!dialog.Chosen().has_value());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.Chosen().has_value());
    }

    void controlsSitAtTheirDialogUnitPositions() {
        ModeDialog mode;
        QCOMPARE(mode.backupButton()->geometry(), Pixels(layout::kBackupButton, &mode));
        QCOMPARE(mode.serialButton()->geometry(), Pixels(layout::kSerialRadio, &mode));
        QCOMPARE(mode.font().pointSize(), 8);

        RunFolder run;
        TestLinks links;
        RunSettings settings;
        settings.romPath = run.File("x.rom");
        settings.link = LinkKind::Serial;
        MainDialog main(settings, run.log, links);
        for (int i = 0; i < 8; ++i) {
            const SlotControls &at = layout::kSlots[static_cast<size_t>(i)];
            QCOMPARE(main.Slot(i).label->geometry(), Pixels(at.label, &main));
            QCOMPARE(main.Slot(i).status->geometry(), Pixels(at.status, &main));
            QCOMPARE(main.Slot(i).bar->geometry(), Pixels(at.bar, &main));
            QVERIFY(main.Slot(i).label->isHidden());
            QCOMPARE(main.Slot(i).label->text(), QStringLiteral("Device %1:").arg(i + 1));
        }
        QCOMPARE(main.doneButton()->geometry(), Pixels(layout::kDoneButton, &main));
        main.show();
        // The window is as large as its dialog units say, plus the menu bar.
        QSize body = PixelSize(layout::kMainDialog, UnitBase(main.font()));
        QCOMPARE(main.width(), body.width());
        QCOMPARE(main.height(), body.height() + main.findChild<QMenuBar *>()->height());
    }
};

} // namespace ostervane::testing

QTEST_MAIN(ostervane::testing::DialogsTest)
#include "ostervane_ui_dialogs_test.moc"
