// Helpers for the libprc tests: temporary folders, files, and database images built in memory.
#pragma once

#include "prc.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace prctest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct PrcDestroyer {
    void operator()(prc_t *prc) const { prcdestroy(prc); }
};
using PrcPtr = std::unique_ptr<prc_t, PrcDestroyer>;

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "prc_test_XXXXXX").string();
        root_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    fs::path root() const { return root_; }
    std::string path(const std::string &name) const { return (root_ / name).string(); }

private:
    fs::path root_;
};

inline void put16(Bytes &out, uint32_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

inline void put32(Bytes &out, uint32_t value) {
    put16(out, value >> 16);
    put16(out, value & 0xFFFF);
}

inline void putBytes(Bytes &out, const Bytes &more) {
    out.insert(out.end(), more.begin(), more.end());
}

inline uint32_t get16(const Bytes &in, size_t at) {
    return uint32_t(in.at(at)) << 8 | in.at(at + 1);
}
inline uint32_t get32(const Bytes &in, size_t at) {
    return get16(in, at) << 16 | get16(in, at + 2);
}

// The 78-byte header; fields not given are zero, except version 1.
struct Header {
    std::string name = "Test";
    uint16_t flags = 0;
    uint16_t version = 1;
    uint32_t ctime = 0, mtime = 0, btime = 0, modnum = 0;
    uint32_t appinfo = 0, sortinfo = 0;
    uint32_t type = 0x44415441, creator = 0x74657374; // "DATA", "test"
    uint32_t seed = 0, nextlist = 0;
    uint16_t count = 0;
};

inline Bytes headerBytes(const Header &h) {
    Bytes out(h.name.begin(), h.name.end());
    out.resize(32, 0);
    put16(out, h.flags);
    put16(out, h.version);
    for (uint32_t v : {h.ctime, h.mtime, h.btime, h.modnum, h.appinfo, h.sortinfo, h.type,
                       h.creator, h.seed, h.nextlist})
        put32(out, v);
    put16(out, h.count);
    return out;
}

inline void putRecordEntry(Bytes &out, uint32_t offset, uint8_t attr, uint32_t uid) {
    put32(out, offset);
    put32(out, uint32_t(attr) << 24 | uid);
}

// One entry of an image: key is the uid or resource type, tag the record attributes or resource id.
struct Entry {
    Bytes body;
    uint32_t key = 0;
    uint16_t tag = 0;
};

// A whole database image laid out as the writer lays it out; the kind follows h.flags.
inline Bytes image(Header h, const std::vector<Entry> &entries, const Bytes &appinfo = {},
                   const Bytes &sortinfo = {}) {
    const bool resource = h.flags & PRC_FLAGS_RESOURCE;
    uint32_t at = 80 + (resource ? 10 : 8) * uint32_t(entries.size());
    h.count = uint16_t(entries.size());
    h.appinfo = appinfo.empty() ? 0 : at;
    at += uint32_t(appinfo.size());
    h.sortinfo = sortinfo.empty() ? 0 : at;
    at += uint32_t(sortinfo.size());
    Bytes out = headerBytes(h);
    for (const Entry &e : entries) {
        if (resource) {
            put32(out, e.key);
            put16(out, e.tag);
            put32(out, at);
        } else {
            putRecordEntry(out, at, uint8_t(e.tag), e.key);
        }
        at += uint32_t(e.body.size());
    }
    put16(out, 0);
    putBytes(out, appinfo);
    putBytes(out, sortinfo);
    for (const Entry &e : entries)
        putBytes(out, e.body);
    return out;
}

// n bytes counting up from first, so misplaced bytes show.
inline Bytes pattern(size_t n, uint8_t first = 1) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(first + i);
    return out;
}

inline Bytes concat(Bytes first, const Bytes &second) {
    putBytes(first, second);
    return first;
}

inline void writeFile(const std::string &path, const Bytes &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

inline Bytes readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes bytesOf(const uint8_t *data, uint32_t size) {
    return data ? Bytes(data, data + size) : Bytes();
}

inline Bytes bodyOf(const prc_record_t *rec) {
    return bytesOf(rec->data, rec->datalen);
}

inline prc_record_t *appendRecord(prc_t *prc, const Bytes &body, uint8_t attr = 0,
                                  uint32_t uid = 0) {
    prc_record_t *rec = prcnewrecord();
    prcrecordset(rec, body.data(), uint32_t(body.size()));
    rec->attr = attr;
    rec->uid = uid;
    return prcappendrecord(prc, rec);
}

inline prc_record_t *appendResource(prc_t *prc, uint32_t type, uint16_t id, const Bytes &body) {
    prc_record_t *res = prcnewresource();
    prcresourceset(res, type, id, body.data(), uint32_t(body.size()));
    return prcappendresource(prc, res);
}

} // namespace prctest
