// Recent-file list rules.
#include "tarnhollow/document/recent_files.h"

#include <algorithm>

namespace tarnhollow {

void RecentFileList::Load(const std::vector<std::string> &stored) {
    m_files.clear();
    for (const std::string &path : stored) {
        if (!path.empty() && std::find(m_files.begin(), m_files.end(), path) == m_files.end() &&
            m_files.size() < m_capacity) {
            m_files.push_back(path);
        }
    }
}

void RecentFileList::Add(const std::string &path) {
    Remove(path);
    m_files.insert(m_files.begin(), path);
    if (m_files.size() > m_capacity) {
        m_files.resize(m_capacity);
    }
}

void RecentFileList::Remove(const std::string &path) {
    m_files.erase(std::remove(m_files.begin(), m_files.end(), path), m_files.end());
}

std::string RecentFileMenuText(size_t index, const std::string &path) {
    std::string text = "&" + std::to_string(index + 1) + " ";
    for (char ch : path) {
        text += ch;
        if (ch == '&') {
            text += '&';
        }
    }
    return text;
}

} // namespace tarnhollow
