@ Start-up code shared by the cartridges built from source: the header block
@ (filled in by gbafix), stacks, copying of initialised data, clearing of
@ .bss, then main() in THUMB or ARM, whichever it was compiled for.
    .section .header, "ax"
    .arm
    .global _start
_start:
    b       reset
    .fill   156, 1, 0           @ logo area (not checked by the emulator)
    .fill   12, 1, 0            @ title, written by gbafix
    .ascii  "KORU"              @ game code, written by gbafix
    .ascii  "01"                @ maker
    .byte   0x96                @ fixed value
    .byte   0                   @ unit code
    .byte   0                   @ device type
    .fill   7, 1, 0
    .byte   0                   @ version
    .byte   0                   @ complement, written by gbafix
    .hword  0                   @ CRC field, written by gbafix

    .section .text.start, "ax"
    .arm
reset:
.ifdef KEEP_HANDOVER
    @ Built with -Wa,--defsym,KEEP_HANDOVER=1: the processor stays in the
    @ mode and with the stacks it was handed over with, and main() finds
    @ the status register as it came in handover_cpsr.
    mrs     r4, cpsr
.else
    @ IRQ and supervisor stacks the way the console's start-up leaves them.
    mov     r0, #0x12
    msr     cpsr_c, r0
    ldr     sp, =0x03007FA0
    mov     r0, #0x1F
    msr     cpsr_c, r0
    ldr     sp, =0x03007F00
.endif

    @ Copy .iwram/.data from ROM.
    ldr     r0, =__iwram_load
    ldr     r1, =__iwram_start
    ldr     r2, =__iwram_end
1:  cmp     r1, r2
    ldrlo   r3, [r0], #4
    strlo   r3, [r1], #4
    blo     1b

    @ Clear .bss.
    ldr     r1, =__bss_start
    ldr     r2, =__bss_end
    mov     r3, #0
2:  cmp     r1, r2
    strlo   r3, [r1], #4
    blo     2b

.ifdef KEEP_HANDOVER
    ldr     r0, =handover_cpsr
    str     r4, [r0]
.endif
    ldr     r0, =main
    mov     lr, pc
    bx      r0
3:  b       3b
    .pool
