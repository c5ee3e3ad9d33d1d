@ The ARM flasher: writes a whole ROM image into 16-bit NOR flash of either common command set,
@ verifies it, clears the image marker and restarts the handheld.  ARMv4T, ARM state,
@ position-independent (PC-relative addressing only), no stack.
@
@ Entered at its first byte.  The parameter block lies 0x100 bytes before the entry, 32-bit
@ little-endian words:
@   0 card base (the flash chip's base, where the handheld restarts)
@   4 image address        8 image size in bytes
@  12 marker address (cleared to 0xFFFFFFFF when it holds 0xFEEDFACE after a good flash)
@  16 target address in flash
@  20 written by the flasher: 0 success, 1 verify mismatch, 3 unknown chip, 4 chip timeout,
@     0x80 + status bits an Intel-style chip reported an error
@ The erase-block size comes from the chip's device code (table below).  A block is erased when
@ the write reaches its start; words that already hold their value are not programmed.

    .syntax unified
    .arch   armv4t
    .arm
    .text

    .equ    PARAM_CARD, 0
    .equ    PARAM_IMAGE, 4
    .equ    PARAM_SIZE, 8
    .equ    PARAM_MARKER, 12
    .equ    PARAM_TARGET, 16
    .equ    PARAM_RESULT, 20
    .equ    ERR_VERIFY, 1
    .equ    ERR_CHIP, 3
    .equ    ERR_TIMEOUT, 4
    .equ    ERR_STATUS, 0x80
    .equ    POLL_LIMIT, 0x100000

@ Registers: r0 flash cursor, r1 source cursor, r2 bytes left, r3 block mask, r4 card base,
@ r7 marker, r8 target, r9 chip kind (0 AMD, 1 Intel), r10 base+0xAAAA, r11 base+0x5554,
@ r12 value; r5, r6, r13 scratch (r6 also the result of a chip operation).

    .globl  flasher_arm
flasher_arm:
    sub     r12, pc, #0x108     @ pc reads 8 ahead: the parameter block
    ldr     r4, [r12, #PARAM_CARD]
    ldr     r1, [r12, #PARAM_IMAGE]
    ldr     r2, [r12, #PARAM_SIZE]
    ldr     r7, [r12, #PARAM_MARKER]
    ldr     r8, [r12, #PARAM_TARGET]
    add     r10, r4, #0xAA00
    add     r10, r10, #0xAA
    add     r11, r4, #0x5500
    add     r11, r11, #0x54
    bl      identify
    movs    r3, r3
    moveq   r6, #ERR_CHIP
    beq     finish
    sub     r3, r3, #1
    mov     r0, r8
    cmp     r9, #1
    bleq    intel_unlock        @ the first block may not be erased: unlock it for programming

next_word:
    cmp     r2, #0
    ble     verify
    sub     r13, r0, r4
    tst     r13, r3
    bne     no_erase
    bl      erase_block
    cmp     r6, #0
    bne     finish
no_erase:
    cmp     r2, #1
    beq     last_byte
    ldrh    r12, [r1], #2
    ldrh    r13, [r0]
    cmp     r12, r13
    beq     word_done           @ already holds the value
    bl      program_word
    cmp     r6, #0
    bne     finish
word_done:
    add     r0, r0, #2
    sub     r2, r2, #2
    b       next_word
last_byte:                      @ an odd size: program the low byte, keep the high one
    ldrb    r12, [r1]
    ldrb    r13, [r0]
    cmp     r12, r13
    beq     verify
    orr     r12, r12, #0xFF00
    bl      program_word
    cmp     r6, #0
    bne     finish

verify:
    adr     r12, flasher_arm
    sub     r12, r12, #0x100
    ldr     r1, [r12, #PARAM_IMAGE]
    ldr     r2, [r12, #PARAM_SIZE]
    mov     r0, r8
    mov     r6, #0
1:  subs    r2, r2, #1
    bmi     clear_marker
    ldrb    r5, [r0], #1
    ldrb    r13, [r1], #1
    cmp     r5, r13
    beq     1b
    mov     r6, #ERR_VERIFY
    b       finish

clear_marker:
    movs    r7, r7
    beq     finish
    ldr     r5, [r7]
    ldr     r13, marker_value
    cmp     r5, r13
    mvneq   r5, #0
    streq   r5, [r7]

finish:                         @ leaves the result beside the parameters and restarts
    adr     r12, flasher_arm
    sub     r12, r12, #0x100
    str     r6, [r12, #PARAM_RESULT]
    ldr     r4, [r12, #PARAM_CARD]
    bx      r4

marker_value:
    .word   0xFEEDFACE

@ The AMD autoselect sequence ends with 0x90, which an Intel-style chip also takes as its
@ identify command, so manufacturer 0x89 means Intel.  r9 = kind, r3 = block size (0: unknown);
@ the chip is left in read-array mode.
identify:
    mov     r5, #0xAA
    strh    r5, [r10]
    mov     r5, #0x55
    strh    r5, [r11]
    mov     r5, #0x90
    strh    r5, [r10]
    ldrh    r6, [r4]
    ldrh    r13, [r4, #2]
    cmp     r6, #0x89
    moveq   r9, #1
    movne   r9, #0
    moveq   r5, #0x50
    strheq  r5, [r4]
    moveq   r5, #0xFF
    movne   r5, #0xF0
    strh    r5, [r4]
    adr     r5, block_sizes
    mov     r3, #0
1:  ldr     r12, [r5], #8
    cmp     r12, #0
    bxeq    lr
    cmp     r12, r13
    bne     1b
    ldr     r3, [r5, #-4]
    bx      lr

block_sizes:                    @ device code, erase-block size; 0 ends the table
    .word   0x2249, 0x10000     @ AMD-style 16 Mbit, bottom boot
    .word   0x88C3, 0x20000     @ Intel-style 16 Mbit, bottom boot
    .word   0, 0

@ Erases the block at r0.  r6 = 0 or an error.
erase_block:
    cmp     r9, #1
    beq     intel_erase
    mov     r5, #0xAA
    strh    r5, [r10]
    mov     r5, #0x55
    strh    r5, [r11]
    mov     r5, #0x80
    strh    r5, [r10]
    mov     r5, #0xAA
    strh    r5, [r10]
    mov     r5, #0x55
    strh    r5, [r11]
    mov     r5, #0x30
    strh    r5, [r0]
    mov     r12, #0xFF
    orr     r12, r12, #0xFF00
    b       amd_wait
intel_erase:
    mov     r5, #0x60
    strh    r5, [r0]
    mov     r5, #0xD0
    strh    r5, [r0]
    mov     r5, #0x20
    strh    r5, [r0]
    mov     r5, #0xD0
    strh    r5, [r0]
    b       intel_wait

@ Programs the halfword r12 at r0.  r6 = 0 or an error.
program_word:
    cmp     r9, #1
    beq     intel_program
    mov     r5, #0xAA
    strh    r5, [r10]
    mov     r5, #0x55
    strh    r5, [r11]
    mov     r5, #0xA0
    strh    r5, [r10]
    strh    r12, [r0]
    b       amd_wait
intel_program:
    mov     r5, #0x40
    strh    r5, [r0]
    strh    r12, [r0]
    b       intel_wait

@ AMD data polling at r0 for the data r12: done when DQ7 matches; DQ5 means the chip gave up,
@ confirmed by one more read.  A failure resets the chip to read-array mode.
amd_wait:
    mov     r5, #POLL_LIMIT
1:  ldrh    r6, [r0]
    eor     r13, r6, r12
    tst     r13, #0x80
    beq     3f
    tst     r6, #0x20
    bne     2f
    subs    r5, r5, #1
    bne     1b
    b       4f
2:  ldrh    r6, [r0]
    eor     r6, r6, r12
    tst     r6, #0x80
    beq     3f
4:  mov     r5, #0xF0
    strh    r5, [r4]
    mov     r6, #ERR_TIMEOUT
    bx      lr
3:  mov     r6, #0
    bx      lr

@ Intel status polling at r0: ready when bit 7 is set; error bits 0x3A fail the operation.
@ Clears the status and returns the chip to read-array mode.
intel_wait:
    mov     r5, #0x70
    strh    r5, [r0]
    mov     r5, #POLL_LIMIT
1:  ldrh    r6, [r0]
    tst     r6, #0x80
    bne     2f
    subs    r5, r5, #1
    bne     1b
    mov     r6, #ERR_TIMEOUT
    bx      lr
2:  ands    r6, r6, #0x3A
    orrne   r6, r6, #ERR_STATUS
    movne   r5, #0x50
    strhne  r5, [r0]
    mov     r5, #0xFF
    strh    r5, [r0]
    bx      lr

@ Clears the lock of the Intel block holding r0 and returns to read-array mode.
intel_unlock:
    mov     r5, #0x60
    strh    r5, [r0]
    mov     r5, #0xD0
    strh    r5, [r0]
    mov     r5, #0xFF
    strh    r5, [r0]
    bx      lr
