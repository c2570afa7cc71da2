@ ARM-state code of the demo, run from Internal Working RAM.

    .section .iwram, "ax", %progbits
    .arm
    .align 2

@ The interrupt handler that the BIOS's interrupt vector calls (through the
@ pointer at 0x03007FFC), in IRQ mode with r0-r3, r12 and lr already saved.
@ It acknowledges the requests it serves, records them where a real BIOS's
@ interrupt wait looks for them, and hands them to IrqDispatch (THUMB C).
    .global IrqEntry
IrqEntry:
    mov     r0, #0x04000000
    ldr     r1, [r0, #0x200]        @ interrupt enable | request flags << 16
    and     r1, r1, r1, lsr #16     @ the enabled requests
    add     r3, r0, #0x200
    strh    r1, [r3, #2]            @ acknowledge them
    ldr     r3, =0x03007FF8
    ldrh    r2, [r3]
    orr     r2, r2, r1
    strh    r2, [r3]
    mov     r0, r1
    stmfd   sp!, {lr}
    ldr     r3, =IrqDispatch
    mov     lr, pc
    bx      r3
    ldmfd   sp!, {lr}
    bx      lr

@ u32 ArmSqrt(u32 value): the BIOS square root, called from ARM state, where
@ the call number sits in bits 16-23 of the instruction's comment field.
    .global ArmSqrt
ArmSqrt:
    swi     0x080000
    bx      lr

    .pool
