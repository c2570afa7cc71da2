// The processor record, its register banks and the mode changes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace koru {

// Processor modes (the low five bits of CPSR).
enum : uint32_t {
    ModeUser = 0x10,
    ModeFiq = 0x11,
    ModeIrq = 0x12,
    ModeSupervisor = 0x13,
    ModeAbort = 0x17,
    ModeUndefined = 0x1B,
    ModeSystem = 0x1F,
};

// CPSR bits.
enum : uint32_t {
    FlagN = 0x80000000u,
    FlagZ = 0x40000000u,
    FlagC = 0x20000000u,
    FlagV = 0x10000000u,
    FlagI = 0x80,
    FlagF = 0x40,
    FlagT = 0x20,
    ModeMask = 0x1F,
};

// The state file stores this record as one block, so its layout is fixed:
// 188 bytes, little-endian, every offset checked below.
struct CpuRecord {
    uint32_t CPSR;
    uint32_t R[16];  // R[15]: address of the next instruction to fetch
    uint32_t Reserved44;
    uint32_t R13_usr, R14_usr;  // User and System
    uint32_t SPSR_svc, R13_svc, R14_svc;
    uint32_t SPSR_abt, R13_abt, R14_abt;
    uint32_t SPSR_irq, R13_irq, R14_irq;
    uint32_t SPSR_und, R13_und, R14_und;  // also FIQ and invalid modes
    uint32_t SPSR_fiq;
    uint32_t Reserved84[7];
    uint32_t IrqRequest;   // an interrupt is pending for the processor
    int32_t SliceCycles;   // length of the next slice
    int32_t Cycles;        // cycles left in the current slice
    int32_t SavedCycles;   // remainder of a slice that was cut short
    uint8_t SliceCut;      // a cut is pending
    uint8_t ReservedB1[3];
    uint32_t ReservedB4;
    uint8_t Trace;         // log unrecognised opcodes
    uint8_t ReservedB9[3];
};

static_assert(sizeof(CpuRecord) == 188);
static_assert(offsetof(CpuRecord, CPSR) == 0x00);
static_assert(offsetof(CpuRecord, R) == 0x04);
static_assert(offsetof(CpuRecord, R13_usr) == 0x48);
static_assert(offsetof(CpuRecord, R14_usr) == 0x4C);
static_assert(offsetof(CpuRecord, SPSR_svc) == 0x50);
static_assert(offsetof(CpuRecord, R13_svc) == 0x54);
static_assert(offsetof(CpuRecord, R14_svc) == 0x58);
static_assert(offsetof(CpuRecord, SPSR_abt) == 0x5C);
static_assert(offsetof(CpuRecord, R13_abt) == 0x60);
static_assert(offsetof(CpuRecord, R14_abt) == 0x64);
static_assert(offsetof(CpuRecord, SPSR_irq) == 0x68);
static_assert(offsetof(CpuRecord, R13_irq) == 0x6C);
static_assert(offsetof(CpuRecord, R14_irq) == 0x70);
static_assert(offsetof(CpuRecord, SPSR_und) == 0x74);
static_assert(offsetof(CpuRecord, R13_und) == 0x78);
static_assert(offsetof(CpuRecord, R14_und) == 0x7C);
static_assert(offsetof(CpuRecord, SPSR_fiq) == 0x80);
static_assert(offsetof(CpuRecord, IrqRequest) == 0xA0);
static_assert(offsetof(CpuRecord, SliceCycles) == 0xA4);
static_assert(offsetof(CpuRecord, Cycles) == 0xA8);
static_assert(offsetof(CpuRecord, SavedCycles) == 0xAC);
static_assert(offsetof(CpuRecord, SliceCut) == 0xB0);
static_assert(offsetof(CpuRecord, Trace) == 0xB8);

// The one processor of the machine.
extern CpuRecord CpuState;

// Where R13/R14 of a mode are kept while the mode is not current.
uint32_t* BankedRegisters(CpuRecord& cpu, uint32_t mode);
// The mode's saved status register, or nullptr in modes without one.
uint32_t* SavedStatus(CpuRecord& cpu, uint32_t mode);

// Power-on state of the processor (banks, SPSRs and Trace are kept).
void ResetCpu(CpuRecord& cpu);
// The only full write of CPSR: switches banks and cuts the slice when the
// mode, T or I bit changes.
void SetCpsr(CpuRecord& cpu, uint32_t value);
// Marks an interrupt pending and ends the slice at the next instruction.
void SignalIrq(CpuRecord& cpu);

// Ends the current slice at the next instruction boundary; a cut made while
// another is pending is ignored so that the first remainder is kept.
inline void CutSlice(CpuRecord& cpu) {
    if (cpu.SliceCut) return;
    cpu.SavedCycles = cpu.Cycles;
    cpu.Cycles = 0;
    cpu.SliceCut = 1;
}

// Enters the IRQ exception when one is pending, the I bit is clear and the
// processor is not in Supervisor mode.
void TakeIrqIfPending(CpuRecord& cpu);

// The steps between two slices, the same code RunCpu runs: restores a cut
// slice or advances the hardware by half a line, then takes a pending
// interrupt. Returns false when the machine must stop.
bool EndSlice(CpuRecord& cpu);

}  // namespace koru
