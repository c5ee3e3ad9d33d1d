/* The flashers' engine: chip identification by CFI query (autoselect without it), sector
 * lookup, the AMD- and Intel-style erase and program sequences, the sector rewrite that keeps
 * what lies outside the range, and CRC-32.  No multiplication or division beyond shifts: the
 * 68000 build links no support library. */
#include "flash_engine.h"

#include "flash_bus.h"

#define POLL_LIMIT 0x100000UL
#define AMD_UNLOCK1 0xAAAAu /* word 0x5555: chips decode its low 11 bits as 0x555 */
#define AMD_UNLOCK2 0x5554u /* word 0x2AAA */
#define CFI_QUERY_ADDRESS 0xAAu /* word 0x55 */
#define WORK_MAGIC 0x4B454550UL /* "KEEP" */
#define ERASED_WORD 0xFFFFu

/* 32-bit values in RAM as two 16-bit halves, the high one first. */
static uint32_t read32(uint32_t address) {
    return (uint32_t)fl_read16(address) << 16 | fl_read16(address + 2);
}

static void write32(uint32_t address, uint32_t value) {
    fl_write16(address, (uint16_t)(value >> 16));
    fl_write16(address + 2, (uint16_t)value);
}

/* Shift-and-add, so no support routine is needed. */
static uint32_t multiply(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    while (b != 0) {
        if (b & 1) {
            product += a;
        }
        a <<= 1;
        b >>= 1;
    }
    return product;
}

/* ---- Chip identification ---- */

static uint16_t query_byte(uint32_t base, uint32_t word) {
    return fl_read16(base + (word << 1)) & 0xFF;
}

static uint16_t query_word(uint32_t base, uint32_t word) {
    return (uint16_t)(query_byte(base, word) | query_byte(base, word + 1) << 8);
}

static int answers_query(uint32_t base) {
    fl_write16(base + CFI_QUERY_ADDRESS, 0x98);
    return query_byte(base, 0x10) == 'Q' && query_byte(base, 0x11) == 'R' &&
           query_byte(base, 0x12) == 'Y';
}

static void read_geometry(FlChip *chip) {
    uint32_t base = chip->base;
    uint16_t commandSet = query_word(base, 0x13);
    uint16_t sizeBits = query_byte(base, 0x27);
    uint16_t regions = query_byte(base, 0x2C);
    uint16_t i;
    chip->kind = commandSet == 1 || commandSet == 3 ? FL_KIND_INTEL : FL_KIND_AMD;
    chip->size = sizeBits < 32 ? 1UL << sizeBits : 0;
    if (regions > FL_MAX_REGIONS) {
        regions = FL_MAX_REGIONS;
    }
    for (i = 0; i < regions; i++) {
        uint32_t blocks = query_word(base, 0x2D + 4 * i);
        uint32_t units = query_word(base, 0x2F + 4 * i);
        chip->sectorCount[i] = blocks + 1;
        chip->sectorSize[i] = units != 0 ? units << 8 : 128;
    }
    chip->regionCount = regions;
}

/* Back to read-array mode, clearing an Intel-style chip's sticky error bits on the way. */
static void read_array(const FlChip *chip, uint32_t address) {
    if (chip->kind == FL_KIND_INTEL) {
        fl_write16(address, 0x50);
        fl_write16(address, 0xFF);
    } else {
        fl_write16(chip->base, 0xF0);
    }
}

static void read_ids(FlChip *chip) {
    uint32_t base = chip->base;
    if (chip->kind == FL_KIND_AMD) {
        fl_write16(base + AMD_UNLOCK1, 0xAA);
        fl_write16(base + AMD_UNLOCK2, 0x55);
        fl_write16(base + AMD_UNLOCK1, 0x90);
    } else {
        fl_write16(base, 0x90);
    }
    chip->manufacturer = fl_read16(base);
    chip->device = fl_read16(base + 2);
    read_array(chip, base);
}

/* Without a CFI answer the command set comes from the manufacturer id: the AMD-style
 * autoselect sequence ends with 0x90, which an Intel-style chip takes as its identify command. */
static void identify_without_query(FlChip *chip) {
    uint32_t base = chip->base;
    fl_write16(base + AMD_UNLOCK1, 0xAA);
    fl_write16(base + AMD_UNLOCK2, 0x55);
    fl_write16(base + AMD_UNLOCK1, 0x90);
    chip->manufacturer = fl_read16(base);
    chip->device = fl_read16(base + 2);
    chip->kind = (chip->manufacturer & 0xFF) == 0x89 ? FL_KIND_INTEL : FL_KIND_AMD;
    read_array(chip, base);
}

void fl_identify(FlChip *chip, uint32_t base, uint32_t fallbackBlock) {
    chip->base = base;
    chip->size = 0;
    chip->fallbackBlock = fallbackBlock;
    chip->regionCount = 0;
    chip->kind = FL_KIND_AMD;
    chip->manufacturer = chip->device = 0;
    /* An AMD-style chip left failed by an earlier run takes nothing but its reset. */
    if (!answers_query(base)) {
        fl_write16(base, 0xF0);
        if (!answers_query(base)) {
            identify_without_query(chip);
            return;
        }
    }
    read_geometry(chip);
    read_array(chip, base);
    read_ids(chip);
}

int fl_sector(const FlChip *chip, uint32_t address, uint32_t *start, uint32_t *size) {
    uint32_t offset = address - chip->base;
    uint32_t regionStart = 0;
    uint16_t i;
    if (address < chip->base) {
        return FL_ERR_REQUEST;
    }
    if (chip->regionCount == 0) {
        uint32_t block = chip->fallbackBlock;
        if (block < 2 || (block & (block - 1)) != 0) {
            return FL_ERR_REQUEST;
        }
        *start = chip->base + (offset & ~(block - 1));
        *size = block;
        return FL_OK;
    }
    for (i = 0; i < chip->regionCount; i++) {
        uint32_t span = multiply(chip->sectorSize[i], chip->sectorCount[i]);
        if (offset - regionStart < span) {
            uint32_t sector = regionStart;
            while (offset - sector >= chip->sectorSize[i]) {
                sector += chip->sectorSize[i];
            }
            *start = chip->base + sector;
            *size = chip->sectorSize[i];
            return FL_OK;
        }
        regionStart += span;
    }
    return FL_ERR_REQUEST;
}

uint32_t fl_largest_sector(const FlChip *chip) {
    uint32_t largest = chip->regionCount == 0 ? chip->fallbackBlock : 0;
    uint16_t i;
    for (i = 0; i < chip->regionCount; i++) {
        if (chip->sectorSize[i] > largest) {
            largest = chip->sectorSize[i];
        }
    }
    return largest;
}

/* ---- Erase and program ---- */

/* AMD-style data polling: done once DQ7 shows the data's bit 7; DQ5 means the chip gave up,
 * confirmed by one more read.  A failure resets the chip. */
static int amd_wait(const FlChip *chip, uint32_t address, uint16_t expected) {
    uint32_t tries;
    for (tries = POLL_LIMIT; tries != 0; tries--) {
        uint16_t now = fl_read16(address);
        if (((now ^ expected) & 0x80) == 0) {
            return FL_OK;
        }
        if (now & 0x20) {
            now = fl_read16(address);
            if (((now ^ expected) & 0x80) == 0) {
                return FL_OK;
            }
            break;
        }
    }
    fl_write16(chip->base, 0xF0);
    return FL_ERR_TIMEOUT;
}

/* Intel-style status polling: ready when bit 7 is set; error bits 0x3A fail the operation and
 * are cleared, as the chip takes no further program or erase while they are set. */
static int intel_wait(uint32_t address) {
    uint32_t tries;
    for (tries = POLL_LIMIT; tries != 0; tries--) {
        uint16_t status = fl_read16(address);
        if (status & 0x80) {
            status &= 0x3A;
            if (status != 0) {
                fl_write16(address, 0x50);
            }
            fl_write16(address, 0xFF);
            return status != 0 ? FL_ERR_STATUS | status : FL_OK;
        }
    }
    return FL_ERR_TIMEOUT;
}

static void amd_command(const FlChip *chip, uint16_t command) {
    fl_write16(chip->base + AMD_UNLOCK1, 0xAA);
    fl_write16(chip->base + AMD_UNLOCK2, 0x55);
    fl_write16(chip->base + AMD_UNLOCK1, command);
}

static int erase_sector_only(const FlChip *chip, uint32_t sector) {
    if (chip->kind == FL_KIND_INTEL) {
        /* Flexible-locking parts power up with every block locked. */
        fl_write16(sector, 0x60);
        fl_write16(sector, 0xD0);
        fl_write16(sector, 0x20);
        fl_write16(sector, 0xD0);
        return intel_wait(sector);
    }
    amd_command(chip, 0x80);
    fl_write16(chip->base + AMD_UNLOCK1, 0xAA);
    fl_write16(chip->base + AMD_UNLOCK2, 0x55);
    fl_write16(sector, 0x30);
    return amd_wait(chip, sector, ERASED_WORD);
}

/* Without a CFI answer the block size is the host's assumption.  A word in front of the block
 * that an erase turned to 0xFFFF shows the real sector is larger: the rewrite stops there,
 * loudly, rather than go on over bytes it never saved. */
static int erase_sector(const FlChip *chip, uint32_t sector) {
    int checked = chip->regionCount == 0 && sector > chip->base;
    uint16_t wordBefore = checked ? fl_read16(sector - 2) : ERASED_WORD;
    int status = erase_sector_only(chip, sector);
    if (status == FL_OK && wordBefore != ERASED_WORD && fl_read16(sector - 2) != wordBefore) {
        status = FL_ERR_GEOMETRY;
    }
    return status;
}

static int program_word(const FlChip *chip, uint32_t address, uint16_t value) {
    int status;
    if (chip->kind == FL_KIND_INTEL) {
        fl_write16(address, 0x40);
        fl_write16(address, value);
        status = intel_wait(address);
    } else {
        amd_command(chip, 0xA0);
        fl_write16(address, value);
        status = amd_wait(chip, address, value);
    }
    if (status == FL_OK && fl_read16(address) != value) {
        status = FL_ERR_VERIFY;
    }
    return status;
}

/* ---- Comparing and copying ---- */

static int equal_bytes(uint32_t a, uint32_t b, uint32_t count) {
    uint32_t i;
    for (i = 0; i + 1 < count; i += 2) {
        if (fl_read16(a + i) != fl_read16(b + i)) {
            return 0;
        }
    }
    return i == count || fl_read8(a + i) == fl_read8(b + i);
}

static void copy_words(uint32_t to, uint32_t from, uint32_t count) {
    uint32_t i;
    for (i = 0; i < count; i += 2) {
        fl_write16(to + i, fl_read16(from + i));
    }
}

/* Both addresses even; an odd count ends with one byte. */
static void copy_bytes(uint32_t to, uint32_t from, uint32_t count) {
    copy_words(to, from, count & ~1UL);
    if (count & 1) {
        fl_write8(to + count - 1, fl_read8(from + count - 1));
    }
}

/* Programs the `count` bytes (even) at `at` from `copy`, skipping words that already hold
 * their value (after an erase, every 0xFFFF). */
static int program_from_copy(const FlChip *chip, uint32_t at, uint32_t copy, uint32_t count,
                             FlStats *stats) {
    uint32_t i;
    for (i = 0; i < count; i += 2) {
        uint16_t value = fl_read16(copy + i);
        int status;
        if (fl_read16(at + i) == value) {
            continue;
        }
        status = program_word(chip, at + i, value);
        if (status != FL_OK) {
            return status;
        }
        stats->wordsProgrammed++;
    }
    return FL_OK;
}

/* ---- The sector rewrite ---- */

static int holds_copy_of(uint32_t work, uint32_t sector, uint32_t size) {
    return read32(work) == sector && read32(work + 4) == size && read32(work + 8) == WORK_MAGIC;
}

static void save_sector(uint32_t work, uint32_t sector, uint32_t size) {
    copy_words(work + FL_WORK_HEADER, sector, size);
    write32(work, sector);
    write32(work + 4, size);
    write32(work + 8, WORK_MAGIC);
}

/* Makes the part [from, to) of the sector at `sector` hold the bytes at `src`. */
static int rewrite_sector(const FlChip *chip, uint32_t sector, uint32_t size, uint32_t from,
                          uint32_t to, uint32_t src, uint32_t work, FlStats *stats) {
    uint32_t copy = work + FL_WORK_HEADER;
    uint32_t head = from - sector;
    int erased, kept, rest;
    if (equal_bytes(from, src, to - from)) {
        return FL_OK;
    }
    if (!holds_copy_of(work, sector, size)) {
        save_sector(work, sector, size);
    }
    copy_bytes(copy + head, src, to - from);
    erased = erase_sector(chip, sector);
    if (erased == FL_OK) {
        stats->sectorsErased++;
    }
    /* The bytes in front of the range go back first, also after a failed erase. */
    kept = program_from_copy(chip, sector, copy, head, stats);
    if (kept != FL_OK) {
        return FL_ERR_KEPT;
    }
    stats->keptBelow += head;
    rest = program_from_copy(chip, from, copy + head, size - head, stats);
    if (erased != FL_OK) {
        return erased;
    }
    if (rest != FL_OK) {
        return rest;
    }
    write32(work + 8, 0);
    return FL_OK;
}

int fl_flash_range(const FlChip *chip, uint32_t dest, uint32_t src, uint32_t count,
                   uint32_t work, FlStats *stats) {
    uint32_t end = dest + count;
    uint32_t at = dest;
    if (count == 0) {
        return FL_OK;
    }
    if (((dest | src | work) & 1) != 0 || end < dest || dest < chip->base ||
        (chip->size != 0 && end - chip->base > chip->size)) {
        return FL_ERR_REQUEST;
    }
    while (at < end) {
        uint32_t sector, size, stop;
        int status = fl_sector(chip, at, &sector, &size);
        if (status != FL_OK) {
            return status;
        }
        stop = end - sector < size ? end : sector + size;
        status = rewrite_sector(chip, sector, size, at, stop, src + (at - dest), work, stats);
        if (status != FL_OK) {
            return status;
        }
        at = stop;
    }
    return equal_bytes(dest, src, count) ? FL_OK : FL_ERR_VERIFY;
}

/* ---- Checksum and description ---- */

static const uint32_t crc_nibbles[16] = {
    0x00000000UL, 0x1DB71064UL, 0x3B6E20C8UL, 0x26D930ACUL, 0x76DC4190UL, 0x6B6B51F4UL,
    0x4DB26158UL, 0x5005713CUL, 0xEDB88320UL, 0xF00F9344UL, 0xD6D6A3E8UL, 0xCB61B38CUL,
    0x9B64C2B0UL, 0x86D3D2D4UL, 0xA00AE278UL, 0xBDBDF21CUL};

uint32_t fl_crc32(uint32_t address, uint32_t count) {
    uint32_t crc = 0xFFFFFFFFUL;
    uint32_t i;
    for (i = 0; i < count; i++) {
        crc ^= fl_read8(address + i);
        crc = (crc >> 4) ^ crc_nibbles[crc & 15];
        crc = (crc >> 4) ^ crc_nibbles[crc & 15];
    }
    return ~crc;
}

void fl_describe(const FlChip *chip, uint32_t out) {
    uint16_t i;
    fl_write16(out, chip->kind);
    fl_write16(out + 2, chip->regionCount);
    fl_write16(out + 4, chip->manufacturer);
    fl_write16(out + 6, chip->device);
    write32(out + 8, chip->size);
    for (i = 0; i < chip->regionCount; i++) {
        write32(out + 12 + 8 * i, chip->sectorSize[i]);
        write32(out + 16 + 8 * i, chip->sectorCount[i]);
    }
}
