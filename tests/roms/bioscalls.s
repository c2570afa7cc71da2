@ Calls of the BIOS services from both instruction sets, for bioscheck.c.
@ Each call takes a pointer to four words: R0-R3 before the call, and R0-R3
@ as the service left them afterwards.

    .macro ARM_CALL name, comment
    .arm
    .align 2
    .global \name
    .type \name, %function
\name:
    push    {r4, lr}
    mov     r4, r0
    ldmia   r4, {r0-r3}
    swi     \comment
    stmia   r4, {r0-r3}
    pop     {r4, lr}
    bx      lr
    .endm

    .macro THUMB_CALL name, comment
    .thumb
    .align 1
    .global \name
    .type \name, %function
    .thumb_func
\name:
    push    {r4, lr}
    mov     r4, r0
    ldmia   r4!, {r0-r3}
    sub     r4, #16
    swi     \comment
    stmia   r4!, {r0-r3}
    pop     {r4}
    pop     {r0}
    bx      r0
    .endm

    .text
    @ ARM code calls with the number in bits 16-23 of the comment field, or
    @ with a field of one byte.
    ARM_CALL arm_div, 0x060000
    ARM_CALL arm_div_low, 0x000006
    ARM_CALL arm_sqrt, 0x080000
    ARM_CALL arm_arctan2, 0x0A0000
    ARM_CALL arm_cpufastset, 0x0C0000
    ARM_CALL arm_lz77_wram, 0x110000
    ARM_CALL arm_intrwait, 0x040000
    ARM_CALL arm_registerramreset, 0x010000
    ARM_CALL arm_unknown, 0x2A0000
    ARM_CALL arm_bitunpack, 0x100000
    ARM_CALL arm_midikey2freq, 0x1F0000

    THUMB_CALL thumb_softreset, 0x00
    THUMB_CALL thumb_halt, 0x02
    THUMB_CALL thumb_vblankintrwait, 0x05
    THUMB_CALL thumb_div, 0x06
    THUMB_CALL thumb_divarm, 0x07
    THUMB_CALL thumb_sqrt, 0x08
    THUMB_CALL thumb_arctan, 0x09
    THUMB_CALL thumb_cpuset, 0x0B
    THUMB_CALL thumb_objaffineset, 0x0F
    THUMB_CALL thumb_huffman, 0x13
    THUMB_CALL thumb_rl_vram, 0x15
    THUMB_CALL thumb_unknown, 0x2A
    THUMB_CALL thumb_bgaffineset, 0x0E
    THUMB_CALL thumb_diff8_wram, 0x16
    THUMB_CALL thumb_diff8_vram, 0x17
    THUMB_CALL thumb_diff16, 0x18
    THUMB_CALL thumb_soundbiaschange, 0x19

@ The interrupt handler, called from the BIOS's interrupt vector in ARM
@ state: acknowledges what arrived and counts vertical blanks.
    .arm
    .align 2
    .global irq_handler
    .type irq_handler, %function
irq_handler:
    mov     r0, #0x04000000
    add     r0, r0, #0x200
    ldrh    r1, [r0]            @ enabled
    ldrh    r2, [r0, #2]        @ requested
    and     r1, r1, r2
    strh    r1, [r0, #2]        @ acknowledge
    tst     r1, #1
    ldrne   r0, =vblank_count
    ldrne   r2, [r0]
    addne   r2, r2, #1
    strne   r2, [r0]
    bx      lr
    .pool
