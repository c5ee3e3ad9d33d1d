// ostervane-screenshots FOLDER: draws ModeDialog, AboutDialog, and MainDialog during a USB
// restore (slots waiting, flashing with their bars part-way, one finished) and saves them as
// ostervane-mode.png, ostervane-about.png and ostervane-main.png.  Run it under a real X server
// (xvfb-run -a).
#include <QApplication>
#include <QDir>

#include "ostervane/core/slot_event.h"
#include "ostervane/ui/about_dialog.h"
#include "ostervane/ui/main_dialog.h"
#include "ostervane/ui/mode_dialog.h"
#include "ui_test_support.h"

using namespace ostervane;

namespace {

// An event sent to a slot of the window as its job would report it.
void Report(ui::MainDialog &dialog, int slot, uint32_t code, const void *data = nullptr) {
    dialog.ApplyToSlot(slot, code, data);
}

bool Save(QWidget &window, const QString &path) {
    window.show();
    window.raise();
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
    }
    return window.grab().save(path);
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostervane-screenshots FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));

    ui::ModeDialog mode;
    ui::AboutDialog about;
    if (!Save(mode, folder.filePath("ostervane-mode.png")) ||
        !Save(about, folder.filePath("ostervane-about.png"))) {
        return 1;
    }

    // A USB restore: slots 1 and 2 flashing, 3 finished (its handheld not yet unplugged),
    // 5 just found its handheld, the others waiting.
    RunLog log;
    testing::TestLinks links;
    RunSettings settings;
    settings.romPath = "/home/palm/roms/m515-4.1.rom";
    settings.isBackup = false;
    settings.link = LinkKind::Usb;
    ui::MainDialog main(settings, log, links);
    uint16_t blocks = 100;
    for (int slot : {0, 1, 2}) {
        Report(main, slot, EvDeviceFound);
        Report(main, slot, EvLoadingDriver);
        Report(main, slot, EvFlashing);
        Report(main, slot, EvProgressStart, &blocks);
    }
    for (int i = 0; i < 100; ++i) {
        Report(main, 2, EvProgressStep);
        if (i < 62) {
            Report(main, 0, EvProgressStep);
        }
        if (i < 27) {
            Report(main, 1, EvProgressStep);
        }
    }
    Report(main, 2, EvProgressEnd);
    Report(main, 2, EvResetting);
    Report(main, 4, EvDeviceFound);
    return Save(main, folder.filePath("ostervane-main.png")) ? 0 : 1;
}
