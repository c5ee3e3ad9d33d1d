/* Four-character codes to and from text, and the big-endian 16-bit reader of the interface. */
#include <string.h>

#include "prc_internal.h"

static char shared_type_text[PRC_TYPE_TEXT_SIZE];

char *prctypetostr(char *buffer, uint32_t code) {
    prc_clear_error();
    char *out = buffer ? buffer : shared_type_text;
    prc_put_be32((uint8_t *)out, code);
    out[4] = '\0';
    return out;
}

uint32_t prcstrtotype(const char *text) {
    prc_clear_error();
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (text != NULL) {
        memcpy(bytes, text, strnlen(text, 4));
    }
    return prc_get_be32(bytes);
}

uint16_t prcbuftouint16(const uint8_t *bytes) {
    return bytes ? prc_get_be16(bytes) : 0;
}
