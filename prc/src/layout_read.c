/* Parses a database file: header, entry list, bodies, then the application-info and
 * sort-info blocks of a record database.  Sizes come from the offsets, and no offset is
 * trusted: every body must lie inside the file, in list order. */
#include <stdlib.h>
#include <string.h>

#include "layout.h"

typedef struct raw_entry {
    uint32_t offset;
    uint32_t key; /* record: attribute byte << 24 | unique id; resource: type */
    uint16_t id;  /* resource id */
} raw_entry;

/* Reads `size` bytes at `offset` into a new buffer.  Fails with "seek failed" for an
 * offset past the end and "read failed" for a span that runs past it or comes short. */
static int read_span(const prc_reader *src, uint32_t file_size, uint32_t offset, uint32_t end,
                     int code_on_alloc, uint8_t **out) {
    *out = NULL;
    if (offset > file_size) {
        prc_set_error(PRC_ESEEK);
        return -1;
    }
    if (end < offset || end > file_size) {
        prc_set_error(PRC_EREAD);
        return -1;
    }
    uint32_t size = end - offset;
    if (size == 0) {
        return 0;
    }
    if (src->seek(src->ctx, offset) != 0) {
        prc_set_error(PRC_ESEEK);
        return -1;
    }
    uint8_t *buf = malloc(size);
    if (buf == NULL) {
        if (code_on_alloc != PRC_ENONE) {
            prc_set_error(code_on_alloc);
        }
        return -1;
    }
    if (src->read(src->ctx, buf, size) != size) {
        free(buf);
        prc_set_error(PRC_EREAD);
        return -1;
    }
    *out = buf;
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

static void decode_entries(const uint8_t *bytes, uint32_t count, int resource, raw_entry *out) {
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
}

/* Reads the entry list that follows the header.  Fails with the code unchanged when cut short. */
static raw_entry *read_entry_list(const prc_reader *src, uint32_t count, int resource) {
    uint32_t entry_size = resource ? PRC_RESOURCE_ENTRY_SIZE : PRC_RECORD_ENTRY_SIZE;
    size_t bytes_len = (size_t)count * entry_size;
    uint8_t *bytes = malloc(bytes_len ? bytes_len : 1);
    raw_entry *entries = malloc((count ? count : 1) * sizeof *entries);
    if (bytes == NULL || entries == NULL || src->read(src->ctx, bytes, bytes_len) != bytes_len) {
        free(bytes);
        free(entries);
        return NULL;
    }
    decode_entries(bytes, count, resource, entries);
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
    return entry;
}

/* Loads every body in list order; an empty body leaves the entry without data and notes
 * "zero length record". */
static int read_bodies(prc_handle *h, const prc_reader *src, const raw_entry *raw, uint32_t count,
                       uint32_t file_size) {
    int resource = prc_is_resource_db(&h->pub);
    prc_record_t **items = malloc((count ? count : 1) * sizeof *items);
    if (items == NULL) {
        return -1;
    }
    for (uint32_t i = 0; i < count; i++) {
        uint32_t end = i + 1 < count ? raw[i + 1].offset : file_size;
        items[i] = make_entry(&raw[i], resource);
        if (items[i] == NULL ||
            read_span(src, file_size, raw[i].offset, end, PRC_ENONE, &items[i]->data) != 0) {
            free(items[i]);
            for (uint32_t j = 0; j < i; j++) {
                free(items[j]->data);
                free(items[j]);
            }
            free(items);
            return -1;
        }
        items[i]->datalen = items[i]->data ? end - raw[i].offset : 0;
        if (items[i]->datalen == 0) {
            prc_set_error(PRC_EZERO);
        }
        if (i > 0) {
            items[i - 1]->next = items[i];
        }
    }
    h->pub.records = count ? items[0] : NULL;
    if (prc_index_adopt_list(h, items, count) != 0) {
        free(items);
    }
    return 0;
}

static int read_block(const prc_reader *src, uint32_t file_size, uint32_t offset, uint32_t end,
                      uint8_t **data, uint32_t *size) {
    if (offset == 0) {
        return 0;
    }
    if (read_span(src, file_size, offset, end, PRC_ENOMEM, data) != 0) {
        return -1;
    }
    *size = *data ? end - offset : 0;
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
    if (src->seek(src->ctx, 0) != 0) {
        prc_set_error(PRC_ESEEK);
        return -1;
    }
    if (src->read(src->ctx, header, sizeof header) != sizeof header) {
        return -1;
    }
    uint32_t appinfo_offset, sortinfo_offset;
    decode_header(prc, header, &appinfo_offset, &sortinfo_offset);
    uint32_t count = prc->nrecords;
    int resource = prc_is_resource_db(prc);

    raw_entry *raw = read_entry_list(src, count, resource);
    if (raw == NULL) {
        return -1;
    }
    uint32_t file_size;
    if (src->size(src->ctx, &file_size) != 0) {
        free(raw);
        prc_set_error(PRC_ESTAT);
        return -1;
    }
    int rc = read_bodies(h, src, raw, count, file_size);
    if (rc == 0 && !resource) {
        rc = read_info_blocks(prc, src, file_size, appinfo_offset, sortinfo_offset, raw, count);
    }
    free(raw);
    return rc;
}
