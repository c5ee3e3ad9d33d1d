| The 68k flasher: programs one piece of a ROM image into 16-bit NOR flash of either common
| command set, verifies it, and breaks back into the debugger with the result in d0.
| Position-independent (PC-relative and register-indirect addressing only), plain 68000.
|
| Entry at code offset 48, in supervisor mode, with
|   d3 = 1 (the flash operation)     d4 = erase-block size (a power of two)
|   d5 = bytes to write              a2 = base of the flash chip
|   a3 = source in RAM               a6 = destination in flash
| A block is erased before its first word is written when the destination reaches the block's
| start ((address - a2) mod d4 == 0); words that already hold their value are not programmed.
| Result in d0: 0 success, 1 verify mismatch, 2 bad request, 4 the chip timed out,
| 0x80 + status bits an Intel-style chip reported an error.  Then TRAP #8 (the debugger's break).

    .equ    OP_FLASH, 1
    .equ    ERR_VERIFY, 1
    .equ    ERR_REQUEST, 2
    .equ    ERR_TIMEOUT, 4
    .equ    ERR_STATUS, 0x80
    .equ    POLL_LIMIT, 0x100000
    .equ    INTEL_MANUFACTURER, 0x89
    .equ    KIND_AMD, 0
    .equ    KIND_INTEL, 1

| Registers while flashing:
|   d2 block mask (d4 - 1)   d6 bytes left   d7 chip kind   a0 flash cursor   a1 source cursor
|   a4 base+0xAAAA           a5 base+0x5554  d0, d1, d3, d5 scratch

    .text
    .globl  flasher_start
flasher_start:
    bra.w   entry
    .ascii  "NOR flasher"
    .even
    .org    48
entry:
    cmpi.l  #OP_FLASH, %d3
    bne.w   bad_request
    move.l  %a6, %d0
    move.l  %a3, %d1
    or.l    %d1, %d0
    btst    #0, %d0
    bne.w   bad_request         | words must be aligned
    movea.l %a2, %a4
    adda.l  #0xAAAA, %a4
    movea.l %a2, %a5
    adda.l  #0x5554, %a5
    move.l  %d4, %d2
    subq.l  #1, %d2
    move.l  %d5, %d6
    bsr.w   identify
    cmpi.b  #KIND_INTEL, %d7
    bne.s   program_piece
    movea.l %a6, %a0            | the first block may not be erased: unlock it for programming
    bsr.w   intel_unlock

program_piece:
    movea.l %a6, %a0
    movea.l %a3, %a1
next_word:
    tst.l   %d6
    beq.s   verify
    move.l  %a0, %d0
    sub.l   %a2, %d0
    and.l   %d2, %d0
    bne.s   no_erase
    bsr.w   erase_block
    tst.l   %d0
    bne.w   finish
no_erase:
    cmpi.l  #1, %d6
    beq.s   last_byte
    move.w  (%a1)+, %d1
    cmp.w   (%a0), %d1
    beq.s   word_done           | already holds the value
    bsr.w   program_word
    tst.l   %d0
    bne.w   finish
word_done:
    addq.l  #2, %a0
    subq.l  #2, %d6
    bra.s   next_word
last_byte:                      | an odd count: program the high byte, keep the low one
    move.b  (%a0), %d0
    cmp.b   (%a1), %d0
    beq.s   verify
    move.b  (%a1), %d1
    lsl.w   #8, %d1
    move.b  #0xFF, %d1
    bsr.w   program_word
    tst.l   %d0
    bne.w   finish

verify:
    movea.l %a6, %a0
    movea.l %a3, %a1
    move.l  %d5, %d6
verify_words:
    cmpi.l  #2, %d6
    blt.s   verify_last
    cmpm.w  (%a1)+, (%a0)+
    bne.s   mismatch
    subq.l  #2, %d6
    bra.s   verify_words
verify_last:
    tst.l   %d6
    beq.s   success
    cmpm.b  (%a1)+, (%a0)+
    bne.s   mismatch
success:
    moveq   #0, %d0
    bra.s   finish
mismatch:
    moveq   #ERR_VERIFY, %d0
    bra.s   finish
bad_request:
    moveq   #ERR_REQUEST, %d0
finish:
    trap    #8
    bra.s   finish              | never resumed here

| Tells the command sets apart: the AMD autoselect sequence ends with 0x90, which an
| Intel-style chip also takes as its identify command, so manufacturer 0x89 means Intel.
| Leaves the chip in read-array mode; d7 = kind.
identify:
    move.w  #0xAA, (%a4)
    move.w  #0x55, (%a5)
    move.w  #0x90, (%a4)
    move.w  (%a2), %d0
    cmpi.b  #INTEL_MANUFACTURER, %d0
    beq.s   1f
    move.w  #0xF0, (%a2)
    moveq   #KIND_AMD, %d7
    rts
1:  move.w  #0x50, (%a2)
    move.w  #0xFF, (%a2)
    moveq   #KIND_INTEL, %d7
    rts

| Erases the block starting at a0.  d0 = 0 or an error.
erase_block:
    cmpi.b  #KIND_INTEL, %d7
    beq.s   intel_erase
    move.w  #0xAA, (%a4)
    move.w  #0x55, (%a5)
    move.w  #0x80, (%a4)
    move.w  #0xAA, (%a4)
    move.w  #0x55, (%a5)
    move.w  #0x30, (%a0)
    move.w  #0xFFFF, %d1
    bra.w   amd_wait
intel_erase:
    bsr.w   intel_unlock
    move.w  #0x20, (%a0)
    move.w  #0xD0, (%a0)
    bra.s   intel_wait

| Programs the word d1 at a0.  d0 = 0 or an error.
program_word:
    cmpi.b  #KIND_INTEL, %d7
    beq.s   intel_program
    move.w  #0xAA, (%a4)
    move.w  #0x55, (%a5)
    move.w  #0xA0, (%a4)
    move.w  %d1, (%a0)
    bra.w   amd_wait
intel_program:
    move.w  #0x40, (%a0)
    move.w  %d1, (%a0)
    bra.s   intel_wait

| AMD data polling at a0 for the data d1: done when DQ7 matches it; DQ5 set means the chip
| gave up, confirmed by one more read.  A failure resets the chip to read-array mode.
amd_wait:
    move.l  %d5, -(%sp)         | d5 (the count) is needed again by verify
    move.l  #POLL_LIMIT, %d3
1:  move.w  (%a0), %d0
    move.w  %d0, %d5
    eor.w   %d1, %d5
    btst    #7, %d5
    beq.s   3f
    btst    #5, %d0
    bne.s   2f
    subq.l  #1, %d3
    bne.s   1b
    bra.s   4f
2:  move.w  (%a0), %d0
    eor.w   %d1, %d0
    btst    #7, %d0
    beq.s   3f
4:  move.w  #0xF0, (%a2)
    moveq   #ERR_TIMEOUT, %d0
    bra.s   5f
3:  moveq   #0, %d0
5:  move.l  (%sp)+, %d5
    rts

| Intel status polling at a0: ready when bit 7 is set; error bits 0x3A fail the operation.
| Clears the status and returns the chip to read-array mode.
intel_wait:
    move.w  #0x70, (%a0)
    move.l  #POLL_LIMIT, %d3
1:  move.w  (%a0), %d0
    btst    #7, %d0
    bne.s   2f
    subq.l  #1, %d3
    bne.s   1b
    moveq   #ERR_TIMEOUT, %d0
    rts
2:  andi.l  #0x3A, %d0
    beq.s   3f
    ori.l   #ERR_STATUS, %d0
    move.w  #0x50, (%a0)
3:  move.w  #0xFF, (%a0)
    rts

| Clears the lock of the Intel block holding a0 and returns to read-array mode.
intel_unlock:
    move.w  #0x60, (%a0)
    move.w  #0xD0, (%a0)
    move.w  #0xFF, (%a0)
    rts
