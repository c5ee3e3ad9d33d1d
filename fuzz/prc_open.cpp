// Fuzz target: any bytes either fail to open cleanly or open into a database that writes
// back, reopens with the same content, and writes the same bytes a second time.
#include "prc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kBlockMagic = 0x44424C4B; // "DBLK"
constexpr uint32_t kBlockHeaderSize = 8;

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

uint32_t readBigEndian32(const uint8_t *bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
           uint32_t{bytes[3]};
}

struct Entry {
    std::vector<uint8_t> body;
    uint32_t key;    // record: uid (24 bits); resource: type
    uint16_t subkey; // record: attr (8 bits); resource: id
};

// Everything of a database that must survive a write and a reread.
struct Snapshot {
    char name[sizeof(prc_t::name)];
    uint16_t flags, version;
    uint32_t ctime, mtime, btime, modnum, type, creator;
    uint16_t nrecords;
    std::vector<uint8_t> appinfo, sortinfo;
    std::vector<Entry> entries;
};

bool isResourceDb(const prc_t *prc) {
    return (prc->flags & PRC_FLAGS_RESOURCE) != 0;
}

std::vector<uint8_t> bytesOf(const uint8_t *data, uint32_t size) {
    check((data == nullptr) == (size == 0));
    return data == nullptr ? std::vector<uint8_t>{} : std::vector<uint8_t>(data, data + size);
}

Entry entryOf(const prc_t *prc, const prc_record_t *rec) {
    Entry entry{bytesOf(rec->data, rec->datalen), rec->type, rec->id};
    if (!isResourceDb(prc)) {
        entry.key = rec->uid & 0xFFFFFF;
        entry.subkey = rec->attr & 0xFF;
    }
    return entry;
}

// The list, its count and the index behind prcgetrecord must agree.
std::vector<Entry> entriesOf(prc_t *prc) {
    std::vector<Entry> entries;
    for (prc_record_t *rec = prc->records; rec != nullptr; rec = rec->next) {
        check(entries.size() < prc->nrecords);
        check(prcgetrecord(prc, static_cast<uint16_t>(entries.size())) == rec);
        entries.push_back(entryOf(prc, rec));
    }
    check(entries.size() == prc->nrecords);
    check(prcgetnrecords(prc) == prc->nrecords);
    return entries;
}

Snapshot snapshotOf(prc_t *prc) {
    check(std::memchr(prc->name, '\0', sizeof(prc->name)) != nullptr);
    Snapshot snap{};
    std::memcpy(snap.name, prc->name, sizeof(snap.name));
    snap.flags = prc->flags;
    snap.version = prc->version;
    snap.ctime = prc->ctime;
    snap.mtime = prc->mtime;
    snap.btime = prc->btime;
    snap.modnum = prc->modnum;
    snap.type = prc->type;
    snap.creator = prc->creator;
    snap.nrecords = prc->nrecords;
    if (!isResourceDb(prc)) {
        snap.appinfo = bytesOf(prc->appinfo, prc->appinfosize);
        snap.sortinfo = bytesOf(prc->sortinfo, prc->sortinfosize);
    }
    snap.entries = entriesOf(prc);
    return snap;
}

// A stream database writes its last block only as far as the block's used length reaches.
void applyStreamTrim(Snapshot &snap) {
    if ((snap.flags & PRC_FLAGS_STREAM) == 0 || snap.entries.empty()) {
        return;
    }
    std::vector<uint8_t> &body = snap.entries.back().body;
    if (body.size() < kBlockHeaderSize || readBigEndian32(body.data()) != kBlockMagic) {
        return;
    }
    uint64_t written = uint64_t{kBlockHeaderSize} + readBigEndian32(body.data() + 4);
    if (written < body.size()) {
        body.resize(written);
    }
}

bool sameEntries(const std::vector<Entry> &a, const std::vector<Entry> &b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].body != b[i].body || a[i].key != b[i].key || a[i].subkey != b[i].subkey) {
            return false;
        }
    }
    return true;
}

bool sameContent(const Snapshot &a, const Snapshot &b) {
    return std::strcmp(a.name, b.name) == 0 && a.flags == b.flags && a.version == b.version &&
           a.ctime == b.ctime && a.mtime == b.mtime && a.btime == b.btime && a.modnum == b.modnum &&
           a.type == b.type && a.creator == b.creator && a.nrecords == b.nrecords &&
           a.appinfo == b.appinfo && a.sortinfo == b.sortinfo && sameEntries(a.entries, b.entries);
}

// An anonymous in-memory file with a real descriptor, so the flush can truncate it.
FILE *newScratchFile() {
    int fd = memfd_create("prc_open", 0);
    check(fd >= 0);
    FILE *fp = fdopen(fd, "w+b");
    check(fp != nullptr);
    return fp;
}

// Points the handle at a fresh scratch file and writes it there; returns the file.
FILE *flushToScratch(prc_t *prc) {
    FILE *out = newScratchFile();
    prc->fp = out;
    prc->openmode = PRC_OPEN_UPDATE;
    check(prcflush(prc) == 0);
    check(fflush(out) == 0);
    return out;
}

std::vector<uint8_t> contentsOf(FILE *fp) {
    check(fseek(fp, 0, SEEK_END) == 0);
    long size = ftell(fp);
    check(size >= 0);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    check(fseek(fp, 0, SEEK_SET) == 0);
    check(fread(bytes.data(), 1, bytes.size(), fp) == bytes.size());
    return bytes;
}

// A read-only memory stream over a private copy of the input.
FILE *streamOver(const uint8_t *data, size_t size, std::vector<uint8_t> &copy) {
    copy.assign(data, data + size);
    copy.push_back(0); // fmemopen needs a non-empty buffer; the stream still ends at size
    return fmemopen(copy.data(), size, "rb");
}

bool hasEntryWithoutData(const prc_t *prc) {
    for (const prc_record_t *rec = prc->records; rec != nullptr; rec = rec->next) {
        if (rec->datalen == 0) {
            return true;
        }
    }
    return false;
}

// A failed open names one of the reading failures; a good one notes empty bodies only.
void checkOpenCode(const prc_t *prc) {
    int code = prcgeterrno();
    if (prc == nullptr) {
        check(code == PRC_ENONE || code == PRC_ESEEK || code == PRC_EREAD || code == PRC_ENOMEM ||
              code == PRC_ESTAT);
    } else {
        check(code == (hasEntryWithoutData(prc) ? PRC_EZERO : PRC_ENONE));
    }
}

void checkRoundTrip(prc_t *prc) {
    Snapshot expected = snapshotOf(prc);
    applyStreamTrim(expected);

    FILE *first = flushToScratch(prc);
    prc_t *reopened = prcfpopen(first, PRC_OPEN_READ);
    check(reopened != nullptr);
    checkOpenCode(reopened);
    check(sameContent(snapshotOf(reopened), expected));

    FILE *second = flushToScratch(reopened);
    check(contentsOf(first) == contentsOf(second));

    prcdestroy(reopened);
    fclose(first);
    fclose(second);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<uint8_t> copy;
    FILE *in = streamOver(data, size, copy);
    check(in != nullptr);
    prc_t *prc = prcfpopen(in, PRC_OPEN_READ);
    checkOpenCode(prc);
    if (prc != nullptr) {
        checkRoundTrip(prc);
        prcdestroy(prc);
    }
    fclose(in);
    return 0;
}
