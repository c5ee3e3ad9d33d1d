// ostervane: backs up a handheld's ROM into a .rom file or restores ROM images into up to eight
// handhelds, in windows.  It reads no arguments of its own; Qt gets them for its own options.
#include <QApplication>

#include "ostervane/ui/artwork.h"
#include "ostervane/ui/window_screens.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostervane"));
    QApplication::setDesktopFileName(QStringLiteral("ostervane"));
    QApplication::setWindowIcon(ostervane::ui::ProgramIcon());
    ostervane::ui::RunOstervane();
    return 0;
}
