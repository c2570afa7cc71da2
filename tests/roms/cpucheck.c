/* Runs the computations of cpuwork.c on the console and leaves the results
   in External Working RAM for the test to compare with the host's own:
   CPUWORK_RESULTS words at 0x02010000, then the word 0xC0DEC0DE at
   0x0200FFFC once they are complete. Built in ARM and in THUMB code. */
#include "gba.h"
#include "cpuwork.h"

#define RESULTS ((unsigned int*)0x02010000)
#define DONE (*(volatile u32*)0x0200FFFC)

int main(void) {
    DONE = 0;
    CpuWork(CpuWorkValues, RESULTS);
    DONE = 0xC0DEC0DE;
    for (;;) {}
}
