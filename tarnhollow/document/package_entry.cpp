// PackageEntry names.
#include "tarnhollow/document/package_entry.h"

#include <algorithm>
#include <cstring>

namespace tarnhollow {

void PackageEntry::SetName(const std::string &text) {
    name.fill('\0');
    std::memcpy(name.data(), text.data(), std::min(text.size(), name.size() - 1));
}

} // namespace tarnhollow
