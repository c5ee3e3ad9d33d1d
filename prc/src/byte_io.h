/* Byte sources and sinks for the layout code, so parsing and writing never touch a file
 * directly.  Both move whole runs of bodies at once (scatter reads, gather writes), so a
 * database of thousands of small entries costs a handful of system calls, not one per entry. */
#ifndef PRC_BYTE_IO_H
#define PRC_BYTE_IO_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/uio.h>

typedef struct prc_reader {
    void *ctx;
    /* Fills the pieces in order from consecutive bytes starting at offset; returns the bytes
     * read, short at the end of the data or on failure. */
    size_t (*read_at)(void *ctx, uint64_t offset, const struct iovec *pieces, int count);
    int (*size)(void *ctx, uint32_t *size); /* 0, or -1 when it cannot be told */
} prc_reader;

typedef struct prc_writer {
    void *ctx;
    /* Writes the pieces one after another at the sink's position; 0, or -1 on a short write. */
    int (*write)(void *ctx, const struct iovec *pieces, int count);
} prc_writer;

/* A reader over a stdio stream: positioned reads on its file descriptor when it has one,
 * otherwise seeks and reads on the stream (memory streams, pipes). */
prc_reader prc_stdio_reader(FILE *fp);

/* A writer that appends to a stdio stream from its current position: gathered writes on its
 * file descriptor after flushing what the stream holds, or plain stream writes. */
prc_writer prc_stdio_writer(FILE *fp);

#endif
