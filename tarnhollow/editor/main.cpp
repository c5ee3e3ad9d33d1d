// tarnhollow: the flash install file editor.  Start-up reads the device catalogue from
// "Devices" in the current folder and shows the main window; it opens no document and reads
// no arguments of its own (Qt takes its own options).
#include <QApplication>

#include <filesystem>

#include "tarnhollow/catalogue/device_catalogue.h"
#include "tarnhollow/common/heap_reuse.h"
#include "tarnhollow/document/tarnhollow_doc.h"
#include "tarnhollow/editor/about_dialog.h"
#include "tarnhollow/editor/editor_dialogs.h"
#include "tarnhollow/editor/main_frame.h"

namespace {

std::filesystem::path ProgramFolder() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : self.parent_path();
}

} // namespace

int main(int argc, char **argv) {
    using namespace tarnhollow;
    KeepFreedHeapForReuse();
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
    const DeviceCatalogue catalogue = LoadDeviceCatalogue(kDevicesFolder, boxes);

    editor::EditorContext context;
    context.catalogue = &catalogue;
    context.components = ProgramFolder() / kComponentsFolder;
    context.dialogs = &dialogs;

    editor::CMainFrame frame(context);
    frame.show();
    return app.exec();
}
