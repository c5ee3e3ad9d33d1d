/* Byte sources and sinks for the layout code, so parsing and writing never touch a file
 * directly; the stdio versions serve the library's FILE-based interface. */
#ifndef PRC_BYTE_IO_H
#define PRC_BYTE_IO_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

typedef struct prc_reader {
    void *ctx;
    int (*seek)(void *ctx, uint32_t offset);          /* 0, or -1 */
    size_t (*read)(void *ctx, void *buf, size_t len); /* bytes read; short at the end */
    int (*size)(void *ctx, uint32_t *size);           /* 0, or -1 when it cannot be told */
} prc_reader;

typedef struct prc_writer {
    void *ctx;
    size_t (*write)(void *ctx, const void *buf, size_t len); /* bytes written */
} prc_writer;

/* A reader over a stdio stream; keeps the position so sequential reads need no seek. */
typedef struct prc_stdio_source {
    FILE *fp;
    uint64_t pos;
    int pos_known;
} prc_stdio_source;

prc_reader prc_stdio_reader(prc_stdio_source *source, FILE *fp);
prc_writer prc_stdio_writer(FILE *fp);

#endif
