// The refusal text for a database too large for its chunk group and the uninstaller warning.
#include "tarnhollow/document/document_messages.h"

#include "tarnhollow/common/palm_text.h"

namespace tarnhollow {

namespace {

// 3244032 -> "3,244,032"
std::string WithThousandsSeparators(uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

} // namespace

std::string TooLargeToEmbedText(const std::string &databaseName, uint64_t limitBytes) {
    return "The database " + Utf8FromPalmText(databaseName) + " is too large to embed (more than " +
           WithThousandsSeparators(limitBytes) + " bytes).";
}

std::string UninstallerNotWrittenText(const std::filesystem::path &path, bool readOnly) {
    return "The uninstaller file " + path.string() +
           (readOnly ? " is read-only and was not written." : " could not be written.");
}

} // namespace tarnhollow
