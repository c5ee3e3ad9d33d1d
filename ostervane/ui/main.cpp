// ostervane: backs up a handheld's ROM into a .rom file or restores ROM images into up to eight
// handhelds, in windows.  It reads no arguments of its own besides --help and --version; Qt gets
// the rest for its own options.
#include <QApplication>

#include "common/information_options.h"
#include "ostervane/ui/artwork.h"
#include "ostervane/ui/window_screens.h"
#include "palm_flash_tools_version.h"

namespace {

constexpr const char kHelpText[] =
    "Usage: ostervane [QT-OPTION]...\n"
    "       ostervane (--help | --version)\n"
    "\n"
    "Backs up a Palm OS handheld's flash ROM into a .rom file, or restores a ROM image\n"
    "into up to eight handhelds at once, over a serial line or USB, with each handheld\n"
    "sitting in its debugger.  Every step is appended to Keelstone.log in the current\n"
    "folder.  The program takes no arguments besides Qt's own options (such as\n"
    "-platform NAME or -style NAME) and these:\n"
    "\n"
    "  -h, --help  show this text\n"
    "  --version   print the program's version\n";

} // namespace

int main(int argc, char *argv[]) {
    if (int status = common::AnswerInformationOption(
            argc, argv, kHelpText, [] { return "ostervane " PALM_FLASH_TOOLS_VERSION "\n"; });
        status >= 0) {
        return status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostervane"));
    QApplication::setDesktopFileName(QStringLiteral("ostervane"));
    QApplication::setWindowIcon(ostervane::ui::ProgramIcon());
    ostervane::ui::RunOstervane();
    return 0;
}
