/* Reading and writing the byte layout of a whole database file through byte sources
 * and sinks. */
#ifndef PRC_LAYOUT_H
#define PRC_LAYOUT_H

#include "byte_io.h"
#include "prc_internal.h"

/* Loads header, entries and blocks from the source into an empty handle.  Returns 0, or
 * -1 with the error code set (left unchanged for a header or entry list cut short); on
 * failure the caller frees the handle with whatever it already holds. */
int prc_read_database(prc_handle *h, const prc_reader *source);

/* Writes the complete file image; `written` receives its length.  0, or -1 on a short write
 * or when the image would not fit the format's 32-bit offsets. */
int prc_write_database(const prc_t *prc, const prc_writer *sink, uint32_t *written);

/* Encodes the 78-byte header with the offsets the writer would use.  0, or -1. */
int prc_encode_header(const prc_t *prc, uint8_t out[PRC_HEADER_SIZE]);

#endif
