// The file-type filters of the editor's file dialogs: the text the dialog shows and the name
// patterns it matches.
#pragma once

#include <string>
#include <vector>

namespace tarnhollow {

struct FileFilter {
    std::string shown;
    std::vector<std::string> patterns;
};

inline const FileFilter kPalmFilesFilter{"Palm Files (*.prc;*.pdb)", {"*.prc", "*.pdb"}};
inline const FileFilter kPreinstallFilter{"Palm Files (*.prc;)", {"*.prc"}};
inline const FileFilter kBitmapFilesFilter{"Bitmap Files (*.bmp)", {"*.bmp"}};
inline const FileFilter kInstallFilesFilter{"Flash Install Files (*.prc)", {"*.prc"}};

} // namespace tarnhollow
