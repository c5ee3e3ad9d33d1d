/* Byte-stream access to file-stream databases, whose records are "DBLK" blocks of up to
 * 4,096 data bytes; stream offset p lies in block p / 4096 at data byte p % 4096. */
#include <stdlib.h>
#include <string.h>

#include "prc_internal.h"

static int is_stream_db(prc_t *prc) {
    if ((prc->flags & PRC_FLAGS_STREAM) == 0) {
        prc_set_error(PRC_ENOTSTREAM);
        return 0;
    }
    return 1;
}

static uint32_t min_u32(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

uint32_t prcstreamread(prc_t *prc, void *buffer, uint32_t length) {
    prc_clear_error();
    if (prc == NULL || (buffer == NULL && length > 0)) {
        prc_set_error(PRC_EBADARG);
        return 0;
    }
    if (!is_stream_db(prc)) {
        return 0;
    }
    prc_record_t *block = prc->records;
    for (uint32_t skip = prc->streampos / PRC_STREAM_BLOCK_DATA; skip > 0; skip--) {
        if (block == NULL) {
            prc_set_error(PRC_EEOF);
            return 0;
        }
        if (!prc_is_stream_block(block)) {
            prc_set_error(PRC_ENOTSTREAM);
            return 0;
        }
        block = block->next;
    }
    uint32_t offset = prc->streampos % PRC_STREAM_BLOCK_DATA;
    uint32_t copied = 0;
    while (copied < length) {
        if (block == NULL) {
            prc_set_error(PRC_EEOF);
            break;
        }
        if (!prc_is_stream_block(block)) {
            prc_set_error(PRC_ENOTSTREAM);
            break;
        }
        uint32_t used = prc_block_used_bytes(block);
        if (offset < used) {
            uint32_t n = min_u32(length - copied, used - offset);
            memcpy((uint8_t *)buffer + copied, block->data + PRC_BLOCK_HEADER_SIZE + offset, n);
            copied += n;
        }
        offset = 0;
        if (copied < length) {
            block = block->next;
        }
    }
    prc->streampos += copied;
    return copied;
}

/* A new block is a full record: the magic, used length 4096 and 4,096 zero data bytes. */
static prc_record_t *append_new_block(prc_t *prc) {
    prc_record_t *block = calloc(1, sizeof *block);
    uint8_t *data = calloc(1, PRC_BLOCK_RECORD_SIZE);
    if (block == NULL || data == NULL) {
        free(block);
        free(data);
        prc_set_error(PRC_ENOMEM);
        return NULL;
    }
    prc_put_be32(data, PRC_BLOCK_MAGIC);
    prc_put_be32(data + 4, PRC_STREAM_BLOCK_DATA);
    block->data = data;
    block->datalen = PRC_BLOCK_RECORD_SIZE;
    if (prc_append_entry(prc, block) == NULL) {
        free(data);
        free(block);
        prc_set_error(PRC_ENOMEM);
        return NULL;
    }
    return block;
}

/* A block read from a file may be shorter than a full record (the last one is written only
 * as far as it is used); it is grown before any data goes into it. */
static int make_block_full(prc_record_t *block) {
    if (block->datalen >= PRC_BLOCK_RECORD_SIZE) {
        return 0;
    }
    uint8_t *data = realloc(block->data, PRC_BLOCK_RECORD_SIZE);
    if (data == NULL) {
        prc_set_error(PRC_ENOMEM);
        return -1;
    }
    memset(data + block->datalen, 0, PRC_BLOCK_RECORD_SIZE - block->datalen);
    block->data = data;
    block->datalen = PRC_BLOCK_RECORD_SIZE;
    return 0;
}

/* Walks over the blocks before the stream position, creating those that are missing.
 * Returns the block the position lies in (NULL when it does not exist yet, or on failure). */
static prc_record_t *block_at_position(prc_t *prc, int *failed) {
    prc_record_t *block = prc->records;
    *failed = 0;
    for (uint32_t skip = prc->streampos / PRC_STREAM_BLOCK_DATA; skip > 0; skip--) {
        if (block == NULL && (block = append_new_block(prc)) == NULL) {
            *failed = 1;
            return NULL;
        }
        block = block->next;
    }
    return block;
}

uint32_t prcstreamwrite(prc_t *prc, const void *buffer, uint32_t length) {
    prc_clear_error();
    if (prc == NULL || (buffer == NULL && length > 0)) {
        prc_set_error(PRC_EBADARG);
        return 0;
    }
    if (!is_stream_db(prc)) {
        return 0;
    }
    int failed;
    prc_record_t *block = block_at_position(prc, &failed);
    if (failed) {
        return 0;
    }
    uint32_t offset = prc->streampos % PRC_STREAM_BLOCK_DATA;
    uint32_t written = 0;
    while (written < length) {
        if (block == NULL && (block = append_new_block(prc)) == NULL) {
            break;
        }
        if (!prc_is_stream_block(block)) {
            prc_set_error(PRC_ENOTSTREAM);
            break;
        }
        if (make_block_full(block) != 0) {
            break;
        }
        uint32_t n = min_u32(length - written, PRC_STREAM_BLOCK_DATA - offset);
        memcpy(block->data + PRC_BLOCK_HEADER_SIZE + offset, (const uint8_t *)buffer + written, n);
        prc_put_be32(block->data + 4, offset + n);
        written += n;
        offset = 0;
        if (written < length) {
            block = block->next;
        }
    }
    prc->streampos += written;
    return written;
}
