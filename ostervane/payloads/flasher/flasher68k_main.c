/* The 68k flasher's operations, chosen by d3:
 *   1 flash: make d5 bytes of flash at a6 equal to those at a3 (RAM).  a2 is the card base
 *     (where the chip answers its queries), d4 the erase-block size to assume when the chip
 *     gives no CFI answer, a4 the work area the host set aside (16 bytes + the largest
 *     sector).  Results: d0 0 or an error (flash_engine.h), d1 sectors erased, d2 bytes in
 *     front of the range written back after an erase (the small ROM, on a shared sector).
 *   2 checksum: d0 = CRC-32 of d5 bytes at a6.
 *   3 describe: writes the chip's description at a3 (fl_describe); d0 0, or 3 when the chip
 *     gave no CFI answer.
 * Anything else leaves 2 in d0. */
#include "flash_engine.h"

struct Registers {
    uint32_t d[8];
    uint32_t a[7];
};

void flasher68k_main(struct Registers *r);

static void flash(struct Registers *r) {
    FlChip chip;
    FlStats stats = {0, 0, 0};
    fl_identify(&chip, r->a[2], r->d[4]);
    r->d[0] = (uint32_t)fl_flash_range(&chip, r->a[6], r->a[3], r->d[5], r->a[4], &stats);
    r->d[1] = stats.sectorsErased;
    r->d[2] = stats.keptBelow;
}

static void describe(struct Registers *r) {
    FlChip chip;
    fl_identify(&chip, r->a[2], r->d[4]);
    fl_describe(&chip, r->a[3]);
    r->d[0] = chip.regionCount != 0 ? FL_OK : FL_ERR_NO_CFI;
}

void flasher68k_main(struct Registers *r) {
    switch (r->d[3]) {
    case 1:
        flash(r);
        break;
    case 2:
        r->d[0] = fl_crc32(r->a[6], r->d[5]);
        break;
    case 3:
        describe(r);
        break;
    default:
        r->d[0] = FL_ERR_REQUEST;
        break;
    }
}
