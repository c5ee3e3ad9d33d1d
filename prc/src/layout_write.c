/* Writes a database file: header with computed offsets, entry list, the two-byte gap,
 * the application-info and sort-info blocks of a record database, then every body. */
#include <stdlib.h>
#include <string.h>

#include "layout.h"

typedef struct layout_plan {
    uint32_t count;
    uint32_t entry_size;
    int writes_info_blocks; /* record databases only */
    uint32_t appinfo_offset;
    uint32_t sortinfo_offset;
    uint32_t first_body;
    uint32_t total_size;
} layout_plan;

/* The last block of a stream database is written only as far as its data is used. */
static uint32_t written_body_size(const prc_t *prc, const prc_record_t *entry) {
    if (entry->data == NULL) {
        return 0;
    }
    if ((prc->flags & PRC_FLAGS_STREAM) && entry->next == NULL && prc_is_stream_block(entry)) {
        return PRC_BLOCK_HEADER_SIZE + prc_block_used_bytes(entry);
    }
    return entry->datalen;
}

static uint32_t block_size(const uint8_t *data, uint32_t size) {
    return data ? size : 0;
}

/* Works out every offset; fails when the list is longer than a file can count or the
 * file would outgrow 32-bit offsets. */
static int plan_layout(const prc_t *prc, layout_plan *plan) {
    memset(plan, 0, sizeof *plan);
    uint64_t bodies = 0;
    for (const prc_record_t *e = prc->records; e != NULL; e = e->next) {
        if (++plan->count > PRC_ENTRY_LIMIT) {
            return -1;
        }
        bodies += written_body_size(prc, e);
    }
    int resource = prc_is_resource_db(prc);
    plan->entry_size = resource ? PRC_RESOURCE_ENTRY_SIZE : PRC_RECORD_ENTRY_SIZE;
    plan->writes_info_blocks = !resource;
    uint64_t after_gap = PRC_HEADER_SIZE + (uint64_t)plan->count * plan->entry_size + PRC_GAP_SIZE;
    uint64_t next = after_gap;
    if (plan->writes_info_blocks) {
        uint32_t appinfo = block_size(prc->appinfo, prc->appinfosize);
        uint32_t sortinfo = block_size(prc->sortinfo, prc->sortinfosize);
        plan->appinfo_offset = appinfo ? (uint32_t)next : 0;
        next += appinfo;
        plan->sortinfo_offset = sortinfo ? (uint32_t)next : 0;
        next += sortinfo;
    }
    uint64_t total = next + bodies;
    if (total > UINT32_MAX) {
        return -1;
    }
    plan->first_body = (uint32_t)next;
    plan->total_size = (uint32_t)total;
    return 0;
}

static void encode_planned_header(const prc_t *prc, const layout_plan *plan, uint8_t *out) {
    memset(out, 0, PRC_HEADER_SIZE);
    memcpy(out, prc->name, strnlen(prc->name, 32));
    prc_put_be16(out + 32, prc->flags);
    prc_put_be16(out + 34, prc->version);
    prc_put_be32(out + 36, prc->ctime);
    prc_put_be32(out + 40, prc->mtime);
    prc_put_be32(out + 44, prc->btime);
    prc_put_be32(out + 48, prc->modnum);
    prc_put_be32(out + 52, plan->appinfo_offset);
    prc_put_be32(out + 56, plan->sortinfo_offset);
    prc_put_be32(out + 60, prc->type);
    prc_put_be32(out + 64, prc->creator);
    /* 68: unique id seed and 72: next entry list stay zero. */
    prc_put_be16(out + 76, (uint16_t)plan->count);
}

int prc_encode_header(const prc_t *prc, uint8_t out[PRC_HEADER_SIZE]) {
    layout_plan plan;
    if (plan_layout(prc, &plan) != 0) {
        return -1;
    }
    encode_planned_header(prc, &plan, out);
    return 0;
}

static void encode_entry(const prc_t *prc, const prc_record_t *e, uint32_t offset, uint8_t *out) {
    if (prc_is_resource_db(prc)) {
        prc_put_be32(out, e->type);
        prc_put_be16(out + 4, e->id);
        prc_put_be32(out + 6, offset);
    } else {
        prc_put_be32(out, offset);
        prc_put_be32(out + 4, ((uint32_t)(e->attr & 0xFFu) << 24) | (e->uid & 0x00FFFFFFu));
    }
}

/* Header, entry list and the two-byte gap, in one buffer. */
static uint8_t *encode_prelude(const prc_t *prc, const layout_plan *plan, size_t *len) {
    *len = PRC_HEADER_SIZE + (size_t)plan->count * plan->entry_size + PRC_GAP_SIZE;
    uint8_t *prelude = calloc(1, *len);
    if (prelude == NULL) {
        return NULL;
    }
    encode_planned_header(prc, plan, prelude);
    uint8_t *entry = prelude + PRC_HEADER_SIZE;
    uint32_t offset = plan->first_body;
    for (const prc_record_t *e = prc->records; e != NULL; e = e->next) {
        encode_entry(prc, e, offset, entry);
        entry += plan->entry_size;
        offset += written_body_size(prc, e);
    }
    return prelude; /* the gap is already zero */
}

static void add_piece(struct iovec *pieces, int *count, const void *data, size_t len) {
    if (len > 0) {
        pieces[*count].iov_base = (void *)data;
        pieces[*count].iov_len = len;
        (*count)++;
    }
}

int prc_write_database(const prc_t *prc, const prc_writer *sink, uint32_t *written) {
    layout_plan plan;
    if (plan_layout(prc, &plan) != 0) {
        return -1;
    }
    size_t prelude_len;
    uint8_t *prelude = encode_prelude(prc, &plan, &prelude_len);
    struct iovec *pieces = malloc((plan.count + 3) * sizeof *pieces);
    if (prelude == NULL || pieces == NULL) {
        free(prelude);
        free(pieces);
        return -1;
    }
    int count = 0;
    add_piece(pieces, &count, prelude, prelude_len);
    if (plan.writes_info_blocks) {
        add_piece(pieces, &count, prc->appinfo, block_size(prc->appinfo, prc->appinfosize));
        add_piece(pieces, &count, prc->sortinfo, block_size(prc->sortinfo, prc->sortinfosize));
    }
    for (const prc_record_t *e = prc->records; e != NULL; e = e->next) {
        add_piece(pieces, &count, e->data, written_body_size(prc, e));
    }
    int rc = sink->write(sink->ctx, pieces, count);
    free(pieces);
    free(prelude);
    if (rc != 0) {
        return -1;
    }
    *written = plan.total_size;
    return 0;
}

int prcfwriteheader(FILE *fp, prc_t *prc) {
    uint8_t header[PRC_HEADER_SIZE];
    if (fp == NULL || prc == NULL || prc_encode_header(prc, header) != 0) {
        return -1;
    }
    return fwrite(header, 1, sizeof header, fp) == sizeof header ? 0 : -1;
}
