// Guest instructions per second of the interpreter: loops of ARM and THUMB
// code in Internal Working RAM, run by RunCpu on a prepared machine for a
// number of frames. Each loop counts its own iterations in a register, so
// the instructions executed are iterations x loop length.
//
//   bench_cpu [frames]     (default 600, ten seconds of console time)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "cpu/cpu_state.h"
#include "cpu/run.h"
#include "machine/host.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "video/video.h"

namespace {

uint32_t FramesLeft = 0;
std::vector<uint16_t> Frame(koru::FrameWidth * koru::FrameHeight);

struct Workload {
    const char* name;
    bool thumb;
    std::vector<uint32_t> code;  // ARM words, or THUMB halfwords
    uint32_t counter;            // register counting the iterations
    uint32_t length;             // instructions per iteration
};

// ARM: register arithmetic with every operand form.
const Workload ArmAlu{"ARM data processing", false,
                      {
                          0xE0800001,  // ADD R0, R0, R1
                          0xE2522001,  // SUBS R2, R2, #1
                          0xE0233180,  // EOR R3, R3, R0, LSL #3
                          0xE1934532,  // ORRS R4, R3, R2, LSR R5
                          0xE0000190,  // MUL R0, R0, R1
                          0xE1A06FE3,  // MOV R6, R3, ROR #31
                          0xE3520000,  // CMP R2, #0
                          0x11A09000,  // MOVNE R9, R0
                          0xE28CC001,  // ADD R12, R12, #1
                          0xEAFFFFF5,  // B loop
                      },
                      12, 10};

// ARM: single, halfword and block transfers in Internal Working RAM.
const Workload ArmMemory{"ARM loads/stores", false,
                         {
                             0xE59A6004,  // LDR R6, [R10, #4]
                             0xE58A6008,  // STR R6, [R10, #8]
                             0xE5DA7001,  // LDRB R7, [R10, #1]
                             0xE1CA70BC,  // STRH R7, [R10, #12]
                             0xE89A00C0,  // LDMIA R10, {R6, R7}
                             0xE88B00C0,  // STMIA R11, {R6, R7}
                             0xE79A6102,  // LDR R6, [R10, R2, LSL #2]
                             0xE28CC001,  // ADD R12, R12, #1
                             0xEAFFFFF6,  // B loop
                         },
                         12, 9};

// ARM: branches, taken and not, and a call and return.
const Workload ArmBranch{"ARM branches", false,
                         {
                             0xE3520000,  // CMP R2, #0
                             0x0AFFFFFF,  // BEQ to the next (not taken)
                             0xEA000000,  // B +0 (over the next)
                             0xE1A00000,  // MOV R0, R0 (skipped)
                             0xEB000001,  // BL sub
                             0xE28CC001,  // ADD R12, R12, #1
                             0xEAFFFFF8,  // B loop
                             0xE12FFF1E,  // sub: BX LR
                         },
                         12, 7};

// THUMB: register arithmetic.
const Workload ThumbAlu{"THUMB data processing", true,
                        {
                            0x1840,  // ADD R0, R0, R1
                            0x3A01,  // SUB R2, #1
                            0x00C3,  // LSL R3, R0, #3
                            0x4043,  // EOR R3, R0
                            0x4348,  // MUL R0, R1
                            0x40EB,  // LSR R3, R5
                            0x2A00,  // CMP R2, #0
                            0x4684,  // MOV R12, R0
                            0x3401,  // ADD R4, #1
                            0xE7F5,  // B loop
                        },
                        4, 10};

// THUMB: transfers in Internal Working RAM.
const Workload ThumbMemory{"THUMB loads/stores", true,
                           {
                               0x686E,  // LDR R6, [R5, #4]
                               0x60AE,  // STR R6, [R5, #8]
                               0x786F,  // LDRB R7, [R5, #1]
                               0x81AF,  // STRH R7, [R5, #12]
                               0x58AE,  // LDR R6, [R5, R2]
                               0xB4C0,  // PUSH {R6, R7}
                               0xBCC0,  // POP {R6, R7}
                               0x3401,  // ADD R4, #1
                               0xE7F6,  // B loop
                           },
                           4, 9};

// THUMB: branches, a BL pair and a return.
const Workload ThumbBranch{"THUMB branches", true,
                           {
                               0x2A00,  // CMP R2, #0
                               0xD0FF,  // BEQ to the next (not taken)
                               0xE000,  // B +0 (over the next)
                               0x46C0,  // NOP (skipped)
                               0xF000,  // BL sub (high)
                               0xF802,  // BL sub (low)
                               0x3401,  // ADD R4, #1
                               0xE7F7,  // B loop
                               0x4770,  // sub: BX LR
                           },
                           4, 8};

std::vector<uint8_t> IdleCartridge() {
    std::vector<uint8_t> image(64 * 1024, 0);
    for (size_t i = 0; i < image.size(); i += 4) koru::Poke32(&image[i], 0xEAFFFFFE);  // B .
    for (int i = 0x04; i < 0xC0; ++i) image[i] = 0;
    koru::Poke32(&image[0], 0xEA00002E);  // B 0x080000C0
    const char title[] = "CPU BENCH";
    for (int i = 0; title[i]; ++i) image[0xA0 + i] = static_cast<uint8_t>(title[i]);
    image[0xB2] = 0x96;
    uint8_t complement = 0xE7;
    for (int i = 0xA0; i <= 0xBC; ++i) complement = static_cast<uint8_t>(complement - image[i]);
    image[0xBD] = complement;
    return image;
}

void Place(const Workload& w) {
    uint32_t a = 0x03000000;
    for (uint32_t op : w.code) {
        uint8_t* p = koru::ReadPageTable[a >> 14] + (a & 0x3FFF);
        if (w.thumb) {
            koru::Poke16(p, static_cast<uint16_t>(op));
            a += 2;
        } else {
            koru::Poke32(p, op);
            a += 4;
        }
    }
}

double RunWorkload(const std::filesystem::path& cartridge, const Workload& w, uint32_t frames) {
    if (!koru::PrepareMachine(cartridge.string().c_str())) {
        std::fprintf(stderr, "bench_cpu: cannot start the machine\n");
        std::exit(1);
    }
    Place(w);
    koru::CpuRecord& cpu = koru::CpuState;
    koru::SetCpsr(cpu, 0xDFu | (w.thumb ? uint32_t{koru::FlagT} : 0u));  // System mode, interrupts off
    cpu.SliceCut = 0;
    cpu.Cycles = cpu.SliceCycles;
    for (uint32_t& r : cpu.R) r = 0;
    cpu.R[1] = 3;
    cpu.R[2] = 1000;
    cpu.R[5] = w.thumb ? 0x03004000 : 1;
    cpu.R[10] = 0x03004000;
    cpu.R[11] = 0x03004100;
    cpu.R[13] = 0x03007F00;
    cpu.R[15] = 0x03000000;
    FramesLeft = frames;

    const auto start = std::chrono::steady_clock::now();
    koru::RunCpu(cpu);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double instructions = static_cast<double>(cpu.R[w.counter]) * w.length;
    koru::ShutdownMachine();
    koru::ExitRequest = 0;
    return instructions / seconds / 1e6;
}

}  // namespace

namespace koru {
void ShowFrame(int, int, int, int) {}
uint32_t PollInput() {
    if (FramesLeft > 0 && --FramesLeft == 0) ExitRequest = 1;
    return 0;
}
}  // namespace koru

int main(int argc, char** argv) {
    const uint32_t frames = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 600;
    koru::ResetSettings();
    koru::Verbose = 0;
    koru::CheckCRC = 0;
    koru::FrameBuffer = Frame.data();
    koru::BuildColourTables();

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "koru-cpu-bench";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    const std::filesystem::path cartridge = dir / "bench.gba";
    {
        const std::vector<uint8_t> image = IdleCartridge();
        std::ofstream(cartridge, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                         static_cast<std::streamsize>(image.size()));
    }

    std::printf("bench_cpu: %u frames per loop, code and data in Internal Working RAM\n", frames);
    double armTotal = 0, thumbTotal = 0;
    for (const Workload* w : {&ArmAlu, &ArmMemory, &ArmBranch}) {
        const double mips = RunWorkload(cartridge, *w, frames);
        armTotal += mips;
        std::printf("  %-24s %8.1f MIPS\n", w->name, mips);
    }
    for (const Workload* w : {&ThumbAlu, &ThumbMemory, &ThumbBranch}) {
        const double mips = RunWorkload(cartridge, *w, frames);
        thumbTotal += mips;
        std::printf("  %-24s %8.1f MIPS\n", w->name, mips);
    }
    std::printf("  %-24s %8.1f MIPS\n", "ARM (mean of 3)", armTotal / 3);
    std::printf("  %-24s %8.1f MIPS\n", "THUMB (mean of 3)", thumbTotal / 3);
    std::filesystem::remove_all(dir);
    return 0;
}
