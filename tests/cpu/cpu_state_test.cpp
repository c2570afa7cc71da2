// The processor record: banking, status writes, slice cuts, IRQ entry.
#include <gtest/gtest.h>

#include <cstring>

#include "cpu/cpu_state.h"

namespace koru {
namespace {

class CpuStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&cpu, 0, sizeof cpu);
        cpu.SliceCycles = 960;
        ResetCpu(cpu);
    }
    CpuRecord cpu;
};

TEST_F(CpuStateTest, ResetEntersSupervisorModeWithInterruptsOff) {
    cpu.R[3] = 7;
    cpu.R14_irq = 99;
    cpu.Trace = 1;
    cpu.SliceCut = 1;
    cpu.IrqRequest = 1;
    ResetCpu(cpu);
    EXPECT_EQ(cpu.CPSR, 0xD3u);
    EXPECT_EQ(cpu.R[3], 0u);
    EXPECT_EQ(cpu.R14_irq, 99u);
    EXPECT_EQ(cpu.Trace, 1);
    EXPECT_EQ(cpu.SliceCut, 0);
    EXPECT_EQ(cpu.IrqRequest, 0u);
    EXPECT_EQ(cpu.Cycles, 960);
}

TEST_F(CpuStateTest, ModeChangeSwapsR13AndR14ThroughTheBanks) {
    cpu.R[13] = 0x100;
    cpu.R[14] = 0x200;
    SetCpsr(cpu, 0x1F);  // System
    EXPECT_EQ(cpu.R13_svc, 0x100u);
    EXPECT_EQ(cpu.R14_svc, 0x200u);
    cpu.R[13] = 0x300;
    SetCpsr(cpu, 0x10);  // User shares the System bank: nothing moves
    EXPECT_EQ(cpu.R[13], 0x300u);
    SetCpsr(cpu, 0x12);
    EXPECT_EQ(cpu.R13_usr, 0x300u);
    SetCpsr(cpu, 0x13);
    EXPECT_EQ(cpu.R[13], 0x100u);
    EXPECT_EQ(cpu.R[14], 0x200u);
}

TEST_F(CpuStateTest, FiqUndefinedAndInvalidModesShareOneBank) {
    SetCpsr(cpu, 0x10);
    SetCpsr(cpu, 0x11);
    cpu.R[13] = 0xF1F1;
    SetCpsr(cpu, 0x1B);
    EXPECT_EQ(cpu.R[13], 0xF1F1u) << "FIQ and Undefined share R13";
    SetCpsr(cpu, 0x05);
    EXPECT_EQ(cpu.R[13], 0xF1F1u) << "an invalid mode uses the same bank";
    EXPECT_EQ(SavedStatus(cpu, 0x05), nullptr);
    EXPECT_EQ(SavedStatus(cpu, 0x11), &cpu.SPSR_fiq);
    EXPECT_EQ(SavedStatus(cpu, 0x10), nullptr);
    EXPECT_EQ(SavedStatus(cpu, 0x1F), nullptr);
}

TEST_F(CpuStateTest, OnlyModeTOrIChangesCutTheSlice) {
    cpu.Cycles = 500;
    SetCpsr(cpu, cpu.CPSR ^ FlagF);
    EXPECT_EQ(cpu.SliceCut, 0) << "F alone does not cut";
    SetCpsr(cpu, cpu.CPSR ^ FlagN);
    EXPECT_EQ(cpu.SliceCut, 0) << "flags do not cut";
    SetCpsr(cpu, cpu.CPSR | FlagT);
    EXPECT_EQ(cpu.SliceCut, 1);
    EXPECT_EQ(cpu.SavedCycles, 500);
    EXPECT_EQ(cpu.Cycles, 0);
    EXPECT_EQ(cpu.R13_svc, 0u) << "T alone does not touch the banks";
}

TEST_F(CpuStateTest, ACutWhileOneIsPendingKeepsTheFirstRemainder) {
    cpu.Cycles = 300;
    CutSlice(cpu);
    cpu.Cycles = -4;
    CutSlice(cpu);
    SignalIrq(cpu);
    EXPECT_EQ(cpu.SavedCycles, 300);
    EXPECT_EQ(cpu.Cycles, -4);
    EXPECT_EQ(cpu.IrqRequest, 1u);
}

TEST_F(CpuStateTest, IrqEntryFromThumbSavesStatusAndReturnAddress) {
    cpu.CPSR = 0x6000003F;  // System, THUMB, Z and C set, interrupts on
    cpu.R[15] = 0x08000100;
    cpu.IrqRequest = 1;
    TakeIrqIfPending(cpu);
    EXPECT_EQ(cpu.SPSR_irq, 0x6000003Fu);
    EXPECT_EQ(cpu.CPSR, 0x60000092u);
    EXPECT_EQ(cpu.R[14], 0x08000104u);
    EXPECT_EQ(cpu.R[15], 0x18u);
    EXPECT_EQ(cpu.IrqRequest, 1u) << "the request is not cleared by the entry";
}

TEST_F(CpuStateTest, IrqIsNotTakenWithIOrInSupervisorMode) {
    cpu.IrqRequest = 1;
    cpu.R[15] = 0x100;
    cpu.CPSR = 0x13;  // Supervisor, I clear
    TakeIrqIfPending(cpu);
    EXPECT_EQ(cpu.R[15], 0x100u);
    cpu.CPSR = 0x1F | FlagI;
    TakeIrqIfPending(cpu);
    EXPECT_EQ(cpu.R[15], 0x100u);
    cpu.CPSR = 0x1F | FlagF;  // F set does not block an IRQ and is kept
    TakeIrqIfPending(cpu);
    EXPECT_EQ(cpu.R[15], 0x18u);
    EXPECT_EQ(cpu.CPSR & 0xFF, 0xD2u);
}

TEST_F(CpuStateTest, EndOfACutSliceRestoresTheRemainderWithoutHardware) {
    cpu.Cycles = 100;
    CutSlice(cpu);
    cpu.Cycles = -3;  // the instruction after the cut overran
    ASSERT_TRUE(EndSlice(cpu));
    EXPECT_EQ(cpu.SliceCut, 0);
    EXPECT_EQ(cpu.Cycles, 97);
}

}  // namespace
}  // namespace koru
