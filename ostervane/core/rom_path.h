// What the main window and the log derive from the ROM file's path: the ".rom" rule of a backup,
// the window title and the log's banner line.
#pragma once

#include <string>

namespace ostervane {

// ".rom" is added unless the last four characters, in any case, already are ".rom": "x.ROM"
// stays, "x" becomes "x.rom", "x.bin" becomes "x.bin.rom".
std::string WithRomExtension(const std::string &path);

// "ROM Backup: name.ext" or "ROM Restore: name.ext": the file's name without its folder.
std::string MainWindowTitle(const std::string &path, bool isBackup);

// The first line a run that reaches the main window writes, with the full path.
std::string LogBannerLine(const std::string &path, bool isBackup);

} // namespace ostervane
