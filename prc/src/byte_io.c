/* stdio-based byte source and sink with scatter reads and gather writes on the descriptor. */
#include "byte_io.h"

#include <errno.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef IOV_MAX
#define IOV_MAX 1024
#endif

/* A descriptor the vectored calls may use: a regular file, so positions mean file offsets. */
static int regular_file_descriptor(FILE *fp) {
    struct stat st;
    int fd = fileno(fp);
    return fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fd : -1;
}

/* Drops the first `done` bytes from a piece list, so a short vectored call can go on. */
static int skip_done(struct iovec *pieces, int count, size_t done, int *first) {
    while (*first < count && done >= pieces[*first].iov_len) {
        done -= pieces[*first].iov_len;
        (*first)++;
    }
    if (*first < count) {
        pieces[*first].iov_base = (char *)pieces[*first].iov_base + done;
        pieces[*first].iov_len -= done;
    }
    return count - *first;
}

static size_t total_length(const struct iovec *pieces, int count) {
    size_t total = 0;
    for (int i = 0; i < count; i++) {
        total += pieces[i].iov_len;
    }
    return total;
}

static size_t pread_pieces(int fd, uint64_t offset, const struct iovec *pieces, int count) {
    size_t total = 0;
    for (int start = 0; start < count; start += IOV_MAX) {
        int batch = count - start < IOV_MAX ? count - start : IOV_MAX;
        struct iovec work[IOV_MAX];
        for (int i = 0; i < batch; i++) {
            work[i] = pieces[start + i];
        }
        size_t wanted = total_length(work, batch), got = 0;
        int first = 0;
        while (got < wanted) {
            ssize_t n = preadv(fd, work + first, batch - first, (off_t)(offset + total + got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return total + got;
            }
            got += (size_t)n;
            skip_done(work, batch, (size_t)n, &first);
        }
        total += got;
    }
    return total;
}

static size_t stream_read_pieces(FILE *fp, uint64_t offset, const struct iovec *pieces, int count) {
    if (fseeko(fp, (off_t)offset, SEEK_SET) != 0) {
        return 0;
    }
    size_t total = 0;
    for (int i = 0; i < count; i++) {
        size_t got = fread(pieces[i].iov_base, 1, pieces[i].iov_len, fp);
        total += got;
        if (got != pieces[i].iov_len) {
            break;
        }
    }
    return total;
}

static size_t stdio_read_at(void *ctx, uint64_t offset, const struct iovec *pieces, int count) {
    FILE *fp = ctx;
    int fd = regular_file_descriptor(fp);
    return fd >= 0 ? pread_pieces(fd, offset, pieces, count)
                   : stream_read_pieces(fp, offset, pieces, count);
}

/* The size of a regular file from fstat; other streams (memory, pipes) by seeking to the end. */
static int stdio_size(void *ctx, uint32_t *size) {
    FILE *fp = ctx;
    struct stat st;
    int fd = fileno(fp);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (st.st_size < 0 || (uint64_t)st.st_size > UINT32_MAX) {
            return -1;
        }
        *size = (uint32_t)st.st_size;
        return 0;
    }
    off_t here = ftello(fp);
    if (here < 0 || fseeko(fp, 0, SEEK_END) != 0) {
        return -1;
    }
    off_t end = ftello(fp);
    int restored = fseeko(fp, here, SEEK_SET) == 0;
    if (end < 0 || (uint64_t)end > UINT32_MAX || !restored) {
        return -1;
    }
    *size = (uint32_t)end;
    return 0;
}

prc_reader prc_stdio_reader(FILE *fp) {
    prc_reader reader = {fp, stdio_read_at, stdio_size};
    return reader;
}

static int writev_pieces(int fd, const struct iovec *pieces, int count) {
    for (int start = 0; start < count; start += IOV_MAX) {
        int batch = count - start < IOV_MAX ? count - start : IOV_MAX;
        struct iovec work[IOV_MAX];
        for (int i = 0; i < batch; i++) {
            work[i] = pieces[start + i];
        }
        size_t wanted = total_length(work, batch), put = 0;
        int first = 0;
        while (put < wanted) {
            ssize_t n = writev(fd, work + first, batch - first);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return -1;
            }
            put += (size_t)n;
            skip_done(work, batch, (size_t)n, &first);
        }
    }
    return 0;
}

static int stdio_write(void *ctx, const struct iovec *pieces, int count) {
    FILE *fp = ctx;
    int fd = regular_file_descriptor(fp);
    if (fd >= 0) {
        /* The stream's own buffer goes first; afterwards its position follows the descriptor. */
        off_t start = ftello(fp);
        if (start < 0 || fflush(fp) != 0 || lseek(fd, start, SEEK_SET) != start ||
            writev_pieces(fd, pieces, count) != 0) {
            return -1;
        }
        return fseeko(fp, lseek(fd, 0, SEEK_CUR), SEEK_SET) == 0 ? 0 : -1;
    }
    for (int i = 0; i < count; i++) {
        if (fwrite(pieces[i].iov_base, 1, pieces[i].iov_len, fp) != pieces[i].iov_len) {
            return -1;
        }
    }
    return 0;
}

prc_writer prc_stdio_writer(FILE *fp) {
    prc_writer writer = {fp, stdio_write};
    return writer;
}
