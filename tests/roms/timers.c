/* Reads a running timer, as programs that measure time or seed a random
   generator do: timer 0 counts at 1/64 of the clock from 0x1000; its
   counter register must move between two reads a frame apart, and a timer
   stopped and started again counts from its reload value once more.

   Verdict in registers (then the program loops):
   R12 = 0 when both hold, 1 when the count did not move, 2 when the restart
   did not start from the reload value; R1 and R2 the two reads, R3 the
   read right after the restart. */
#include "gba.h"

#define REG_TM0CNT_L REG16(0x100)
#define REG_TM0CNT_H REG16(0x102)

int main(void) {
    REG_TM0CNT_L = 0x1000;
    REG_TM0CNT_H = 0x0081;  /* enabled, prescale 64 */
    wait_vblank();
    const u32 first = REG_TM0CNT_L;
    wait_vblank();
    const u32 second = REG_TM0CNT_L;
    REG_TM0CNT_H = 0;
    REG_TM0CNT_H = 0x0081;
    const u32 restarted = REG_TM0CNT_L;

    register u32 r1 asm("r1") = first;
    register u32 r2 asm("r2") = second;
    register u32 r3 asm("r3") = restarted;
    register u32 r12 asm("r12") = second == first ? 1 : restarted != 0x1000 ? 2 : 0;
    asm volatile("1: b 1b" : : "r"(r1), "r"(r2), "r"(r3), "r"(r12));
    return 0;
}
