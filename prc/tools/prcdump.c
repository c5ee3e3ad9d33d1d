/* prcdump: prints the header and entry table of Palm database files, with -x also a hex dump
 * of every body and block.  Uses only the public libprc interface.  Names, 8-bit text in the
 * handhelds' Western character set, are shown in the terminal's character set. */
#define _XOPEN_SOURCE 700 /* nl_langinfo */

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "palm_flash_tools_version.h"
#include "prc.h"

enum { EXIT_OK = 0, EXIT_BAD_FILE = 1, EXIT_USAGE = 2 };

enum { HEX_BYTES_PER_LINE = 16, LABEL_WIDTH = 13 };

static const char usage_text[] =
    "Usage: prcdump [-x] FILE...\n"
    "       prcdump (--help | --version)\n"
    "Prints the header and entry table of each Palm database file (.pdb, .prc).\n"
    "\n"
    "  -x          also dump every record or resource body, and the appinfo and\n"
    "              sortinfo blocks, in hex\n"
    "  -h, --help  show this help\n"
    "  --version   print the program's version\n"
    "\n"
    "Exit status: 0 when every file was read, 1 when some file could not be read,\n"
    "2 on a usage error.\n";

/* ---- text helpers ---- */

/* Printable ASCII, whatever the locale: codes and hex dumps look the same everywhere. */
static int is_plain_ascii(unsigned char c) {
    return c >= 0x20 && c < 0x7F;
}

/* From the handhelds' character set to the terminal's; (iconv_t)-1 when there is none. */
static iconv_t name_converter = (iconv_t)-1;

static void open_name_converter(void) {
    static const char *const palm_charsets[] = {"WINDOWS-1252", "CP1252"};
    const char *terminal = nl_langinfo(CODESET);
    for (size_t i = 0; i < sizeof palm_charsets / sizeof palm_charsets[0]; i++) {
        name_converter = iconv_open(terminal, palm_charsets[i]);
        if (name_converter != (iconv_t)-1) {
            return;
        }
    }
}

/* One byte of a name in the terminal's character set into out (at least 16 bytes); returns
 * the length, 0 when the terminal has no form for it. */
static size_t convert_name_byte(char *out, unsigned char byte) {
    if (name_converter == (iconv_t)-1) {
        return 0;
    }
    char in = (char)byte;
    char *from = &in, *to = out;
    size_t from_left = 1, to_left = 16;
    iconv(name_converter, NULL, NULL, NULL, NULL);
    if (iconv(name_converter, &from, &from_left, &to, &to_left) == (size_t)-1) {
        return 0;
    }
    return (size_t)(to - out);
}

/* A database name as the terminal shows it: each character in the terminal's character set,
 * control characters and characters it cannot show as "\xNN", a backslash as "\\". */
static void print_name(const char *label, const char *name) {
    printf("  %-*s ", LABEL_WIDTH, label);
    for (const unsigned char *c = (const unsigned char *)name; *c != '\0'; c++) {
        char shown[16];
        size_t length = 0;
        if (*c == '\\') {
            fputs("\\\\", stdout);
        } else if (is_plain_ascii(*c)) {
            putchar(*c);
        } else if (*c >= 0x80 && (length = convert_name_byte(shown, *c)) > 0) {
            fwrite(shown, 1, length, stdout);
        } else {
            printf("\\x%02x", *c);
        }
    }
    putchar('\n');
}

/* A four-character code as text, '.' for unprintable bytes; returns 1 when all four print. */
static int code_to_text(char text[PRC_TYPE_TEXT_SIZE], uint32_t code) {
    prctypetostr(text, code);
    int printable = 1;
    for (int i = 0; i < 4; i++) {
        if (!is_plain_ascii((unsigned char)text[i])) {
            text[i] = '.';
            printable = 0;
        }
    }
    return printable;
}

/* Names of the record attribute bits set in attr, joined by "|"; "-" when none. */
static const char *record_attr_names(char *out, size_t size, uint16_t attr) {
    static const struct {
        uint16_t bit;
        const char *name;
    } names[] = {{PRC_REC_FLAGS_DELETE, "delete"},
                 {PRC_REC_FLAGS_DIRTY, "dirty"},
                 {PRC_REC_FLAGS_BUSY, "busy"},
                 {PRC_REC_FLAGS_SECRET, "secret"}};
    out[0] = '\0';
    for (size_t i = 0; i < sizeof names / sizeof names[0]; i++) {
        if (attr & names[i].bit) {
            if (out[0] != '\0') {
                strncat(out, "|", size - strlen(out) - 1);
            }
            strncat(out, names[i].name, size - strlen(out) - 1);
        }
    }
    return out[0] != '\0' ? out : "-";
}

/* ---- header ---- */

static int is_resource_database(const prc_t *db) {
    return (db->flags & PRC_FLAGS_RESOURCE) != 0;
}

static void print_field_text(const char *label, const char *text) {
    printf("  %-*s %s\n", LABEL_WIDTH, label, text);
}

static void print_field_number(const char *label, unsigned long value) {
    printf("  %-*s %lu\n", LABEL_WIDTH, label, value);
}

static void print_attributes(uint16_t flags) {
    char names[PRC_ATTR_TEXT_SIZE];
    prcstrfattr(names, flags);
    printf("  %-*s 0x%04x%s%s\n", LABEL_WIDTH, "attributes", (unsigned)flags,
           names[0] != '\0' ? " " : "", names);
}

static void print_time(const char *label, uint32_t palm_time) {
    char text[PRC_TIME_TEXT_SIZE];
    print_field_text(label, prctimetostr(text, palm_time));
}

/* A backup time of 0 means the database was never backed up. */
static void print_backup_time(uint32_t palm_time) {
    if (palm_time == 0) {
        print_field_text("backed up", "never");
    } else {
        print_time("backed up", palm_time);
    }
}

static void print_code(const char *label, uint32_t code) {
    char text[PRC_TYPE_TEXT_SIZE];
    if (code_to_text(text, code)) {
        print_field_text(label, text);
    } else {
        printf("  %-*s %s (0x%08x)\n", LABEL_WIDTH, label, text, (unsigned)code);
    }
}

static void print_block_size(const char *label, uint32_t size) {
    if (size == 0) {
        print_field_text(label, "none");
    } else {
        printf("  %-*s %lu bytes\n", LABEL_WIDTH, label, (unsigned long)size);
    }
}

static void print_header(prc_t *db) {
    print_name("name", db->name);
    print_attributes(db->flags);
    print_field_number("version", db->version);
    print_time("created", db->ctime);
    print_time("modified", db->mtime);
    print_backup_time(db->btime);
    print_field_number("modnum", db->modnum);
    print_code("type", db->type);
    print_code("creator", db->creator);
    print_field_text("kind", is_resource_database(db) ? "resource database" : "record database");
    print_field_number("entries", prcgetnrecords(db));
    if (!is_resource_database(db)) {
        print_block_size("appinfo", db->appinfosize);
        print_block_size("sortinfo", db->sortinfosize);
    }
}

/* ---- entry table ---- */

static void print_record_table(prc_t *db) {
    printf("  %5s  %-4s  %-8s  %6s  %s\n", "index", "attr", "uid", "size", "flags");
    unsigned index = 0;
    for (prc_record_t *rec = prcgetnextrecord(db, NULL); rec != NULL;
         rec = prcgetnextrecord(db, rec), index++) {
        char names[32];
        printf("  %5u  0x%02x  0x%06lx  %6lu  %s\n", index, (unsigned)(rec->attr & 0xFF),
               (unsigned long)(rec->uid & 0xFFFFFF), (unsigned long)rec->datalen,
               record_attr_names(names, sizeof names, rec->attr));
    }
}

static void print_resource_table(prc_t *db) {
    printf("  %5s  %-4s  %5s  %6s\n", "index", "type", "id", "size");
    unsigned index = 0;
    for (prc_record_t *res = prcgetnextresource(db, NULL); res != NULL;
         res = prcgetnextresource(db, res), index++) {
        char type[PRC_TYPE_TEXT_SIZE];
        code_to_text(type, res->type);
        printf("  %5u  %-4s  %5u  %6lu\n", index, type, (unsigned)res->id,
               (unsigned long)res->datalen);
    }
}

static void print_entry_table(prc_t *db) {
    if (prcgetnrecords(db) == 0) {
        return;
    }
    putchar('\n');
    if (is_resource_database(db)) {
        print_resource_table(db);
    } else {
        print_record_table(db);
    }
}

/* ---- hex dump ---- */

static void print_hex_line(const uint8_t *bytes, uint32_t offset, uint32_t count) {
    printf("    %08lx ", (unsigned long)offset);
    for (uint32_t i = 0; i < HEX_BYTES_PER_LINE; i++) {
        if (i == HEX_BYTES_PER_LINE / 2) {
            putchar(' ');
        }
        if (i < count) {
            printf(" %02x", bytes[i]);
        } else {
            fputs("   ", stdout);
        }
    }
    fputs("  |", stdout);
    for (uint32_t i = 0; i < count; i++) {
        putchar(is_plain_ascii(bytes[i]) ? bytes[i] : '.');
    }
    fputs("|\n", stdout);
}

static void print_hex_dump(const uint8_t *bytes, uint32_t size) {
    for (uint32_t offset = 0; offset < size; offset += HEX_BYTES_PER_LINE) {
        uint32_t left = size - offset;
        print_hex_line(bytes + offset, offset,
                       left < HEX_BYTES_PER_LINE ? left : HEX_BYTES_PER_LINE);
    }
}

static void dump_block(const char *title, const uint8_t *bytes, uint32_t size) {
    if (bytes == NULL || size == 0) {
        return;
    }
    printf("\n  %s, %lu bytes\n", title, (unsigned long)size);
    print_hex_dump(bytes, size);
}

/* "record 2 (uid 0x00a003)" or "resource 1 (code 1)". */
static void describe_entry(char *out, size_t size, prc_t *db, prc_record_t *e, unsigned index) {
    if (is_resource_database(db)) {
        char type[PRC_TYPE_TEXT_SIZE];
        code_to_text(type, e->type);
        snprintf(out, size, "resource %u (%s %u)", index, type, (unsigned)e->id);
    } else {
        snprintf(out, size, "record %u (uid 0x%06lx)", index, (unsigned long)(e->uid & 0xFFFFFF));
    }
}

static void dump_bodies(prc_t *db) {
    if (!is_resource_database(db)) {
        dump_block("appinfo", db->appinfo, db->appinfosize);
        dump_block("sortinfo", db->sortinfo, db->sortinfosize);
    }
    unsigned index = 0;
    for (prc_record_t *e = prcgetnextrecord(db, NULL); e != NULL;
         e = prcgetnextrecord(db, e), index++) {
        char title[64];
        describe_entry(title, sizeof title, db, e, index);
        dump_block(title, e->data, e->datalen);
    }
}

/* ---- files ---- */

static void report_open_failure(const char *path) {
    int code = prcgeterrno();
    if (code == PRC_ENONE) {
        fprintf(stderr, "prcdump: %s: not a Palm database (file too short)\n", path);
    } else {
        fprintf(stderr, "prcdump: %s: %s\n", path, prcstrerror(code));
    }
}

/* Prints one database; returns 0, or -1 when it could not be read. */
static int dump_file(const char *path, int hexdump) {
    prc_t *db = prcopen(path, PRC_OPEN_READ);
    if (db == NULL) {
        report_open_failure(path);
        return -1;
    }
    printf("%s\n", path);
    print_header(db);
    print_entry_table(db);
    if (hexdump) {
        dump_bodies(db);
    }
    prcclose(db); /* -1 is expected: a read-only handle is never flushed */
    return 0;
}

/* ---- command line ---- */

struct options {
    int hexdump;
    int first_file; /* index of the first file in argv */
};

static int usage_error(const char *message, const char *argument) {
    fprintf(stderr, "prcdump: %s%s\n", message, argument);
    fputs("Try 'prcdump --help' for more information.\n", stderr);
    return EXIT_USAGE;
}

/* Fills opts from argv; returns -1 to go on, else the exit status to end with. */
static int parse_options(int argc, char **argv, struct options *opts) {
    opts->hexdump = 0;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
        const char *arg = argv[i];
        if (strcmp(arg, "--") == 0) {
            i++;
            break;
        } else if (strcmp(arg, "-x") == 0) {
            opts->hexdump = 1;
        } else if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            fputs(usage_text, stdout);
            return EXIT_OK;
        } else if (strcmp(arg, "--version") == 0) {
            puts("prcdump " PALM_FLASH_TOOLS_VERSION);
            return EXIT_OK;
        } else {
            return usage_error("unknown option: ", arg);
        }
    }
    if (i == argc) {
        return usage_error("no file given", "");
    }
    opts->first_file = i;
    return -1;
}

int main(int argc, char **argv) {
    setlocale(LC_CTYPE, ""); /* the terminal's character set, for the names */
    open_name_converter();
    struct options opts = {0, 0};
    int early_exit = parse_options(argc, argv, &opts);
    if (early_exit >= 0) {
        return early_exit;
    }

    int status = EXIT_OK;
    for (int i = opts.first_file; i < argc; i++) {
        if (i > opts.first_file) {
            putchar('\n');
        }
        fflush(stdout); /* keeps stdout and stderr in order when both go to one terminal */
        if (dump_file(argv[i], opts.hexdump) != 0) {
            status = EXIT_BAD_FILE;
        }
    }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs("prcdump: error writing output\n", stderr);
        return EXIT_BAD_FILE;
    }
    return status;
}
