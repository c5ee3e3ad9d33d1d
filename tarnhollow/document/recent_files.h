// The recent-file list of the File menu: the last four files opened or saved, newest first.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarnhollow {

inline constexpr size_t kRecentFileCount = 4;
inline constexpr const char *kRecentFilePlaceholder = "Recent File";

class RecentFileList {
public:
    explicit RecentFileList(size_t capacity = kRecentFileCount) : m_capacity(capacity) {}

    // Takes stored paths as they were kept (empty ones and repeats dropped, cut to capacity).
    void Load(const std::vector<std::string> &stored);
    // Puts the path first, removing an earlier mention of it.
    void Add(const std::string &path);
    void Remove(const std::string &path);
    const std::vector<std::string> &Files() const { return m_files; }

private:
    size_t m_capacity;
    std::vector<std::string> m_files;
};

// The menu text of the entry at index (from 0): "&1 /path/file.prc", with every "&" of the path
// doubled so that it shows as itself.
std::string RecentFileMenuText(size_t index, const std::string &path);

} // namespace tarnhollow
