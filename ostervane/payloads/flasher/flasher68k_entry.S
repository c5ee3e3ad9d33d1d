| The 68k flasher's entry.  The host copies the flasher database to RAM and resumes the
| handheld at offset 48 of this code, in supervisor mode on the debugger's stack.  The entry
| hands every register to flasher68k_main, loads them back as it left them, and breaks into
| the debugger (TRAP #8), whose state packet carries the results to the host.

    .section .text.entry, "ax"
    .globl  flasher_start
flasher_start:
    bra.w   entry
    .ascii  "NOR flasher"
    .even
    .org    48
entry:
    movem.l %d0-%d7/%a0-%a6, -(%sp)
    move.l  %sp, -(%sp)
    bsr.w   flasher68k_main
    addq.l  #4, %sp
    movem.l (%sp)+, %d0-%d7/%a0-%a6
finish:
    trap    #8
    bra.s   finish              | never resumed here
