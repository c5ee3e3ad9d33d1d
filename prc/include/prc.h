/* Palm database library: loads, edits and writes whole Palm record and resource databases. */
#ifndef PRC_H
#define PRC_H
/* clang-format off: the declarations below keep their published layout. */

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A database file is loaded whole into a prc_t handle, edited in memory and
 * written back whole by prcflush or prcclose.  Functions return -1 or NULL on
 * failure and leave a code for prcgeterrno; every function resets that code
 * to PRC_ENONE when it starts, except prcgeterrno, prcstrerror,
 * prcgetnrecords, prcbuftouint16, prcstrpattr, prcstrprecordattr and
 * prcfwriteheader.  The code and the two static text buffers are shared by
 * the whole process: call the library from one thread at a time.
 */

/* open modes */
#define PRC_OPEN_READ    0x00
#define PRC_OPEN_UPDATE  0x01
#define PRC_OPEN_CREATE  0x02

/* database attribute bits */
#define PRC_FLAGS_RESOURCE    0x0001
#define PRC_FLAGS_READONLY    0x0002
#define PRC_FLAGS_DIRTY       0x0004
#define PRC_FLAGS_BACKUP      0x0008
#define PRC_FLAGS_NEWER       0x0010
#define PRC_FLAGS_RESET       0x0020
#define PRC_FLAGS_COPYPREVENT 0x0040
#define PRC_FLAGS_STREAM      0x0080
#define PRC_FLAGS_HIDDEN      0x0100
#define PRC_FLAGS_LAUNCHABLE  0x0200
#define PRC_FLAGS_RECYCLABLE  0x0400
#define PRC_FLAGS_BUNDLE      0x0800
#define PRC_FLAGS_OPEN        0x8000

/* record attribute bits */
#define PRC_REC_FLAGS_DELETE  0x80
#define PRC_REC_FLAGS_DIRTY   0x40
#define PRC_REC_FLAGS_BUSY    0x20
#define PRC_REC_FLAGS_SECRET  0x10

/* error codes (prcgeterrno) */
#define PRC_ENONE        0
#define PRC_EZERO        1
#define PRC_EBIG         2
#define PRC_ESEEK        3
#define PRC_EREAD        4
#define PRC_ENOMEM       5
#define PRC_ESTAT        6
#define PRC_EOPEN        7
#define PRC_EBADARG      8
#define PRC_ENOTSTREAM   9
#define PRC_EEOF         10
#define PRC_EUNEXPECTED  11

/* Largest body, application-info or sort-info block the setters accept. */
#define PRC_MAX_DATA_SIZE 65505u

/* Size of the fixed file header and of one stream block's data. */
#define PRC_HEADER_SIZE      78u
#define PRC_STREAM_BLOCK_DATA 4096u

/* Buffer sizes the text conversions need, terminating NUL included. */
#define PRC_TIME_TEXT_SIZE   13
#define PRC_TYPE_TEXT_SIZE   5
#define PRC_ATTR_TEXT_SIZE   176

/*
 * One entry of a database, record or resource.  A record uses uid (24 bits)
 * and attr (8 bits); a resource uses type and id.  The fields may be read and
 * written directly; the body is set with prcrecordset or prcresourceset.
 */
typedef struct prc_record_t {
    uint8_t *data;                          /* body, NULL when the entry has no data */
    uint32_t datalen;                       /* body size, 0 when data is NULL */
    union { uint32_t uid;  uint32_t type; }; /* record: 24-bit unique id; resource: type */
    union { uint16_t attr; uint16_t id;   }; /* record: attribute byte; resource: id */
    struct prc_record_t *next;
} prc_record_t;

/*
 * A database in memory.  The header fields (name to creator) may be read and
 * written directly.  The entry list and its count belong to the library:
 * walk it freely, but add and take out entries only through the functions
 * below.  A resource database (flags & PRC_FLAGS_RESOURCE) never writes an
 * application-info or sort-info block.
 */
typedef struct prc_t {
    char name[33];          /* NUL-terminated; up to 32 characters when read */
    uint16_t flags;         /* database attribute word */
    uint16_t version;
    uint32_t ctime;         /* Palm time */
    uint32_t mtime;
    uint32_t btime;
    uint32_t modnum;
    uint32_t type;
    uint32_t creator;
    uint16_t nrecords;
    uint8_t *appinfo;
    uint32_t appinfosize;
    uint8_t *sortinfo;
    uint32_t sortinfosize;
    prc_record_t *records;  /* head of the entry list, file order */
    FILE *fp;
    int openmode;
    uint32_t streampos;
    /* the library may keep private state after this point */
} prc_t;

/* Called for each entry by prcmaprecords/prcmapresources; non-zero stops the walk. */
typedef int (*prc_map_fn)(prc_record_t *entry, void *arg);

/*
 * Opens the database file at path.
 *   PRC_OPEN_READ (0): reads the file whole; the handle cannot be flushed.
 *   PRC_OPEN_CREATE (0x02): starts an empty handle (version 1); reads nothing.
 *   PRC_OPEN_UPDATE (0x01, also 0x04 or 0x08): reads the file whole for editing.
 * A writable handle never changes the file on disk before the first flush:
 * each flush writes a new file beside it and renames it over the old one, so
 * a failed flush, a crash or prcdestroy leaves the previous content intact.
 * Create mode makes an empty file when none exists, as a claim on the name.
 * Returns a new handle, or NULL: PRC_EOPEN when the file cannot be opened or
 * cannot be written in a writable mode, or the codes of prcfpopen.
 */
prc_t *prcopen(const char *path, int mode);

/*
 * Reads a database from a stream the caller opened (from offset 0), or with
 * PRC_OPEN_CREATE starts an empty handle on it.  The stream becomes the
 * handle's fp and stays the caller's: prcflush rewrites it in place and cuts
 * it to the length written, prcdestroy leaves it open, prcclose closes it.
 * Returns NULL when the header or entry list is cut short (code left at
 * PRC_ENONE), PRC_ESTAT when the size cannot be told, PRC_ESEEK when a body
 * or block lies outside the file, PRC_EREAD when one cannot be read whole
 * (offsets out of order included), PRC_ENOMEM when a block cannot be held.
 * A successful open leaves PRC_EZERO when some entry has an empty body.
 */
prc_t *prcfpopen(FILE *fp, int mode);

/*
 * prcopen(path, PRC_OPEN_CREATE), then name (as prcsetname), type, creator,
 * attribute word, creation and modification time now, version 1.
 */
prc_t *prccreate(const char *path, const char *name, uint32_t type, uint32_t creator, uint16_t flags);

/*
 * Writes the whole database; may be repeated.  Returns 0, or -1 when the
 * handle is read-only (code PRC_ENONE) or a write failed.
 */
int prcflush(prc_t *prc);

/* Writes the 78-byte header at fp's position, offsets computed from prc; 0 or -1. */
int prcfwriteheader(FILE *fp, prc_t *prc);

/*
 * prcflush, close fp, prcdestroy.  Returns -1 when the flush returned -1
 * (always so for a read-only handle, with code PRC_ENONE), else 0.
 */
int prcclose(prc_t *prc);

/*
 * Frees the handle with every entry, body and block, without writing.  A
 * stream the library opened (prcopen, prccreate) is closed; a stream given
 * to prcfpopen is left to the caller.  Returns 0.
 */
int prcdestroy(prc_t *prc);

/* The entry count. */
uint16_t prcgetnrecords(prc_t *prc);

/* Zero-fills the name and copies at most 31 characters; returns the number copied. */
int prcsetname(prc_t *prc, const char *name);

/*
 * Replace the application-info or sort-info block with a copy of size bytes;
 * NULL data or size 0 removes it.  0, or -1 with PRC_EBADARG (more than
 * PRC_MAX_DATA_SIZE bytes, nothing changed) or PRC_ENOMEM.
 */
int prcsetappinfo(prc_t *prc, const void *data, uint32_t size);
int prcsetsortinfo(prc_t *prc, const void *data, uint32_t size);

/*
 * A new entry, every field zero, no data; the caller owns it until it is
 * appended.  NULL with PRC_ENOMEM.  Both names are the same function.
 */
prc_record_t *prcnewrecord(void);
prc_record_t *prcnewresource(void);

/*
 * Replace an entry's body with a copy of size bytes (NULL or 0: no data).
 * prcresourceset also sets type and id.  0, or -1 with PRC_EBADARG (more
 * than PRC_MAX_DATA_SIZE bytes) or PRC_ENOMEM, the entry unchanged.
 */
int prcrecordset(prc_record_t *rec, const void *data, uint32_t size);
int prcresourceset(prc_record_t *res, uint32_t type, uint16_t id, const void *data, uint32_t size);

/*
 * Put an entry that is in no list at the end of the list; the handle owns it
 * from then on.  Returns the entry, or NULL with PRC_EBADARG when the list
 * already holds 65,535 entries.
 */
prc_record_t *prcappendrecord(prc_t *prc, prc_record_t *rec);
prc_record_t *prcappendresource(prc_t *prc, prc_record_t *res);

/* The entry at 0-based position index, or NULL.  Constant time. */
prc_record_t *prcgetrecord(prc_t *prc, uint16_t index);

/* The first entry in list order with this type and id, or NULL. */
prc_record_t *prcgetresource(prc_t *prc, uint32_t type, uint16_t id);

/* The first entry when rec is NULL, else the one after rec; NULL at the end. */
prc_record_t *prcgetnextrecord(prc_t *prc, prc_record_t *rec);
prc_record_t *prcgetnextresource(prc_t *prc, prc_record_t *res);

/*
 * Unlink an entry from the list and give it back to the caller, who frees it
 * with prcdestroyrecord.  NULL when it is not in the list.  Constant time for
 * the last entry.
 */
prc_record_t *prcremoverecord(prc_t *prc, prc_record_t *rec);
prc_record_t *prcremoveresource(prc_t *prc, prc_record_t *res);

/* Free an entry that is in no list, with its body.  Returns 0. */
int prcdestroyrecord(prc_record_t *rec);
int prcdestroyresource(prc_record_t *res);

/*
 * Call fn(entry, arg) for each entry in list order until one returns
 * non-zero; returns that value, or 0.  fn must not unlink entries.
 */
int prcmaprecords(prc_t *prc, prc_map_fn fn, void *arg);
int prcmapresources(prc_t *prc, prc_map_fn fn, void *arg);

/*
 * Byte-stream access to a database with PRC_FLAGS_STREAM, whose records are
 * "DBLK" blocks of up to 4,096 data bytes, from prc->streampos onwards.
 * prcstreamread returns the bytes copied (PRC_EEOF when the blocks end first,
 * PRC_ENOTSTREAM for a database or block that is no stream); prcstreamwrite
 * returns the bytes taken, adding blocks as needed (PRC_ENOMEM when one
 * cannot be added).  Both advance streampos by the count returned.
 */
uint32_t prcstreamread(prc_t *prc, void *buffer, uint32_t length);
uint32_t prcstreamwrite(prc_t *prc, const void *buffer, uint32_t length);

/* The code left by the last call that resets it. */
int prcgeterrno(void);

/* The text of a code ("no error", "seek failed", ...); "unexpected error" for unknown codes. */
const char *prcstrerror(int code);

/* The current Palm time, also stored through out when not NULL; 0xFFFFFFFF if the clock fails. */
uint32_t prctime(uint32_t *out);

/*
 * Writes time as local "YYYYMMDDhhmm" into buffer (PRC_TIME_TEXT_SIZE bytes):
 * "190401010000" for 0, "error" when it cannot be converted.  Returns buffer,
 * or NULL with PRC_EBADARG when buffer is NULL.
 */
char *prctimetostr(char *buffer, uint32_t time);

/*
 * Parses "now", "never" or local CCYYMMDDhhmm, YYMMDDhhmm or MMDDhhmm (the
 * missing century and year from today) into a Palm time; 0xFFFFFFFF when
 * the text is none of these or the date cannot be converted.
 */
uint32_t prcstrtotime(const char *text);

/* Writes the four characters of code and a NUL; a NULL buffer uses a shared static one. */
char *prctypetostr(char *buffer, uint32_t code);

/* The first four characters as a big-endian code, a shorter text padded with zero bytes. */
uint32_t prcstrtotype(const char *text);

/* The big-endian 16-bit value of two bytes. */
uint16_t prcbuftouint16(const uint8_t *bytes);

/*
 * Writes the names of the database attribute bits set in flags, joined by
 * "|" ("resource|backup|launchable"); a NULL buffer uses a shared static one
 * of PRC_ATTR_TEXT_SIZE bytes.  Returns the buffer.
 */
char *prcstrfattr(char *buffer, uint16_t flags);

/*
 * Parse "name|name|0x100" into an attribute word: names without regard to
 * case, numbers in C notation.  prcstrpattr returns -1 on an unknown name or
 * stray character; prcstrprecordattr uses the record attribute names and
 * returns its result masked to 8 bits (0xFF on error).
 */
int prcstrpattr(const char *text);
int prcstrprecordattr(const char *text);

#ifdef __cplusplus
}
#endif

#endif
