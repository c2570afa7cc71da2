// The hardware registers by name: their offsets in the I/O area, the bit
// fields the program acts on, and the plain loads and stores of the I/O
// memory. Reads of the I/O area are plain memory reads, so what a register
// reads is what these stores leave there; the side effects of a program's
// own writes belong to the unit that owns the register (see io.cpp).
#pragma once
#include <cstdint>

#include "machine/machine.h"
#include "machine/memory.h"

namespace koru {

constexpr uint32_t IoBase = 0x04000000;  // the I/O area in the address space

// ---- Video ------------------------------------------------------------
constexpr uint32_t IoDISPCNT = 0x000;   // display control
constexpr uint32_t IoDISPSTAT = 0x004;  // display status
constexpr uint32_t IoVCOUNT = 0x006;    // vertical counter
constexpr uint32_t IoBG0CNT = 0x008;    // background control, 0x008 + 2n
constexpr uint32_t IoBG0HOFS = 0x010;   // text scroll x, 0x010 + 4n
constexpr uint32_t IoBG0VOFS = 0x012;   // text scroll y, 0x012 + 4n
constexpr uint32_t IoBG2PA = 0x020;     // background 2 parameters pa, pb, pc, pd
constexpr uint32_t IoBG2X = 0x028;      // background 2 reference point x (28 bits)
constexpr uint32_t IoBG2Y = 0x02C;      // background 2 reference point y
constexpr uint32_t IoBG3PA = 0x030;     // background 3, the same layout
constexpr uint32_t IoBG3X = 0x038;
constexpr uint32_t IoBG3Y = 0x03C;
constexpr uint32_t IoWIN0H = 0x040;    // window 0 left edge (high byte), right edge (low byte)
constexpr uint32_t IoWIN1H = 0x042;
constexpr uint32_t IoWIN0V = 0x044;    // window 0 top edge (high byte), bottom edge (low byte)
constexpr uint32_t IoWIN1V = 0x046;
constexpr uint32_t IoWININ = 0x048;    // layers and effects inside window 0 (low byte), 1 (high byte)
constexpr uint32_t IoWINOUT = 0x04A;   // outside the windows (low byte), inside the sprite window (high)
constexpr uint32_t IoMOSAIC = 0x04C;
constexpr uint32_t IoBLDCNT = 0x050;    // colour effect selection
constexpr uint32_t IoBLDALPHA = 0x052;  // alpha weights
constexpr uint32_t IoBLDY = 0x054;      // brightness weight
constexpr uint32_t IoVideoLast = 0x05F;

constexpr uint32_t IoBGCNT(uint32_t n) { return IoBG0CNT + 2 * n; }
constexpr uint32_t IoBGHOFS(uint32_t n) { return IoBG0HOFS + 4 * n; }
constexpr uint32_t IoBGVOFS(uint32_t n) { return IoBG0VOFS + 4 * n; }
// The parameter block of rotation background 2 or 3 (pa at +0, X at +8).
constexpr uint32_t IoBGAffine(uint32_t n) { return n == 2 ? IoBG2PA : IoBG3PA; }

// Display control.
constexpr uint16_t DispCntMode = 0x0007;
constexpr uint16_t DispCntFrame = 0x0010;         // second bitmap page
constexpr uint16_t DispCntSprites1D = 0x0040;     // one-dimensional sprite tiles
constexpr uint16_t DispCntForcedBlank = 0x0080;
constexpr uint16_t DispCntBg0 = 0x0100;           // layer enables, 0x100 << n
constexpr uint16_t DispCntSprites = 0x1000;
constexpr uint16_t DispCntWindow0 = 0x2000;       // window enables
constexpr uint16_t DispCntWindow1 = 0x4000;
constexpr uint16_t DispCntSpriteWindow = 0x8000;
constexpr uint16_t DispCntWindows = 0xE000;
// Display status: three read-only flags, their interrupt enables, the line
// to match in the high byte.
constexpr uint16_t DispStatVBlank = 0x0001;
constexpr uint16_t DispStatHBlank = 0x0002;
constexpr uint16_t DispStatMatch = 0x0004;
constexpr uint16_t DispStatFlags = 0x0007;
// Background control.
constexpr uint16_t BgCntMosaic = 0x0040;
constexpr uint16_t BgCnt256Colours = 0x0080;
constexpr uint16_t BgCntWrap = 0x2000;
// Colour effect selection: first targets in bits 0-5 (background n is bit
// n, sprites bit 4, backdrop bit 5), the effect in bits 6-7, second targets
// in bits 8-13.
constexpr uint16_t BldCntFirstBg0 = 0x0001;  // background n: BldCntFirstBg0 << n
constexpr uint16_t BldCntBackdrop = 0x0020;
constexpr uint32_t BldCntEffectShift = 6;
constexpr uint16_t BldCntSecondBg0 = 0x0100;  // background n: BldCntSecondBg0 << n
constexpr uint16_t BldCntSecondSprites = 0x1000;
constexpr uint16_t BldCntSecondBackdrop = 0x2000;

// ---- Sound --------------------------------------------------------------
constexpr uint32_t IoSoundFirst = 0x060;  // tone generators and wave pattern
constexpr uint32_t IoSoundLast = 0x09F;
constexpr uint32_t IoSOUNDCNT_H = 0x082;  // direct-sound control
constexpr uint32_t IoSOUNDCNT_X = 0x084;  // master control
constexpr uint32_t IoSOUNDBIAS = 0x088;
constexpr uint32_t IoFIFO_A = 0x0A0;      // direct-sound FIFOs, 4 bytes each
constexpr uint32_t IoFIFO_B = 0x0A4;

// Direct-sound control: for FIFO A, B at the shift below.
constexpr uint16_t SoundCntHFullA = 0x0004;  // 100 % (else 50 %); B: 0x0008
constexpr uint16_t SoundCntHRightA = 0x0100;
constexpr uint16_t SoundCntHLeftA = 0x0200;
constexpr uint16_t SoundCntHTimerA = 0x0400;  // timer 1 (else timer 0)
constexpr uint16_t SoundCntHResetA = 0x0800;  // empties the FIFO; reads 0
constexpr uint32_t SoundCntHShiftB = 4;       // B's bits 12-15 are A's 8-11 shifted
constexpr uint16_t SoundCntXOn = 0x0080;

// ---- DMA ----------------------------------------------------------------
constexpr uint32_t IoDMA0SAD = 0x0B0;  // channel c at 0x0B0 + 12c
constexpr uint32_t IoDMAStride = 12;
constexpr uint32_t IoDMASAD(uint32_t c) { return IoDMA0SAD + IoDMAStride * c; }    // source
constexpr uint32_t IoDMADAD(uint32_t c) { return IoDMASAD(c) + 4; }               // destination
constexpr uint32_t IoDMACNT_L(uint32_t c) { return IoDMASAD(c) + 8; }             // count
constexpr uint32_t IoDMACNT_H(uint32_t c) { return IoDMASAD(c) + 10; }            // control

constexpr uint16_t DmaDestinationMode = 0x0060;  // 0 up, 1 down, 2 fixed, 3 up and reload
constexpr uint16_t DmaSourceDown = 0x0080;
constexpr uint16_t DmaSourceFixed = 0x0100;
constexpr uint16_t DmaRepeat = 0x0200;
constexpr uint16_t DmaWords = 0x0400;
constexpr uint16_t DmaTiming = 0x3000;
constexpr uint16_t DmaIrq = 0x4000;
constexpr uint16_t DmaEnable = 0x8000;
// Control values masked with DmaStartMask: enabled, and which start timing.
constexpr uint16_t DmaStartMask = DmaEnable | DmaTiming;
constexpr uint16_t DmaStartNow = 0x8000;
constexpr uint16_t DmaStartVBlank = 0x9000;
constexpr uint16_t DmaStartHBlank = 0xA000;
constexpr uint16_t DmaStartSpecial = 0xB000;

// ---- Timers -------------------------------------------------------------
constexpr uint32_t IoTM0CNT_L = 0x100;  // timer n at 0x100 + 4n
constexpr uint32_t IoTMCNT_L(uint32_t n) { return IoTM0CNT_L + 4 * n; }  // counter / reload
constexpr uint32_t IoTMCNT_H(uint32_t n) { return IoTMCNT_L(n) + 2; }    // control

constexpr uint16_t TimerPrescaleField = 0x0003;
constexpr uint16_t TimerCountUp = 0x0004;
constexpr uint16_t TimerIrq = 0x0040;
constexpr uint16_t TimerEnable = 0x0080;

// ---- Keypad -------------------------------------------------------------
constexpr uint32_t IoKEYINPUT = 0x130;  // 1 = released
constexpr uint32_t IoKEYCNT = 0x132;

constexpr uint16_t KeyCntKeys = 0x03FF;
constexpr uint16_t KeyCntIrq = 0x4000;
constexpr uint16_t KeyCntAll = 0x8000;

// ---- Interrupts, wait states, power-down ----------------------------------
constexpr uint32_t IoIE = 0x200;
constexpr uint32_t IoIF = 0x202;
constexpr uint32_t IoWAITCNT = 0x204;
constexpr uint32_t IoIME = 0x208;
constexpr uint32_t IoHALTCNT = 0x300;  // power-down control

// Interrupt request and enable bits.
constexpr uint16_t IrqVBlank = 0x0001;
constexpr uint16_t IrqHBlank = 0x0002;
constexpr uint16_t IrqMatch = 0x0004;
constexpr uint16_t IrqTimer0 = 0x0008;  // timer n: IrqTimer0 << n
constexpr uint16_t IrqDma0 = 0x0100;    // channel c: IrqDma0 << c
constexpr uint16_t IrqKeypad = 0x1000;

// ---- The I/O memory --------------------------------------------------------
inline uint16_t IoRead16(uint32_t offset) { return Peek16(IoRam + offset); }
inline uint32_t IoRead32(uint32_t offset) { return Peek32(IoRam + offset); }
inline void IoStore16(uint32_t offset, uint16_t value) { Poke16(IoRam + offset, value); }
inline void IoStore32(uint32_t offset, uint32_t value) { Poke32(IoRam + offset, value); }

}  // namespace koru
