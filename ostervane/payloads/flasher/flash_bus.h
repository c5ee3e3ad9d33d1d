/* How the flasher reaches memory: flash through 16-bit bus cycles, RAM as bytes and words.
 * On the handheld these are plain volatile accesses; the host's stand-in for the handheld
 * (FLASHER_HOST) supplies them as functions that drive its simulated chips. */
#ifndef FLASH_BUS_H
#define FLASH_BUS_H

#include <stdint.h>

#ifdef FLASHER_HOST
#ifdef __cplusplus
extern "C" {
#endif
uint16_t fl_read16(uint32_t address);
void fl_write16(uint32_t address, uint16_t value);
uint8_t fl_read8(uint32_t address);
void fl_write8(uint32_t address, uint8_t value);
#ifdef __cplusplus
}
#endif
#else
static inline uint16_t fl_read16(uint32_t address) {
    return *(volatile uint16_t *)(uintptr_t)address;
}
static inline void fl_write16(uint32_t address, uint16_t value) {
    *(volatile uint16_t *)(uintptr_t)address = value;
}
static inline uint8_t fl_read8(uint32_t address) {
    return *(volatile uint8_t *)(uintptr_t)address;
}
static inline void fl_write8(uint32_t address, uint8_t value) {
    *(volatile uint8_t *)(uintptr_t)address = value;
}
#endif

#endif
