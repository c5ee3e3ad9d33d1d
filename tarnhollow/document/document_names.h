// How the editor names and finds its documents: "Tarnhollow 1", "Tarnhollow 2", ... for new
// ones, the file name for saved ones, the main window's caption, the question before unsaved
// changes are dropped, and whether two paths are the same file.
#pragma once

#include <filesystem>
#include <string>

namespace tarnhollow {

inline constexpr const char *kApplicationTitle = "Tarnhollow";
inline constexpr const char *kUntitledPrefix = "Tarnhollow ";
inline constexpr const char *kOpenFailedDocumentText = "Failed to open document.";

// Numbers new documents 1, 2, 3, ... for the life of the program; numbers are not reused.
class UntitledNumbering {
public:
    std::string NextTitle() { return kUntitledPrefix + std::to_string(++m_count); }

private:
    int m_count = 0;
};

// The file the save writes for a chosen path: the same folder and base name with ".prc".
std::filesystem::path PackagePathFor(const std::filesystem::path &chosen);

// The title of a document saved as or opened from path: its file name.
std::string DocumentTitleFor(const std::filesystem::path &path);

// The main window's caption: "Tarnhollow - TITLE" for the active document's title, just
// "Tarnhollow" without one.
std::string FrameCaption(const std::string &activeTitle);

// "Save changes to TITLE?"
std::string SaveChangesQuestion(const std::string &title);

// Both name the same existing file (through links and relative parts), or are equal paths.
bool SameFile(const std::filesystem::path &a, const std::filesystem::path &b);

} // namespace tarnhollow
