/* The ARM flasher: writes the whole image into flash, verifies it, clears the image marker
 * and returns the address where the handheld restarts.  The parameter block, 32-bit
 * little-endian words the host wrote before resuming the handheld here:
 *   0 card base (where the chip answers and the handheld restarts)
 *   4 image address (RAM)     8 image size in bytes
 *  12 marker address (set to 0xFFFFFFFF when it holds 0xFEEDFACE after a good flash)
 *  16 target address in flash
 *  20 result, written here: 0 or an error of flash_engine.h
 *  24 work area (16 bytes + the largest sector of RAM)
 *  28 erase-block size to assume when the chip gives no CFI answer
 *  32 sectors erased, written here
 * A sector that does not verify is tried again, eleven times in all; the bytes outside the
 * image, the small ROM in front of it above all, are kept whatever happens. */
#include "flash_engine.h"

#define PARAM_CARD 0
#define PARAM_IMAGE 1
#define PARAM_SIZE 2
#define PARAM_MARKER 3
#define PARAM_TARGET 4
#define PARAM_RESULT 5
#define PARAM_WORK 6
#define PARAM_BLOCK 7
#define PARAM_ERASED 8
#define FLASH_TRIES 11
#define IMAGE_MARKER 0xFEEDFACEUL

uint32_t flasherarm_main(volatile uint32_t *parameters);

static void clear_work_tag(uint32_t work) {
    volatile uint32_t *tag = (volatile uint32_t *)(uintptr_t)work;
    tag[0] = tag[1] = tag[2] = tag[3] = 0;
}

static void clear_marker(uint32_t address) {
    volatile uint32_t *marker = (volatile uint32_t *)(uintptr_t)address;
    if (address != 0 && *marker == IMAGE_MARKER) {
        *marker = 0xFFFFFFFFUL;
    }
}

uint32_t flasherarm_main(volatile uint32_t *parameters) {
    FlChip chip;
    FlStats stats = {0, 0, 0};
    uint32_t card = parameters[PARAM_CARD];
    uint32_t work = parameters[PARAM_WORK];
    int status = FL_ERR_REQUEST;
    int attempt;
    fl_identify(&chip, card, parameters[PARAM_BLOCK]);
    clear_work_tag(work);
    for (attempt = 0; attempt < FLASH_TRIES; attempt++) {
        status = fl_flash_range(&chip, parameters[PARAM_TARGET], parameters[PARAM_IMAGE],
                                parameters[PARAM_SIZE], work, &stats);
        if (status == FL_OK || status == FL_ERR_REQUEST) {
            break;
        }
    }
    if (status == FL_OK) {
        clear_marker(parameters[PARAM_MARKER]);
    }
    parameters[PARAM_RESULT] = (uint32_t)status;
    parameters[PARAM_ERASED] = stats.sectorsErased;
    return card;
}
