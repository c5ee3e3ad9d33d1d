/* Parses a database file: header, entry list, bodies, then the application-info and
 * sort-info blocks of a record database.  Sizes come from the offsets, and no offset is
 * trusted: every body must lie inside the file, in list order. */
#include <stdlib.h>
#include <string.h>

#include "layout.h"

typedef struct raw_entry {
    uint32_t offset;
    uint32_t end; /* the next entry's offset, or the end of the file */
    uint32_t key; /* record: attribute byte << 24 | unique id; resource: type */
    uint16_t id;  /* resource id */
} raw_entry;

static size_t read_into(const prc_reader *src, uint64_t offset, void *buf, size_t len) {
    struct iovec piece = {buf, len};
    return src->read_at(src->ctx, offset, &piece, 1);
}

/* A span must start inside the file ("seek failed") and run forward to no further than its
 * end ("read failed"). */
static int check_span(uint32_t file_size, uint32_t offset, uint32_t end) {
    if (offset > file_size) {
        prc_set_error(PRC_ESEEK);
        return -1;
    }
    if (end < offset || end > file_size) {
        prc_set_error(PRC_EREAD);
        return -1;
    }
    return 0;
}

static void decode_header(prc_t *prc, const uint8_t *h, uint32_t *appinfo_offset,
                          uint32_t *sortinfo_offset) {
    memcpy(prc->name, h, 32);
    prc->name[32] = '\0';
    size_t len = strnlen(prc->name, 32);
    memset(prc->name + len, 0, sizeof prc->name - len);
    prc->flags = prc_get_be16(h + 32);
    prc->version = prc_get_be16(h + 34);
    prc->ctime = prc_get_be32(h + 36);
    prc->mtime = prc_get_be32(h + 40);
    prc->btime = prc_get_be32(h + 44);
    prc->modnum = prc_get_be32(h + 48);
    *appinfo_offset = prc_get_be32(h + 52);
    *sortinfo_offset = prc_get_be32(h + 56);
    prc->type = prc_get_be32(h + 60);
    prc->creator = prc_get_be32(h + 64);
    prc->nrecords = prc_get_be16(h + 76);
}

static void decode_entries(const uint8_t *bytes, uint32_t count, int resource, uint32_t file_size,
                           raw_entry *out) {
    for (uint32_t i = 0; i < count; i++) {
        if (resource) {
            const uint8_t *e = bytes + i * PRC_RESOURCE_ENTRY_SIZE;
            out[i].key = prc_get_be32(e);
            out[i].id = prc_get_be16(e + 4);
            out[i].offset = prc_get_be32(e + 6);
        } else {
            const uint8_t *e = bytes + i * PRC_RECORD_ENTRY_SIZE;
            out[i].offset = prc_get_be32(e);
            out[i].key = prc_get_be32(e + 4);
            out[i].id = 0;
        }
    }
    for (uint32_t i = 0; i < count; i++) {
        out[i].end = i + 1 < count ? out[i + 1].offset : file_size;
    }
}

/* Reads the entry list that follows the header.  Fails with the code unchanged when cut short. */
static raw_entry *read_entry_list(const prc_reader *src, uint32_t count, int resource,
                                  uint32_t *file_size) {
    uint32_t entry_size = resource ? PRC_RESOURCE_ENTRY_SIZE : PRC_RECORD_ENTRY_SIZE;
    size_t bytes_len = (size_t)count * entry_size;
    uint8_t *bytes = malloc(bytes_len ? bytes_len : 1);
    raw_entry *entries = malloc((count ? count : 1) * sizeof *entries);
    if (bytes == NULL || entries == NULL ||
        read_into(src, PRC_HEADER_SIZE, bytes, bytes_len) != bytes_len) {
        free(bytes);
        free(entries);
        return NULL;
    }
    if (src->size(src->ctx, file_size) != 0) {
        free(bytes);
        free(entries);
        prc_set_error(PRC_ESTAT);
        return NULL;
    }
    decode_entries(bytes, count, resource, *file_size, entries);
    free(bytes);
    return entries;
}

static prc_record_t *make_entry(const raw_entry *raw, int resource) {
    prc_record_t *entry = calloc(1, sizeof *entry);
    if (entry == NULL) {
        return NULL;
    }
    if (resource) {
        entry->type = raw->key;
        entry->id = raw->id;
    } else {
        entry->uid = raw->key & 0x00FFFFFFu;
        entry->attr = (uint16_t)(raw->key >> 24);
    }
    uint32_t size = raw->end - raw->offset;
    if (size > 0) {
        entry->data = malloc(size);
        if (entry->data == NULL) {
            free(entry);
            return NULL;
        }
        entry->datalen = size;
    }
    return entry;
}

static void free_items(prc_record_t **items, uint32_t count) {
    for (uint32_t i = 0; i < count; i++) {
        free(items[i]->data);
        free(items[i]);
    }
    free(items);
}

/* The bodies tile the file from the first entry's offset to its end, so one scattered read
 * fills them all. */
static int read_body_run(const prc_reader *src, prc_record_t **items, const raw_entry *raw,
                         uint32_t count) {
    struct iovec *pieces = malloc((count ? count : 1) * sizeof *pieces);
    if (pieces == NULL) {
        return -1;
    }
    int used = 0;
    size_t wanted = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (items[i]->datalen > 0) {
            pieces[used].iov_base = items[i]->data;
            pieces[used].iov_len = items[i]->datalen;
            wanted += items[i]->datalen;
            used++;
        }
    }
    size_t got = used > 0 ? src->read_at(src->ctx, raw[0].offset, pieces, used) : 0;
    free(pieces);
    if (got != wanted) {
        prc_set_error(PRC_EREAD);
        return -1;
    }
    return 0;
}

/* Loads every body; an empty body leaves the entry without data and notes "zero length record". */
static int read_bodies(prc_handle *h, const prc_reader *src, const raw_entry *raw, uint32_t count,
                       uint32_t file_size) {
    for (uint32_t i = 0; i < count; i++) {
        if (check_span(file_size, raw[i].offset, raw[i].end) != 0) {
            return -1;
        }
    }
    int resource = prc_is_resource_db(&h->pub);
    prc_record_t **items = malloc((count ? count : 1) * sizeof *items);
    if (items == NULL) {
        return -1;
    }
    int zero_length = 0;
    for (uint32_t i = 0; i < count; i++) {
        items[i] = make_entry(&raw[i], resource);
        if (items[i] == NULL) {
            free_items(items, i);
            return -1;
        }
        zero_length |= items[i]->datalen == 0;
        if (i > 0) {
            items[i - 1]->next = items[i];
        }
    }
    if (read_body_run(src, items, raw, count) != 0) {
        free_items(items, count);
        return -1;
    }
    if (zero_length) {
        prc_set_error(PRC_EZERO);
    }
    h->pub.records = count ? items[0] : NULL;
    prc_index_adopt_list(h, items, count);
    return 0;
}

static int read_block(const prc_reader *src, uint32_t file_size, uint32_t offset, uint32_t end,
                      uint8_t **data, uint32_t *size) {
    if (offset == 0) {
        return 0;
    }
    if (check_span(file_size, offset, end) != 0) {
        return -1;
    }
    if (end == offset) {
        return 0;
    }
    uint8_t *block = malloc(end - offset);
    if (block == NULL) {
        prc_set_error(PRC_ENOMEM);
        return -1;
    }
    if (read_into(src, offset, block, end - offset) != end - offset) {
        free(block);
        prc_set_error(PRC_EREAD);
        return -1;
    }
    *data = block;
    *size = end - offset;
    return 0;
}

/* The application-info block ends at the sort-info block, else at the first body, else at
 * the end of the file; the sort-info block ends at the first body or the end of the file. */
static int read_info_blocks(prc_t *prc, const prc_reader *src, uint32_t file_size,
                            uint32_t appinfo_offset, uint32_t sortinfo_offset, const raw_entry *raw,
                            uint32_t count) {
    uint32_t bodies_start = count > 0 ? raw[0].offset : file_size;
    uint32_t appinfo_end = sortinfo_offset != 0 ? sortinfo_offset : bodies_start;
    if (read_block(src, file_size, appinfo_offset, appinfo_end, &prc->appinfo, &prc->appinfosize) !=
        0) {
        return -1;
    }
    return read_block(src, file_size, sortinfo_offset, bodies_start, &prc->sortinfo,
                      &prc->sortinfosize);
}

int prc_read_database(prc_handle *h, const prc_reader *src) {
    prc_t *prc = &h->pub;
    uint8_t header[PRC_HEADER_SIZE];
    if (read_into(src, 0, header, sizeof header) != sizeof header) {
        return -1;
    }
    uint32_t appinfo_offset, sortinfo_offset;
    decode_header(prc, header, &appinfo_offset, &sortinfo_offset);
    uint32_t count = prc->nrecords;
    int resource = prc_is_resource_db(prc);

    uint32_t file_size;
    raw_entry *raw = read_entry_list(src, count, resource, &file_size);
    if (raw == NULL) {
        return -1;
    }
    int rc = read_bodies(h, src, raw, count, file_size);
    if (rc == 0 && !resource) {
        rc = read_info_blocks(prc, src, file_size, appinfo_offset, sortinfo_offset, raw, count);
    }
    free(raw);
    return rc;
}
