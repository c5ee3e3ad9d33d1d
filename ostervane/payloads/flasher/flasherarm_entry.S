@ The ARM flasher's entry, its first byte.  The parameter block lies 0x100 bytes before it;
@ the stack goes below the block.  flasherarm_main does the work and returns where the
@ handheld restarts (its card base), which the entry jumps to.

    .syntax unified
    .arch   armv4t
    .arm
    .section .text.entry, "ax"
    .globl  flasher_arm
flasher_arm:
    sub     r0, pc, #0x108      @ pc reads 8 ahead: the parameter block
    sub     sp, r0, #16
    bl      flasherarm_main
    bx      r0
