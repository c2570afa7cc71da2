#include "cpu/cpu_state.h"


namespace koru {

CpuRecord CpuState;

uint32_t* BankedRegisters(CpuRecord& cpu, uint32_t mode) {
    switch (mode & ModeMask) {
        case ModeUser:
        case ModeSystem: return &cpu.R13_usr;
        case ModeIrq: return &cpu.R13_irq;
        case ModeSupervisor: return &cpu.R13_svc;
        case ModeAbort: return &cpu.R13_abt;
        default: return &cpu.R13_und;  // FIQ, Undefined and invalid numbers
    }
}

uint32_t* SavedStatus(CpuRecord& cpu, uint32_t mode) {
    switch (mode & ModeMask) {
        case ModeFiq: return &cpu.SPSR_fiq;
        case ModeIrq: return &cpu.SPSR_irq;
        case ModeSupervisor: return &cpu.SPSR_svc;
        case ModeAbort: return &cpu.SPSR_abt;
        case ModeUndefined: return &cpu.SPSR_und;
        default: return nullptr;
    }
}

void ResetCpu(CpuRecord& cpu) {
    for (uint32_t& r : cpu.R) r = 0;
    cpu.CPSR = 0xD3;
    cpu.SliceCut = 0;
    cpu.IrqRequest = 0;
    cpu.Cycles = cpu.SliceCycles;
}

void SetCpsr(CpuRecord& cpu, uint32_t value) {
    const uint32_t old = cpu.CPSR;
    if ((old ^ value) & ModeMask) {
        uint32_t* from = BankedRegisters(cpu, old);
        uint32_t* to = BankedRegisters(cpu, value);
        from[0] = cpu.R[13];
        from[1] = cpu.R[14];
        cpu.R[13] = to[0];
        cpu.R[14] = to[1];
    }
    // The loop looks at the mode, T and I only between slices.
    if ((old ^ value) & (0x3F | FlagI)) CutSlice(cpu);
    cpu.CPSR = value;
}

void SignalIrq(CpuRecord& cpu) {
    cpu.IrqRequest = 1;
    CutSlice(cpu);
}

void TakeIrqIfPending(CpuRecord& cpu) {
    if (!cpu.IrqRequest || (cpu.CPSR & FlagI) || (cpu.CPSR & ModeMask) == ModeSupervisor) return;
    const uint32_t old = cpu.CPSR;
    cpu.SPSR_irq = old;
    SetCpsr(cpu, (old & ~0xFFu) | (old & 0xC0) | 0x92);
    cpu.R[14] = cpu.R[15] + 4;
    cpu.R[15] = 0x18;
}

}  // namespace koru
