/* Database and record attribute words to and from their "name|name|0x100" text form. */
#include <stddef.h>
#include <string.h>
#include <strings.h>

#include "prc_internal.h"

typedef struct attribute_name {
    const char *name;
    uint16_t bit;
} attribute_name;

static const attribute_name database_names[] = {
    {"resource", 0x0001}, {"readonly", 0x0002},   {"dirty", 0x0004},       {"backup", 0x0008},
    {"newer", 0x0010},    {"reset", 0x0020},      {"copyprevent", 0x0040}, {"stream", 0x0080},
    {"hidden", 0x0100},   {"launchable", 0x0200}, {"recyclable", 0x0400},  {"bundle", 0x0800},
    {"open", 0x8000},
};

static const attribute_name record_names[] = {
    {"delete", 0x80},
    {"dirty", 0x40},
    {"busy", 0x20},
    {"secret", 0x10},
};

#define COUNT_OF(a) (sizeof(a) / sizeof((a)[0]))

static char shared_attribute_text[PRC_ATTR_TEXT_SIZE];

char *prcstrfattr(char *buffer, uint16_t flags) {
    prc_clear_error();
    char *out = buffer ? buffer : shared_attribute_text;
    size_t len = 0;
    out[0] = '\0';
    for (size_t i = 0; i < COUNT_OF(database_names); i++) {
        if ((flags & database_names[i].bit) == 0) {
            continue;
        }
        if (len > 0) {
            out[len++] = '|';
        }
        size_t name_len = strlen(database_names[i].name);
        memcpy(out + len, database_names[i].name, name_len + 1);
        len += name_len;
    }
    return out;
}

static int is_ascii_alpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static int digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

/* A number in C notation: "0x" and hex digits, a leading 0 and octal digits, or decimal.
 * Larger values wrap, as they would in the attribute word. */
static const char *parse_number(const char *s, uint32_t *value) {
    unsigned base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && digit_value(s[2]) < 16) {
        base = 16;
        s += 2;
    } else if (s[0] == '0') {
        base = 8;
    }
    uint32_t v = 0;
    for (; digit_value(*s) < (int)base; s++) {
        v = v * base + (uint32_t)digit_value(*s);
    }
    *value = v;
    return s;
}

static int find_name(const char *word, size_t len, const attribute_name *names, size_t count,
                     uint32_t *bit) {
    for (size_t i = 0; i < count; i++) {
        if (strlen(names[i].name) == len && strncasecmp(word, names[i].name, len) == 0) {
            *bit = names[i].bit;
            return 0;
        }
    }
    return -1;
}

static int parse_attributes(const char *text, const attribute_name *names, size_t count) {
    if (text == NULL) {
        return -1;
    }
    uint32_t result = 0;
    const char *s = text;
    while (*s != '\0') {
        uint32_t value;
        if (*s == '|') {
            s++;
        } else if (is_ascii_alpha(*s)) {
            const char *word = s;
            while (is_ascii_alpha(*s)) {
                s++;
            }
            if (find_name(word, (size_t)(s - word), names, count, &value) != 0) {
                return -1;
            }
            result |= value;
        } else if (*s >= '0' && *s <= '9') {
            s = parse_number(s, &value);
            result |= value;
        } else {
            return -1;
        }
    }
    return (int)result;
}

int prcstrpattr(const char *text) {
    return parse_attributes(text, database_names, COUNT_OF(database_names));
}

int prcstrprecordattr(const char *text) {
    return parse_attributes(text, record_names, COUNT_OF(record_names)) & 0xFF;
}
