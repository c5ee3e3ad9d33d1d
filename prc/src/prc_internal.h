/* Private parts of libprc shared by its source files: the handle's hidden state, the
 * process-wide error code, big-endian byte helpers and the stream-block test. */
#ifndef PRC_INTERNAL_H
#define PRC_INTERNAL_H

/* Every function declared in the public header leaves the library; nothing else does. */
#pragma GCC visibility push(default)
#include "prc.h"
#pragma GCC visibility pop

#include <stddef.h>
#include <stdint.h>

#define PRC_ENTRY_LIMIT 65535u
#define PRC_RECORD_ENTRY_SIZE 8u
#define PRC_RESOURCE_ENTRY_SIZE 10u
#define PRC_GAP_SIZE 2u
#define PRC_BLOCK_MAGIC 0x44424C4Bu /* "DBLK" */
#define PRC_BLOCK_HEADER_SIZE 8u
#define PRC_BLOCK_RECORD_SIZE (PRC_BLOCK_HEADER_SIZE + PRC_STREAM_BLOCK_DATA)
#define PRC_PALM_EPOCH_OFFSET 2082844800 /* seconds from 1904-01-01 to 1970-01-01 */

/* Positions of the entries by index, so lookups by index and removal at either end
 * are constant time.  items[first .. first+count) mirror the list while `head` and
 * `count` still match the handle. */
typedef struct prc_index {
    prc_record_t **items;
    uint32_t first;
    uint32_t count;
    uint32_t capacity;
    prc_record_t *head;
    int valid;
} prc_index;

typedef struct prc_handle {
    prc_t pub;    /* must stay first: a prc_t* is a prc_handle* */
    char *path;   /* resolved path of a writable file the library opened; NULL otherwise */
    FILE *own_fp; /* the stream the library opened itself, closed by the library */
    prc_index index;
} prc_handle;

static inline prc_handle *prc_handle_of(prc_t *prc) {
    return (prc_handle *)prc;
}

/* errors.c */
void prc_set_error(int code);
void prc_clear_error(void);

/* handle.c */
prc_handle *prc_handle_new(void);
void prc_handle_free(prc_handle *h);
int prc_is_writable_mode(int mode);

/* owned_bytes.c */
/* Replaces a body or block with a copy of size bytes (NULL or 0: none); refuses more than
 * PRC_MAX_DATA_SIZE bytes with PRC_EBADARG, and PRC_ENOMEM leaves the old copy. */
int prc_replace_bytes(uint8_t **bytes, uint32_t *bytes_len, const void *data, uint32_t size);

/* entries.c */
void prc_index_reset(prc_index *index);
int prc_index_adopt_list(prc_handle *h, prc_record_t **items, uint32_t count);
prc_record_t *prc_append_entry(prc_t *prc, prc_record_t *entry);
void prc_free_entries(prc_record_t *head);

/* time_text.c */
uint32_t prc_now(void);

static inline uint16_t prc_get_be16(const uint8_t *p) {
    return (uint16_t)((p[0] << 8) | p[1]);
}

static inline uint32_t prc_get_be32(const uint8_t *p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

static inline void prc_put_be16(uint8_t *p, uint16_t v) {
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

static inline void prc_put_be32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

static inline int prc_is_resource_db(const prc_t *prc) {
    return (prc->flags & PRC_FLAGS_RESOURCE) != 0;
}

/* A stream block: at least its 8-byte header, starting with "DBLK". */
static inline int prc_is_stream_block(const prc_record_t *entry) {
    return entry->data != NULL && entry->datalen >= PRC_BLOCK_HEADER_SIZE &&
           prc_get_be32(entry->data) == PRC_BLOCK_MAGIC;
}

/* Data bytes a block really holds: its used length, never more than its body carries. */
static inline uint32_t prc_block_used_bytes(const prc_record_t *block) {
    uint32_t used = prc_get_be32(block->data + 4);
    uint32_t held = block->datalen - PRC_BLOCK_HEADER_SIZE;
    return used < held ? used : held;
}

#endif
