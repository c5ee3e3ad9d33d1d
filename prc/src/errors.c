/* The process-wide error code and its texts. */
#include "prc_internal.h"

static int prc_errno_value = PRC_ENONE;

static const char *const error_texts[] = {
    "no error",
    "zero length record",
    "record too big (>64K)",
    "seek failed",
    "read failed",
    "memory allocation failed",
    "stat failed",
    "open failed",
    "bad argument",
    "stream operation not on stream",
    "end of file",
    "unexpected error",
};

void prc_set_error(int code) {
    prc_errno_value = code;
}

void prc_clear_error(void) {
    prc_errno_value = PRC_ENONE;
}

int prcgeterrno(void) {
    return prc_errno_value;
}

const char *prcstrerror(int code) {
    if (code < PRC_ENONE || code > PRC_EUNEXPECTED) {
        return error_texts[PRC_EUNEXPECTED];
    }
    return error_texts[code];
}
