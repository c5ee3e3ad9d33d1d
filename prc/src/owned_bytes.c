/* The library's own copies of record and resource bodies and of the app and sort info
 * blocks: every setter replaces a block through here. */
#include <stdlib.h>
#include <string.h>

#include "prc_internal.h"

int prc_replace_bytes(uint8_t **block, uint32_t *block_size, const void *data, uint32_t size) {
    if (size > PRC_MAX_DATA_SIZE) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    uint8_t *copy = NULL;
    if (data != NULL && size != 0) {
        copy = malloc(size);
        if (copy == NULL) {
            prc_set_error(PRC_ENOMEM);
            return -1;
        }
        memcpy(copy, data, size);
    }
    free(*block);
    *block = copy;
    *block_size = copy ? size : 0;
    return 0;
}
