// The Config page's rules: package name, the three option boxes, the application to launch
// after reset, and the preinstall application.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

inline constexpr size_t kPackageNameLimit = 32;
inline constexpr const char *kNoLaunch = "None";

// "None", then every RAM entry with an open file and type 'appl', then every expansion-ROM
// entry of type 'appl', in list order.
std::vector<std::string> LaunchListItems(const CTarnhollowDoc &doc);

// The item the list selects: "None" (0) when nothing or "None" is stored, otherwise the first
// later item that begins with the stored choice, case-insensitively; none when no item does.
std::optional<size_t> LaunchSelection(const CTarnhollowDoc &doc,
                                      const std::vector<std::string> &items);

// The user's choice is stored, so the list shows it again when the page comes back.
void ChooseLaunch(CTarnhollowDoc &doc, const std::string &itemText);
// The name in the handhelds' 8-bit text, cut to 32 characters (bytes).
void SetPackageName(CTarnhollowDoc &doc, const std::string &text);
void SetCreateUninstaller(CTarnhollowDoc &doc, bool on);
void SetEraseExpansionRom(CTarnhollowDoc &doc, bool on);
void SetAutoInstall(CTarnhollowDoc &doc, bool on);

// Opens the file as the preinstall application.  When it parses as a Palm database its name is
// taken and m_hasPreinstall set; a file that does not parse is not kept.  Returns the text the
// page's edit shows (the database name, or empty).
std::string ChoosePreinstall(CTarnhollowDoc &doc, const std::filesystem::path &path);

} // namespace tarnhollow
