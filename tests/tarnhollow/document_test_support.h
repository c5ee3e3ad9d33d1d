// Helpers for the document tests: a scratch folder with component databases, source
// databases of exact sizes made through libprc, entries as the pages add them, recorded
// message boxes, and reading a saved package back.
#pragma once

#include "prc.h"
#include "tarnhollow/document/tarnhollow_doc.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace doctest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using tarnhollow::BoxIcon;
using tarnhollow::CTarnhollowDoc;
using tarnhollow::PackageEntry;

struct PrcDestroyer {
    void operator()(prc_t *prc) const { prcdestroy(prc); }
};
using PrcPtr = std::unique_ptr<prc_t, PrcDestroyer>;

inline uint32_t Code(const char *text) {
    return prcstrtotype(text);
}

inline Bytes ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline Bytes Text(const std::string &text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

inline Bytes BodyOf(const prc_record_t *entry) {
    return entry == nullptr || entry->data == nullptr
               ? Bytes{}
               : Bytes(entry->data, entry->data + entry->datalen);
}

class RecordingBoxes : public tarnhollow::MessageBoxes {
public:
    void Show(const std::string &text, BoxIcon icon) override { shown.emplace_back(text, icon); }
    std::vector<std::pair<std::string, BoxIcon>> shown;
};

inline void AppendResource(prc_t *db, const char *type, uint16_t id, const Bytes &body) {
    prc_record_t *res = prcnewresource();
    ASSERT_EQ(prcresourceset(res, Code(type), id, body.data(), uint32_t(body.size())), 0);
    ASSERT_NE(prcappendresource(db, res), nullptr);
}

inline void WriteResourceDb(const fs::path &path, const char *name, const char *creator,
                            const std::vector<std::pair<std::string, Bytes>> &resources) {
    prc_t *db = prccreate(path.c_str(), name, Code("appl"), Code(creator), PRC_FLAGS_RESOURCE);
    ASSERT_NE(db, nullptr);
    uint16_t id = 0;
    for (const auto &[type, body] : resources) {
        AppendResource(db, type.c_str(), type == "tAIN" ? 1000 : id++, body);
    }
    ASSERT_EQ(prcclose(db), 0);
}

// A record database file of exactly `bytes` bytes (at least 100), with patterned bodies.
inline void WriteSourceDb(const fs::path &path, const std::string &name, const char *type,
                          const char *creator, uint64_t bytes) {
    const uint64_t perRecord = PRC_MAX_DATA_SIZE + 8;
    const uint64_t count = (bytes - 80 + perRecord - 1) / perRecord;
    uint64_t left = bytes - 80 - 8 * count;
    prc_t *db = prccreate(path.c_str(), name.c_str(), Code(type), Code(creator), 0);
    ASSERT_NE(db, nullptr);
    db->version = 7;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t size = left / (count - i);
        left -= size;
        Bytes body(size);
        for (uint64_t at = 0; at < size; ++at) {
            body[at] = uint8_t(at * 13 + i + name.size());
        }
        prc_record_t *rec = prcnewrecord();
        ASSERT_EQ(prcrecordset(rec, body.data(), uint32_t(size)), 0);
        ASSERT_NE(prcappendrecord(db, rec), nullptr);
    }
    ASSERT_EQ(prcclose(db), 0);
    ASSERT_EQ(fs::file_size(path), bytes);
}

// A package entry as the RAM and expansion-ROM pages make it from a database file.
inline PackageEntry EntryFor(const fs::path &path, uint8_t flags, uint8_t location) {
    PackageEntry entry;
    entry.file.reset(std::fopen(path.c_str(), "rb"));
    PrcPtr db(prcfpopen(entry.file.get(), PRC_OPEN_READ));
    EXPECT_NE(db, nullptr) << path;
    entry.SetName(db->name);
    entry.flags = flags;
    entry.location = location;
    entry.size = int32_t(fs::file_size(path));
    entry.type = db->type;
    entry.creator = db->creator;
    entry.headerWord = db->flags;
    return entry;
}

// A scratch folder with the four component databases in "SourcePRCs" and a new document.
class DocumentTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarnhollow_doc_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        components = root / "SourcePRCs";
        fs::create_directory(components);
        WriteResourceDb(components / "PayLoad.prc", "PayLoad", "Jpld",
                        {{"code", Bytes(40, 0x4E)},
                         {"code", Bytes(300, 0x75)},
                         {"tAIN", Text("Installer")},
                         {"pref", Bytes{1, 2}}});
        WriteResourceDb(components / "FlashInit.prc", "FlashInit", "JFin",
                        {{"code", Bytes(200, 0x11)}});
        WriteResourceDb(components / "FlashRestore.prc", "FlashRestore", "JFrs",
                        {{"code", Bytes(250, 0x22)}});
        WriteResourceDb(components / "Uninstaller.prc", "Uninstaller", "JFun",
                        {{"code", Bytes(90, 0x33)}, {"data", Bytes(10, 0x44)}});
        doc = std::make_unique<CTarnhollowDoc>(nullptr, components);
        doc->OnNewDocument();
    }
    void TearDown() override {
        doc.reset();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    fs::path Source(const std::string &name, uint64_t bytes, const char *type = "appl") {
        fs::path path = root / (name + ".prc");
        WriteSourceDb(path, name, type, "Srce", bytes);
        return path;
    }
    void AddRam(const std::string &name, uint64_t bytes, bool checked = true) {
        doc->m_ramList.push_back(EntryFor(Source(name, bytes), checked ? 5 : 4, checked ? 3 : 2));
    }
    void AddRom(const std::string &name, uint64_t bytes) {
        doc->m_romList.push_back(EntryFor(Source(name, bytes), 0x12, 2));
    }
    bool Save(const std::string &file = "MyPkg.prc") {
        doc->SetModifiedFlag();
        return doc->OnSaveDocument(root / file, boxes);
    }
    std::unique_ptr<CTarnhollowDoc> Reopen(const std::string &file = "MyPkg.prc") {
        auto opened = std::make_unique<CTarnhollowDoc>(nullptr, components);
        EXPECT_TRUE(opened->OnOpenDocument(root / file, boxes));
        return opened;
    }
    PrcPtr Package(const std::string &file = "MyPkg.prc") {
        return PrcPtr(prcopen((root / file).c_str(), PRC_OPEN_READ));
    }

    fs::path root;
    fs::path components;
    std::unique_ptr<CTarnhollowDoc> doc;
    RecordingBoxes boxes;
};

// "type+id" of every resource in list order, space-separated: "maxr1000 code0 eprc1000".
inline std::string Layout(prc_t *db) {
    std::string layout;
    for (prc_record_t *res = db->records; res != nullptr; res = res->next) {
        char type[PRC_TYPE_TEXT_SIZE];
        layout += (layout.empty() ? "" : " ") + std::string(prctypetostr(type, res->type)) +
                  std::to_string(res->id);
    }
    return layout;
}

// The bodies of 'eprc' base, base + 1, ... up to the first missing id.
inline std::vector<Bytes> Chunks(prc_t *package, uint16_t base) {
    std::vector<Bytes> chunks;
    for (uint16_t id = base; prc_record_t *res = prcgetresource(package, Code("eprc"), id); ++id) {
        chunks.push_back(BodyOf(res));
    }
    return chunks;
}

inline Bytes Group(prc_t *package, uint16_t base) {
    Bytes all;
    for (const Bytes &chunk : Chunks(package, base)) {
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    return all;
}

// A database read from bytes in memory (through a temporary file).
inline PrcPtr DatabaseFrom(const Bytes &bytes) {
    std::FILE *file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
    PrcPtr db(prcfpopen(file, PRC_OPEN_READ));
    std::fclose(file); // the handle keeps what it read and never touches the stream again
    return db;
}

inline PrcPtr GroupDatabase(prc_t *package, uint16_t base) {
    return DatabaseFrom(Group(package, base));
}

inline Bytes StreamBytes(std::FILE *stream) {
    Bytes bytes;
    std::rewind(stream);
    for (int c; (c = std::fgetc(stream)) != EOF;) {
        bytes.push_back(uint8_t(c));
    }
    return bytes;
}

} // namespace doctest
