// tarnhollow: the flash install file editor.  Start-up reads the device catalogue from the
// first "Devices" folder found (common/data_folders.h) and shows the main window; it opens no
// document and reads no arguments of its own (Qt takes its own options).
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "palm_flash_tools_version.h"

#include "tarnhollow/catalogue/device_catalogue.h"
#include "tarnhollow/common/heap_reuse.h"
#include "tarnhollow/document/tarnhollow_doc.h"
#include "tarnhollow/editor/about_dialog.h"
#include "tarnhollow/editor/editor_dialogs.h"
#include "tarnhollow/editor/main_frame.h"

int main(int argc, char **argv) {
    using namespace tarnhollow;
    KeepFreedHeapForReuse();
    // Answered before any window exists, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tarnhollow %s\n%s", PALM_FLASH_TOOLS_VERSION,
                    DataFoldersText(FindDataFolders(DataSearchPlacesOfThisProcess())).c_str());
        return 0;
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
