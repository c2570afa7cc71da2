/* A battery of integer computations, compiled twice: for the console (in
   ARM and in THUMB code, run by the emulator) and for the host (the
   reference). Each entry of the result table folds many results, so that a
   mismatch names the operation class and the operand pair. Written in the
   common subset of C and C++, free of undefined behaviour. */
#ifndef KORU_TEST_CPUWORK_H
#define KORU_TEST_CPUWORK_H

#define CPUWORK_VALUES 16
#define CPUWORK_CLASSES 8
#define CPUWORK_RESULTS (CPUWORK_VALUES * CPUWORK_VALUES * CPUWORK_CLASSES)

/* Class names, in the order of the table's innermost index. */
#define CPUWORK_CLASS_NAMES \
    { "32-bit compares", "64-bit compares", "overflow checks", "add/sub with carry", \
      "multiplies", "divisions", "shifts", "narrow loads and stores" }

#ifdef __cplusplus
extern "C" {
#endif

/* Fills results[(i * CPUWORK_VALUES + j) * CPUWORK_CLASSES + class] for the
   operand pair (values[i], values[j]). values is read through a volatile
   pointer so that nothing is computed at compile time. */
void CpuWork(const volatile unsigned int* values, unsigned int* results);

extern const unsigned int CpuWorkValues[CPUWORK_VALUES];

#ifdef __cplusplus
}
#endif

#endif
