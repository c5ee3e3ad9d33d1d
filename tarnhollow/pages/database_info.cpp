// Database property texts.
#include "tarnhollow/pages/database_info.h"

#include "prc.h"

namespace tarnhollow {

namespace {

std::string CodeText(uint32_t code) {
    char text[PRC_TYPE_TEXT_SIZE];
    return prctypetostr(text, code);
}

} // namespace

DatabaseInfoTexts DatabaseInfoFor(const PackageEntry &entry) {
    DatabaseInfoTexts texts;
    texts.name = entry.Name();
    texts.caption = texts.name;
    texts.creator = CodeText(entry.creator);
    texts.type = CodeText(entry.type);
    texts.size = std::to_string(entry.size);
    texts.attributes = std::to_string(entry.headerWord);
    return texts;
}

bool HasDatabaseInfo(const PackageEntry &entry, bool ramList) {
    return !ramList || entry.file != nullptr;
}

} // namespace tarnhollow
