/* prc-tour: a short tour of libprc.  Creates a record database and a resource database in a
 * folder, then reopens the record database, appends a record and saves it again. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "prc.h"

/* A 68k routine that does nothing: link a6,#0; unlk a6; rts. */
static const uint8_t code_bytes[] = {0x4e, 0x56, 0x00, 0x00, 0x4e, 0x5e, 0x4e, 0x75};

/* The file name without its folder, to keep the step lines short. */
static const char *file_name(const char *path) {
    const char *slash = strrchr(path, '/');
    return slash != NULL ? slash + 1 : path;
}

static int report(const char *path, int code) {
    fprintf(stderr, "prc-tour: %s: %s\n", path, prcstrerror(code));
    return -1;
}

/* A failed write leaves no error code, so there is nothing more precise to say. */
static int report_save_failure(const char *path) {
    int code = prcgeterrno();
    if (code == PRC_ENONE) {
        fprintf(stderr, "prc-tour: %s: could not write the file\n", path);
        return -1;
    }
    return report(path, code);
}

/* Appends a record holding text with its NUL, as Palm applications store strings.
 * Returns 0, or the library's error code.  The code is taken before cleaning up, since every
 * library call resets it. */
static int add_record(prc_t *db, uint16_t attr, uint32_t uid, const char *text) {
    prc_record_t *rec = prcnewrecord();
    if (rec == NULL) {
        return prcgeterrno();
    }
    rec->attr = attr;
    rec->uid = uid;
    if (prcrecordset(rec, text, (uint32_t)strlen(text) + 1) != 0 ||
        prcappendrecord(db, rec) == NULL) {
        int code = prcgeterrno();
        prcdestroyrecord(rec);
        return code;
    }
    return 0;
}

/* Appends a resource with a copy of data; returns 0, or the library's error code. */
static int add_resource(prc_t *db, const char *type, uint16_t id, const void *data, uint32_t size) {
    prc_record_t *res = prcnewresource();
    if (res == NULL) {
        return prcgeterrno();
    }
    if (prcresourceset(res, prcstrtotype(type), id, data, size) != 0 ||
        prcappendresource(db, res) == NULL) {
        int code = prcgeterrno();
        prcdestroyresource(res);
        return code;
    }
    return 0;
}

static int fill_notes(prc_t *db) {
    static const char appinfo[] = "Tour Notes settings, version 1";
    static const struct {
        uint16_t attr;
        uint32_t uid;
        const char *text;
    } notes[] = {
        {0, 0x00a001, "Charge the handheld"},
        {PRC_REC_FLAGS_DIRTY, 0x00a002, "Back up the ROM before flashing"},
        {PRC_REC_FLAGS_SECRET, 0x00a003, "The cradle is in the top drawer"},
    };
    if (prcsetappinfo(db, appinfo, sizeof appinfo) != 0) {
        return prcgeterrno();
    }
    for (size_t i = 0; i < sizeof notes / sizeof notes[0]; i++) {
        int code = add_record(db, notes[i].attr, notes[i].uid, notes[i].text);
        if (code != 0) {
            return code;
        }
    }
    return 0;
}

static int fill_app(prc_t *db) {
    static const char app_name[] = "Tour App";
    static const char version[] = "1.0";
    static const struct {
        const char *type;
        uint16_t id;
        const void *data;
        uint32_t size;
    } resources[] = {
        {"tAIN", 1000, app_name, sizeof app_name},
        {"tver", 1, version, sizeof version},
        {"code", 1, code_bytes, sizeof code_bytes},
    };
    for (size_t i = 0; i < sizeof resources / sizeof resources[0]; i++) {
        int code = add_resource(db, resources[i].type, resources[i].id, resources[i].data,
                                resources[i].size);
        if (code != 0) {
            return code;
        }
    }
    return 0;
}

/* Fills a new handle with fill and writes it; prcdestroy drops it unsaved on failure. */
static int fill_and_close(prc_t *db, int (*fill)(prc_t *), const char *path) {
    int code = fill(db);
    if (code != 0) {
        prcdestroy(db);
        return report(path, code);
    }
    if (prcclose(db) != 0) {
        return report_save_failure(path);
    }
    return 0;
}

static int create_notes(const char *path) {
    prc_t *db =
        prccreate(path, "Tour Notes", prcstrtotype("DATA"), prcstrtotype("Tour"), PRC_FLAGS_BACKUP);
    if (db == NULL) {
        return report(path, prcgeterrno());
    }
    if (fill_and_close(db, fill_notes, path) != 0) {
        return -1;
    }
    printf("1. Created %s: record database DATA/Tour with an appinfo block and 3 records\n",
           file_name(path));
    return 0;
}

static int create_app(const char *path) {
    prc_t *db = prccreate(path, "Tour App", prcstrtotype("appl"), prcstrtotype("Tour"),
                          PRC_FLAGS_RESOURCE | PRC_FLAGS_BACKUP);
    if (db == NULL) {
        return report(path, prcgeterrno());
    }
    if (fill_and_close(db, fill_app, path) != 0) {
        return -1;
    }
    printf("2. Created %s: resource database appl/Tour with tAIN 1000, tver 1 and code 1\n",
           file_name(path));
    return 0;
}

/* In update mode the file on disk keeps its old content until prcclose puts the new one in
 * its place, so a crash in between loses nothing. */
static int append_note(const char *path) {
    prc_t *db = prcopen(path, PRC_OPEN_UPDATE);
    if (db == NULL) {
        return report(path, prcgeterrno());
    }
    printf("3. Reopened %s in update mode: %u records\n", file_name(path),
           (unsigned)prcgetnrecords(db));

    int code = add_record(db, PRC_REC_FLAGS_DIRTY, 0x00a004, "Buy a spare stylus");
    if (code != 0) {
        prcdestroy(db);
        return report(path, code);
    }
    printf("4. Appended a record (uid 0x00a004) in memory; the file changes only at the close\n");

    unsigned saved = prcgetnrecords(db);
    if (prcclose(db) != 0) {
        return report_save_failure(path);
    }
    printf("5. Closed %s: the file on disk now holds %u records\n", file_name(path), saved);
    return 0;
}

static int usage(FILE *out, int status) {
    fputs("Usage: prc-tour FOLDER\n"
          "Writes Tour-Notes.pdb and Tour-App.prc into FOLDER, which must exist.\n",
          out);
    return status;
}

int main(int argc, char **argv) {
    if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        return usage(stdout, 0);
    }
    if (argc != 2) {
        return usage(stderr, 2);
    }
    char notes[4096];
    char app[4096];
    snprintf(notes, sizeof notes, "%s/Tour-Notes.pdb", argv[1]);
    snprintf(app, sizeof app, "%s/Tour-App.prc", argv[1]);

    if (create_notes(notes) != 0 || create_app(app) != 0 || append_note(notes) != 0) {
        return 1;
    }
    return 0;
}
