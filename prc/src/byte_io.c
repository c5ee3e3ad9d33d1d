/* stdio implementations of the layout code's byte source and sink. */
#include "byte_io.h"

#include <sys/stat.h>

static int stdio_seek(void *ctx, uint32_t offset) {
    prc_stdio_source *s = ctx;
    if (s->pos_known && s->pos == offset) {
        return 0;
    }
    if (fseeko(s->fp, (off_t)offset, SEEK_SET) != 0) {
        s->pos_known = 0;
        return -1;
    }
    s->pos = offset;
    s->pos_known = 1;
    return 0;
}

static size_t stdio_read(void *ctx, void *buf, size_t len) {
    prc_stdio_source *s = ctx;
    size_t got = fread(buf, 1, len, s->fp);
    s->pos += got;
    return got;
}

/* The size of a regular file from fstat; other streams (memory, pipes) by seeking to the end. */
static int stdio_size(void *ctx, uint32_t *size) {
    prc_stdio_source *s = ctx;
    struct stat st;
    int fd = fileno(s->fp);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (st.st_size < 0 || (uint64_t)st.st_size > UINT32_MAX) {
            return -1;
        }
        *size = (uint32_t)st.st_size;
        return 0;
    }
    off_t here = ftello(s->fp);
    if (here < 0 || fseeko(s->fp, 0, SEEK_END) != 0) {
        return -1;
    }
    off_t end = ftello(s->fp);
    int restored = fseeko(s->fp, here, SEEK_SET) == 0;
    if (end < 0 || (uint64_t)end > UINT32_MAX || !restored) {
        return -1;
    }
    *size = (uint32_t)end;
    return 0;
}

prc_reader prc_stdio_reader(prc_stdio_source *source, FILE *fp) {
    source->fp = fp;
    source->pos = 0;
    source->pos_known = 0;
    prc_reader reader = {source, stdio_seek, stdio_read, stdio_size};
    return reader;
}

static size_t stdio_write(void *ctx, const void *buf, size_t len) {
    return fwrite(buf, 1, len, (FILE *)ctx);
}

prc_writer prc_stdio_writer(FILE *fp) {
    prc_writer writer = {fp, stdio_write};
    return writer;
}
