// What every window of the editor shares: the device catalogue and where it was found, the
// components folder, the dialogs it asks through, and the folders it reads lock states from
// and builds temporary files in.
#pragma once

#include <filesystem>
#include <string>

#include "tarnhollow/catalogue/device_catalogue.h"
#include "tarnhollow/editor/editor_dialogs.h"
#include "tarnhollow/pages/lock_indicators.h"

namespace tarnhollow::editor {

struct EditorContext {
    const DeviceCatalogue *catalogue = nullptr;
    std::string catalogueFolderText; // "Device catalogue: PATH", shown in the About box
    std::filesystem::path components;
    EditorDialogs *dialogs = nullptr;
    std::filesystem::path ledsFolder = kKeyboardLedsFolder;
    std::filesystem::path temporaryRoot = std::filesystem::temp_directory_path();
};

} // namespace tarnhollow::editor
