// The size summary under the sheet: RAM required, expansion ROM required and package size.
#pragma once

#include <string>

#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

struct SizeSummary {
    std::string ramRequired;          // "%dK", empty below 1 K
    std::string expansionRomRequired; // "%dK", empty below 1 K
    int32_t expansionRomRequiredKB = 0;
    std::string packageSize; // "%dk", always
};

// Computes the summary and stores the package size in K as m_packageKB.
SizeSummary ComputeSizeSummary(CTarnhollowDoc &doc);

} // namespace tarnhollow
