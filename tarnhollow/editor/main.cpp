// tarnhollow: the flash install file editor.  Start-up reads the device catalogue from the
// first "Devices" folder found (tarnhollow/common/data_folders.h) and shows the main window.
// It opens no document and reads no arguments of its own besides --help and --version (Qt
// takes its own options).
#include <QApplication>

#include <string>

#include "common/information_options.h"
#include "palm_flash_tools_version.h"
#include "tarnhollow/catalogue/device_catalogue.h"
#include "tarnhollow/common/heap_reuse.h"
#include "tarnhollow/document/tarnhollow_doc.h"
#include "tarnhollow/editor/about_dialog.h"
#include "tarnhollow/editor/editor_dialogs.h"
#include "tarnhollow/editor/main_frame.h"

namespace {

constexpr const char kHelpText[] =
    "Usage: tarnhollow [QT-OPTION]...\n"
    "       tarnhollow (--help | --version)\n"
    "\n"
    "Edits flash install files for Palm OS handhelds: Palm resource databases that install\n"
    "other databases into a handheld's expansion flash, for devices picked from a device\n"
    "catalogue.  The catalogue is the first \"Devices\" folder found: in the current\n"
    "folder, then in the installation's and the XDG data folders (--version shows it).\n"
    "The program takes no arguments besides Qt's own options (such as -platform NAME or\n"
    "-style NAME) and these:\n"
    "\n"
    "  -h, --help  show this text\n"
    "  --version   print the program's version and the data folders in use\n";

std::string VersionText() {
    using namespace tarnhollow;
    return std::string("tarnhollow " PALM_FLASH_TOOLS_VERSION "\n") +
           DataFoldersText(FindDataFolders(DataSearchPlacesOfThisProcess()));
}

} // namespace

int main(int argc, char **argv) {
    using namespace tarnhollow;
    KeepFreedHeapForReuse();
    if (int status = common::AnswerInformationOption(argc, argv, kHelpText, VersionText);
        status >= 0) {
        return status;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(editor::kSettingsOrganisation);
    QApplication::setApplicationName(editor::kSettingsApplication);
    // No display name: the platform would append it to every window caption, and the main
    // window's caption already begins with the program's name ("Tarnhollow - Spring.prc").
    QApplication::setApplicationVersion(editor::kVersionText);
    QApplication::setWindowIcon(editor::ApplicationIcon());
    QApplication::setDesktopFileName("tarnhollow");

    editor::QtEditorDialogs dialogs;
    editor::OwnedMessageBoxes boxes(dialogs, nullptr);
    const DataFolders folders = FindDataFolders(DataSearchPlacesOfThisProcess());
    const DeviceCatalogue catalogue = LoadDeviceCatalogue(folders.catalogue, boxes);

    editor::EditorContext context;
    context.catalogue = &catalogue;
    context.catalogueFolderText = CatalogueFolderText(folders);
    context.components = folders.components;
    context.dialogs = &dialogs;

    editor::CMainFrame frame(context);
    frame.show();
    return app.exec();
}
