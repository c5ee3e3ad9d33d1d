// Writes the four component databases a package is built from (PayLoad.prc, FlashInit.prc,
// FlashRestore.prc, Uninstaller.prc) into the folder named on the command line.
//
// These are stand-ins.  The real components are device-side programs (the installer that
// runs on the handheld, its flash initialiser and restorer, and the uninstaller) that this
// project does not have.  The document only copies their resources or embeds them whole, so
// any resource database of type 'appl' serves: each stand-in holds a few small code-like
// resources with fixed bytes and times, so builds are reproducible, and PayLoad carries the
// 'tAIN' 1000 launcher name "Installer" that a package with an empty name keeps.
#include "prc.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kFixedPalmTime = 0xBA4E2A00; // a fixed time in 1999
constexpr uint16_t kResourceDatabase = PRC_FLAGS_RESOURCE;

struct Resource {
    const char *type;
    uint16_t id;
    std::vector<uint8_t> body;
};

struct Component {
    const char *file;
    const char *name;
    const char *creator;
    std::vector<Resource> resources;
};

// A short 68k-looking routine: link, a few moves, unlink, return; salted so each differs.
std::vector<uint8_t> CodeBytes(uint8_t salt, size_t length) {
    std::vector<uint8_t> code = {0x4E, 0x56, 0x00, 0x00, 0x48, 0xE7, 0x1F, 0x38};
    for (size_t i = code.size(); i + 4 < length; ++i) {
        code.push_back(static_cast<uint8_t>(salt + i * 7));
    }
    code.insert(code.end(), {0x4E, 0x5E, 0x4E, 0x75});
    return code;
}

std::vector<uint8_t> Text(const std::string &text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

std::vector<Component> Components() {
    return {
        {"PayLoad.prc",
         "PayLoad",
         "Jpld",
         {{"code", 0, CodeBytes(0x10, 24)},
          {"code", 1, CodeBytes(0x20, 600)},
          {"data", 0, std::vector<uint8_t>(64, 0)},
          {"tver", 1, Text("stand-in 1.0")},
          {"tAIN", 1000, Text("Installer")}}},
        {"FlashInit.prc",
         "FlashInit",
         "JFin",
         {{"code", 0, CodeBytes(0x30, 24)}, {"code", 1, CodeBytes(0x40, 300)}}},
        {"FlashRestore.prc",
         "FlashRestore",
         "JFrs",
         {{"code", 0, CodeBytes(0x50, 24)}, {"code", 1, CodeBytes(0x60, 400)}}},
        {"Uninstaller.prc",
         "Uninstaller",
         "JFun",
         {{"code", 0, CodeBytes(0x70, 24)},
          {"code", 1, CodeBytes(0x80, 200)},
          {"tAIN", 1000, Text("Uninstaller")}}},
    };
}

bool AppendResource(prc_t *db, const Resource &resource) {
    prc_record_t *entry = prcnewresource();
    if (entry == nullptr ||
        prcresourceset(entry, prcstrtotype(resource.type), resource.id, resource.body.data(),
                       static_cast<uint32_t>(resource.body.size())) != 0 ||
        prcappendresource(db, entry) == nullptr) {
        prcdestroyresource(entry);
        return false;
    }
    return true;
}

bool Write(const std::string &folder, const Component &component) {
    const std::string path = folder + "/" + component.file;
    prc_t *db = prccreate(path.c_str(), component.name, prcstrtotype("appl"),
                          prcstrtotype(component.creator), kResourceDatabase);
    if (db == nullptr) {
        return false;
    }
    db->ctime = db->mtime = kFixedPalmTime;
    for (const Resource &resource : component.resources) {
        if (!AppendResource(db, resource)) {
            prcdestroy(db);
            return false;
        }
    }
    return prcclose(db) == 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    for (const Component &component : Components()) {
        if (!Write(argv[1], component)) {
            std::fprintf(stderr, "%s: cannot write %s/%s: %s\n", argv[0], argv[1], component.file,
                         prcstrerror(prcgeterrno()));
            return 1;
        }
    }
    return 0;
}
