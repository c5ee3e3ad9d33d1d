// tarnhollow-cli inspect: opens an install file as the editor would and prints the document as
// JSON, the handhelds' names shown as their characters.
#include <prc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tarnhollow/cli/commands.h"
#include "tarnhollow/cli/console_boxes.h"
#include "tarnhollow/cli/json_writer.h"
#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

namespace {

std::string TypeText(uint32_t code) {
    char text[PRC_TYPE_TEXT_SIZE];
    return prctypetostr(text, code);
}

std::string StringArray(const std::vector<std::string> &items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); i++) {
        out += (i ? ", " : "") + PalmJsonString(items[i]);
    }
    return out + "]";
}

std::string EntryArray(const std::vector<PackageEntry> &entries) {
    std::string out = "[";
    for (size_t i = 0; i < entries.size(); i++) {
        const PackageEntry &e = entries[i];
        out += std::string(i ? ",\n    " : "\n    ") + "{\"name\": " + PalmJsonString(e.Name()) +
               ", \"flags\": " + std::to_string(e.flags) +
               ", \"location\": " + std::to_string(e.location) +
               ", \"size\": " + std::to_string(e.size) +
               ", \"type\": " + PalmJsonString(TypeText(e.type)) +
               ", \"creator\": " + PalmJsonString(TypeText(e.creator)) +
               ", \"hasFile\": " + (e.file ? "true" : "false") + "}";
    }
    return out + (entries.empty() ? "]" : "\n  ]");
}

const char *Bool(bool value) {
    return value ? "true" : "false";
}

void PrintDocument(const CTarnhollowDoc &doc) {
    std::printf("{\n");
    std::printf("  \"m_packageName\": %s,\n", PalmJsonString(doc.m_packageName).c_str());
    std::printf("  \"m_deviceIds\": %s,\n", StringArray(doc.m_deviceIds).c_str());
    std::printf("  \"m_expansionRomKB\": %d,\n", doc.m_expansionRomKB);
    std::printf("  \"m_eraseExpansionRom\": %s,\n", Bool(doc.m_eraseExpansionRom));
    std::printf("  \"m_autoInstall\": %s,\n", Bool(doc.m_autoInstall));
    std::printf("  \"m_installStubs\": %s,\n", Bool(doc.m_installStubs));
    std::printf("  \"m_languageCode\": %s,\n", PalmJsonString(doc.m_languageCode).c_str());
    std::printf("  \"m_removeList\": %s,\n", StringArray(doc.m_removeList).c_str());
    std::printf("  \"m_launchAfterReset\": %s,\n", PalmJsonString(doc.m_launchAfterReset).c_str());
    std::printf("  \"m_hasPreinstall\": %s,\n", Bool(doc.m_hasPreinstall));
    std::printf("  \"m_preinstallName\": %s,\n", PalmJsonString(doc.m_preinstallName).c_str());
    std::printf("  \"m_ramList\": %s,\n", EntryArray(doc.m_ramList).c_str());
    std::printf("  \"m_romList\": %s,\n", EntryArray(doc.m_romList).c_str());
    std::printf("  \"bootLogo\": %s\n", Bool(doc.m_bootLogoFile != nullptr));
    std::printf("}\n");
}

} // namespace

int RunInspect(const std::vector<std::string> &args) {
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
        std::fputs("usage: tarnhollow-cli inspect FILE\n", stderr);
        return kExitUsage;
    }
    prc_t *database = prcopen(args[0].c_str(), PRC_OPEN_READ);
    if (database == nullptr) {
        std::fprintf(stderr, "tarnhollow-cli: %s: not a Palm database (%s)\n", args[0].c_str(),
                     prcstrerror(prcgeterrno()));
        return kExitFailure;
    }
    prcdestroy(database);
    ConsoleBoxes boxes;
    DeviceCatalogue noCatalogue;
    CTarnhollowDoc doc(&noCatalogue, FindDataFolders(DataSearchPlacesOfThisProcess()).components);
    if (!doc.OnOpenDocument(args[0], boxes)) {
        return kExitFailure;
    }
    PrintDocument(doc);
    // A message means part of the package could not be read back.
    return boxes.shown.empty() ? kExitSuccess : kExitFailure;
}

} // namespace tarnhollow
