/* The database handle: opening by path or stream, flushing, closing, and the header setters. */
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "byte_io.h"
#include "layout.h"
#include "replace_file.h"

#define OPEN_UPDATE_BITS (0x01 | 0x04 | 0x08)
#define OPEN_WRITABLE_BITS 0x0F

int prc_is_writable_mode(int mode) {
    return (mode & OPEN_WRITABLE_BITS) != 0;
}

static int is_create_mode(int mode) {
    return (mode & PRC_OPEN_CREATE) != 0;
}

prc_handle *prc_handle_new(void) {
    prc_handle *h = calloc(1, sizeof *h);
    if (h == NULL) {
        prc_set_error(PRC_ENOMEM);
        return NULL;
    }
    h->pub.version = 1;
    return h;
}

void prc_handle_free(prc_handle *h) {
    prc_free_entries(h->pub.records);
    free(h->pub.appinfo);
    free(h->pub.sortinfo);
    free(h->index.items);
    free(h->path);
    if (h->own_fp != NULL) {
        fclose(h->own_fp);
    }
    free(h);
}

prc_t *prcfpopen(FILE *fp, int mode) {
    prc_clear_error();
    if (fp == NULL) {
        prc_set_error(PRC_EBADARG);
        return NULL;
    }
    prc_handle *h = prc_handle_new();
    if (h == NULL) {
        return NULL;
    }
    if (!is_create_mode(mode)) {
        prc_reader reader = prc_stdio_reader(fp);
        if (prc_read_database(h, &reader) != 0) {
            prc_handle_free(h);
            return NULL;
        }
    }
    h->pub.fp = fp;
    h->pub.openmode = mode;
    h->pub.streampos = 0;
    return &h->pub;
}

static FILE *open_for_reading(const char *path) {
    return fopen(path, "rbe");
}

/* Creates an empty file when none exists yet, as opening with "wb" would, so the name is
 * claimed and the folder known to be writable; an existing file is left as it is. */
static int claim_path(const char *path) {
    struct stat st;
    if (stat(path, &st) == 0) {
        return prc_check_replaceable(path);
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return -1;
    }
    close(fd);
    return prc_check_replaceable(path);
}

static prc_t *fail_open(prc_handle *h, FILE *fp, int code) {
    if (h != NULL) {
        prc_handle_free(h);
    } else if (fp != NULL) {
        fclose(fp);
    }
    if (code != PRC_ENONE) {
        prc_set_error(code);
    }
    return NULL;
}

prc_t *prcopen(const char *path, int mode) {
    prc_clear_error();
    if (path == NULL) {
        prc_set_error(PRC_EOPEN);
        return NULL;
    }
    if (is_create_mode(mode) && claim_path(path) != 0) {
        return fail_open(NULL, NULL, PRC_EOPEN);
    }
    FILE *fp = open_for_reading(path);
    struct stat st;
    if (fp == NULL || fstat(fileno(fp), &st) != 0 || S_ISDIR(st.st_mode)) {
        return fail_open(NULL, fp, PRC_EOPEN);
    }
    prc_t *prc = prcfpopen(fp, mode);
    if (prc == NULL) {
        return fail_open(NULL, fp, PRC_ENONE);
    }
    prc_handle *h = prc_handle_of(prc);
    h->own_fp = fp;
    if (prc_is_writable_mode(mode)) {
        h->path = realpath(path, NULL);
        if (h->path == NULL || prc_check_replaceable(h->path) != 0) {
            return fail_open(h, NULL, PRC_EOPEN);
        }
    }
    return prc;
}

prc_t *prccreate(const char *path, const char *name, uint32_t type, uint32_t creator,
                 uint16_t flags) {
    prc_t *prc = prcopen(path, PRC_OPEN_CREATE);
    if (prc == NULL) {
        return NULL;
    }
    prcsetname(prc, name);
    prc->type = type;
    prc->creator = creator;
    prc->flags = flags;
    prc->ctime = prc->mtime = prc_now();
    prc->btime = 0;
    prc->modnum = 0;
    prc->version = 1;
    return prc;
}

/* A caller's stream is rewritten in place and cut to the new length, so a shorter image
 * leaves no stale bytes behind the last body. */
static int flush_in_place(prc_t *prc) {
    FILE *fp = prc->fp;
    if (fp == NULL || fseeko(fp, 0, SEEK_SET) != 0) {
        return -1;
    }
    prc_writer writer = prc_stdio_writer(fp);
    uint32_t written;
    if (prc_write_database(prc, &writer, &written) != 0 || fflush(fp) != 0) {
        return -1;
    }
    struct stat st;
    int fd = fileno(fp);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size != (off_t)written &&
        ftruncate(fd, (off_t)written) != 0) {
        return -1;
    }
    return 0;
}

/* After a replacement the handle's read stream follows the new file. */
static void reopen_own_stream(prc_handle *h) {
    FILE *fresh = open_for_reading(h->path);
    if (h->pub.fp == h->own_fp) {
        h->pub.fp = fresh;
    }
    if (h->own_fp != NULL) {
        fclose(h->own_fp);
    }
    h->own_fp = fresh;
}

int prcflush(prc_t *prc) {
    prc_clear_error();
    if (prc == NULL) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    if (!prc_is_writable_mode(prc->openmode)) {
        return -1;
    }
    prc_handle *h = prc_handle_of(prc);
    if (h->path == NULL) {
        return flush_in_place(prc);
    }
    if (prc_replace_file(h->path, prc) != 0) {
        return -1;
    }
    reopen_own_stream(h);
    return 0;
}

int prcclose(prc_t *prc) {
    prc_clear_error();
    if (prc == NULL) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    int rc = prcflush(prc);
    prc_handle *h = prc_handle_of(prc);
    if (prc->fp != NULL && prc->fp != h->own_fp) {
        fclose(prc->fp);
    }
    prc->fp = NULL;
    prc_handle_free(h);
    return rc;
}

int prcdestroy(prc_t *prc) {
    prc_clear_error();
    if (prc == NULL) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    prc_handle_free(prc_handle_of(prc));
    return 0;
}

uint16_t prcgetnrecords(prc_t *prc) {
    return prc ? prc->nrecords : 0;
}

int prcsetname(prc_t *prc, const char *name) {
    prc_clear_error();
    if (prc == NULL) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    char copy[sizeof prc->name] = {0};
    size_t len = name ? strnlen(name, 31) : 0;
    if (len > 0) {
        memcpy(copy, name, len); /* name may point into prc->name itself */
    }
    memcpy(prc->name, copy, sizeof prc->name);
    return (int)len;
}

int prcsetappinfo(prc_t *prc, const void *data, uint32_t size) {
    prc_clear_error();
    if (prc == NULL) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    return prc_replace_bytes(&prc->appinfo, &prc->appinfosize, data, size);
}

int prcsetsortinfo(prc_t *prc, const void *data, uint32_t size) {
    prc_clear_error();
    if (prc == NULL) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    return prc_replace_bytes(&prc->sortinfo, &prc->sortinfosize, data, size);
}
