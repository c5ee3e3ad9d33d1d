/* Whole-file replacement: temporary file in the same folder, fsync, rename, fsync folder. */
#include "replace_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "byte_io.h"
#include "layout.h"

#define NEW_FILE_MODE 0644

char *prc_folder_of(const char *path) {
    const char *slash = strrchr(path, '/');
    if (slash == NULL) {
        return strdup(".");
    }
    size_t len = slash == path ? 1 : (size_t)(slash - path);
    char *folder = malloc(len + 1);
    if (folder != NULL) {
        memcpy(folder, path, len);
        folder[len] = '\0';
    }
    return folder;
}

int prc_check_replaceable(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) {
        return -1;
    }
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    close(fd);
    char *folder = prc_folder_of(path);
    int ok = folder != NULL && access(folder, W_OK | X_OK) == 0;
    free(folder);
    return ok ? 0 : -1;
}

/* "<folder>/.<name>.XXXXXX": hidden, and in the same file system so the rename is atomic. */
static char *temporary_name_for(const char *path) {
    const char *slash = strrchr(path, '/');
    size_t folder_len = slash ? (size_t)(slash - path + 1) : 0;
    const char *base = path + folder_len;
    size_t len = folder_len + 1 + strlen(base) + 8;
    char *name = malloc(len);
    if (name != NULL) {
        snprintf(name, len, "%.*s.%s.XXXXXX", (int)folder_len, path, base);
    }
    return name;
}

/* The new file takes the old one's permission bits and, where allowed, its owner. */
static void copy_permissions(int fd, const char *path) {
    struct stat st;
    if (stat(path, &st) != 0) {
        (void)fchmod(fd, NEW_FILE_MODE);
        return;
    }
    (void)fchmod(fd, st.st_mode & 07777);
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
        if (fchown(fd, st.st_uid, st.st_gid) != 0) {
            /* Only root may give a file away; the new file then keeps the writer's owner. */
        }
    }
}

static int write_and_sync(int fd, const prc_t *prc) {
    FILE *fp = fdopen(fd, "wb");
    if (fp == NULL) {
        close(fd);
        return -1;
    }
    prc_writer writer = prc_stdio_writer(fp);
    uint32_t written;
    int rc = prc_write_database(prc, &writer, &written);
    if (fflush(fp) != 0 || fsync(fileno(fp)) != 0) {
        rc = -1;
    }
    if (fclose(fp) != 0) {
        rc = -1;
    }
    return rc;
}

/* Makes the rename itself durable; a failure here does not undo a completed replacement. */
static void sync_folder(const char *path) {
    char *folder = prc_folder_of(path);
    if (folder == NULL) {
        return;
    }
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)fsync(fd);
        close(fd);
    }
    free(folder);
}

int prc_replace_file(const char *path, const prc_t *prc) {
    char *temporary = temporary_name_for(path);
    if (temporary == NULL) {
        return -1;
    }
    int fd = mkostemp(temporary, O_CLOEXEC);
    if (fd < 0) {
        free(temporary);
        return -1;
    }
    copy_permissions(fd, path);
    if (write_and_sync(fd, prc) != 0 || rename(temporary, path) != 0) {
        unlink(temporary);
        free(temporary);
        return -1;
    }
    free(temporary);
    sync_folder(path);
    return 0;
}
