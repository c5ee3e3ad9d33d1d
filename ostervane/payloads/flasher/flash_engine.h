/* The flashers' engine, shared by the 68k and the ARM flasher: finds the flash chip at the card
 * base and its sector geometry (CFI query), rewrites a range of flash sector by sector while
 * keeping every byte outside the range, and checksums memory. */
#ifndef FLASH_ENGINE_H
#define FLASH_ENGINE_H

#include <stdint.h>

/* Results. */
#define FL_OK 0
#define FL_ERR_VERIFY 1   /* a word did not read back as written */
#define FL_ERR_REQUEST 2  /* misaligned, outside the chip, or an unknown operation */
#define FL_ERR_NO_CFI 3   /* the chip gave no CFI answer (describe only) */
#define FL_ERR_TIMEOUT 4  /* an AMD-style chip gave up (DQ5) or a chip never became ready */
#define FL_ERR_KEPT 5     /* bytes below the range could not be written back after an erase */
#define FL_ERR_GEOMETRY 6 /* without a CFI answer: an erase reached past the assumed block */
#define FL_ERR_STATUS 0x80 /* + status bits 0x3A: an Intel-style chip reported an error */

#define FL_KIND_AMD 1
#define FL_KIND_INTEL 2
#define FL_MAX_REGIONS 8

/* The work area (RAM the host sets aside) holds a tag and the copy of the sector being
 * rewritten.  While the tag names a sector, its copy is the one taken before that sector was
 * first erased, so a retry after a failed rewrite never saves bytes a failed erase destroyed.
 * The host clears the tag (16 zero bytes) before a restore. */
#define FL_WORK_HEADER 16

typedef struct {
    uint32_t base;
    uint32_t size;          /* bytes; 0 when the chip gave no CFI answer */
    uint32_t fallbackBlock; /* the erase-block size to assume without a CFI answer */
    uint16_t kind;
    uint16_t manufacturer;
    uint16_t device;
    uint16_t regionCount; /* 0: uniform blocks of fallbackBlock */
    uint32_t sectorSize[FL_MAX_REGIONS];
    uint32_t sectorCount[FL_MAX_REGIONS];
} FlChip;

typedef struct {
    uint32_t sectorsErased;
    uint32_t keptBelow; /* bytes in front of the range that an erase made us write back */
    uint32_t wordsProgrammed;
} FlStats;

/* Identifies the chip at `base` (command set, ids, geometry) and leaves it in read-array mode. */
void fl_identify(FlChip *chip, uint32_t base, uint32_t fallbackBlock);

/* The sector holding `address`: FL_OK with its start and size, or FL_ERR_REQUEST. */
int fl_sector(const FlChip *chip, uint32_t address, uint32_t *start, uint32_t *size);

/* The largest sector of the chip, which the work area must hold. */
uint32_t fl_largest_sector(const FlChip *chip);

/* Makes the `count` bytes of flash at `dest` equal to the bytes at `src` (RAM).  A sector whose
 * part of the range already holds the data is left alone; any other is saved to the work area,
 * erased once, its bytes in front of the range written back and verified first, then the rest.
 * Every programmed word is read back, and the whole range is compared at the end. */
int fl_flash_range(const FlChip *chip, uint32_t dest, uint32_t src, uint32_t count,
                   uint32_t work, FlStats *stats);

/* CRC-32 (the common reflected 0xEDB88320 one) of `count` bytes at `address`. */
uint32_t fl_crc32(uint32_t address, uint32_t count);

/* Writes the chip's description at `out` as 16- and 32-bit big-endian-style fields: kind,
 * region count, manufacturer, device (16 bits each), size (32), then per region sector size
 * and sector count (32 each). */
void fl_describe(const FlChip *chip, uint32_t out);

#endif
