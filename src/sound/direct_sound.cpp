#include "sound/direct_sound.h"

#include <algorithm>
#include <cstring>

#include "hardware/dma.h"
#include "hardware/io.h"
#include "hardware/registers.h"
#include "hardware/timers.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "sound/output.h"

namespace koru {

DirectFifoRecord DirectFifos[2];
SampleClockRecord SampleClocks[2];

namespace {

constexpr int64_t CyclesPerSecond = 16777216;

// However long a step (a long transfer leaves up to 2^25 cycles behind it),
// a clock plays at most this many samples in it: what a timer of the
// shortest period could demand then is no sound anyone hears.
constexpr uint64_t MostOverflowsPerStep = 4096;

// The output side: the held levels integrated over each output sample of
// the wave device, in units of cycles x rate, so that an output sample of
// any rate spans exactly CyclesPerSecond units.
struct Integrator {
    int32_t rate = 0;
    int64_t filled = 0;  // units of the output sample under way
    int64_t left = 0, right = 0;
};
Integrator Resampler;

void ClearFifo(DirectFifoRecord& fifo) {
    std::memset(fifo.bytes, 0, sizeof fifo.bytes);
    fifo.read = fifo.count = 0;
    fifo.sample = 0;
}

void PushByte(DirectFifoRecord& fifo, uint8_t value) {
    if (fifo.count >= DirectFifoBytes) return;
    fifo.bytes[(fifo.read + fifo.count) % DirectFifoBytes] = value;
    ++fifo.count;
}

// The sides a FIFO plays on, from the control register: bits 8-9 for A,
// 12-13 for B. A FIFO on neither side is off: it plays nothing and asks for
// nothing.
uint16_t FifoBits(uint16_t control, int f) { return static_cast<uint16_t>(control >> (8 + SoundCntHShiftB * f)); }
bool FifoOn(uint16_t control, int f) { return (FifoBits(control, f) & 3) != 0; }
int FifoTimer(uint16_t control, int f) { return (FifoBits(control, f) >> 2) & 1; }

// Cycles per overflow of timer n, 0 when it does not overflow.
uint64_t OverflowPeriod(int n) {
    if (TimerPrescale[n] == 0) return 0;
    const uint64_t count = 0x10000 - (TimerReload[n] & 0xFFFF);
    if (n > 0 && TimerCountdown[n] == 0) return count * SampleClocks[n - 1].period;  // counts overflows
    return count * static_cast<uint64_t>(TimerPrescale[n]);
}

// DMA 1 or 2 with the special start timing whose destination is the FIFO
// refills it.
void RequestRefill(int f) {
    const uint32_t fifo = IoBase + IoFIFO_A + 4 * static_cast<uint32_t>(f);
    for (int c = 1; c <= 2; ++c) {
        if ((IoRead16(IoDMACNT_H(c)) & DmaStartMask) != DmaStartSpecial) continue;
        if ((IoRead32(IoDMADAD(c)) & 0x07FFFFFC) != fifo) continue;
        RunSoundDma(c);
        return;
    }
}

// One overflow of the FIFO's timer: the next sample plays (an empty FIFO
// holds the last one), and a FIFO half empty asks for more.
void PlayNext(int f) {
    DirectFifoRecord& fifo = DirectFifos[f];
    if (fifo.count > 0) {
        fifo.sample = static_cast<int8_t>(fifo.bytes[fifo.read]);
        fifo.read = (fifo.read + 1) % DirectFifoBytes;
        --fifo.count;
    }
    if (fifo.count <= DirectFifoBytes / 2) RequestRefill(f);
}

struct Levels {
    int32_t left, right;
};

Levels CurrentLevels(uint16_t control) {
    Levels levels{0, 0};
    if (!(IoRead16(IoSOUNDCNT_X) & SoundCntXOn)) return levels;
    for (int f = 0; f < 2; ++f) {
        const int32_t level =
            DirectFifos[f].sample * ((control & (SoundCntHFullA << f)) ? DirectLevelFull : DirectLevelHalf);
        const uint16_t bits = FifoBits(control, f);
        if (bits & 1) levels.right += level;
        if (bits & 2) levels.left += level;
    }
    return levels;
}

// The levels held for `cycles` cycles go into the output samples they
// cover; each completed one goes to the wave device.
void Hold(int64_t cycles, Levels levels) {
    if (Resampler.rate == 0 || cycles <= 0) return;
    constexpr int64_t Span = CyclesPerSecond;
    int64_t units = cycles * Resampler.rate;
    while (Resampler.filled + units >= Span) {
        const int64_t part = Span - Resampler.filled;
        Resampler.left += levels.left * part;
        Resampler.right += levels.right * part;
        PushDirectFrame(static_cast<int>(Resampler.left / Span), static_cast<int>(Resampler.right / Span));
        Resampler.left = Resampler.right = Resampler.filled = 0;
        units -= part;
    }
    Resampler.left += levels.left * units;
    Resampler.right += levels.right * units;
    Resampler.filled += units;
}

}  // namespace

void DirectSoundControlWrite(uint16_t v) {
    if (v & SoundCntHResetA) ClearFifo(DirectFifos[0]);
    if (v & (SoundCntHResetA << SoundCntHShiftB)) ClearFifo(DirectFifos[1]);
    IoStore16(IoSOUNDCNT_H, static_cast<uint16_t>(v & ~(SoundCntHResetA | SoundCntHResetA << SoundCntHShiftB)));
}

void FifoRegisterWrite(uint32_t offset, uint16_t v) {
    IoStore16(offset, v);
    if (!DirectSound) return;
    DirectFifoRecord& fifo = DirectFifos[(offset - IoFIFO_A) / 4];
    if (IoByteLanes & 1) PushByte(fifo, static_cast<uint8_t>(v));
    if (IoByteLanes & 2) PushByte(fifo, static_cast<uint8_t>(v >> 8));
}

void RunDirectSound(int64_t elapsed) {
    if (elapsed <= 0) return;
    const int rate = DirectSoundFrameRate();
    if (rate != Resampler.rate) Resampler = Integrator{rate};

    // Each clock's overflows in this step: the first at cycle `next`, then
    // every period; a clock whose timer changed starts its period afresh.
    uint64_t next[2] = {0, 0};
    uint64_t left[2] = {0, 0};
    for (int n = 0; n < 2; ++n) {
        SampleClockRecord& clock = SampleClocks[n];
        const uint64_t period = OverflowPeriod(n);
        if (period != clock.period) clock = SampleClockRecord{period, 0};
        if (period == 0) continue;
        const uint64_t reached = clock.phase + static_cast<uint64_t>(elapsed);
        left[n] = std::min(reached / period, MostOverflowsPerStep);
        next[n] = period - clock.phase;
        clock.phase = reached % period;
    }

    const uint16_t control = IoRead16(IoSOUNDCNT_H);
    Levels levels = CurrentLevels(control);
    uint64_t now = 0;
    while (left[0] || left[1]) {
        const int n = !left[0] ? 1 : !left[1] ? 0 : next[1] < next[0] ? 1 : 0;
        const uint64_t at = next[n];
        Hold(static_cast<int64_t>(at - now), levels);
        now = at;
        for (int f = 0; f < 2; ++f) {
            if (FifoOn(control, f) && FifoTimer(control, f) == n) PlayNext(f);
        }
        next[n] += SampleClocks[n].period;
        --left[n];
        levels = CurrentLevels(control);
    }
    Hold(elapsed - static_cast<int64_t>(now), levels);
}

void ResetDirectSound() {
    for (DirectFifoRecord& fifo : DirectFifos) ClearFifo(fifo);
    for (SampleClockRecord& clock : SampleClocks) clock = SampleClockRecord{0, 0};
    Resampler = Integrator{};
}

// The block: per FIFO its 32 bytes, then read, count and sample as words;
// then per clock its period and phase as two words each, low word first.
void PackDirectSound(uint8_t* out) {
    uint8_t* p = out;
    for (const DirectFifoRecord& fifo : DirectFifos) {
        std::memcpy(p, fifo.bytes, DirectFifoBytes);
        Poke32(p + 32, fifo.read);
        Poke32(p + 36, fifo.count);
        Poke32(p + 40, static_cast<uint32_t>(fifo.sample));
        p += 44;
    }
    for (const SampleClockRecord& clock : SampleClocks) {
        for (uint64_t value : {clock.period, clock.phase}) {
            Poke32(p, static_cast<uint32_t>(value));
            Poke32(p + 4, static_cast<uint32_t>(value >> 32));
            p += 8;
        }
    }
}

namespace {
uint64_t Peek64(const uint8_t* p) { return Peek32(p) | static_cast<uint64_t>(Peek32(p + 4)) << 32; }
}  // namespace

bool DirectSoundStateValid(const uint8_t* in) {
    for (int f = 0; f < 2; ++f) {
        const uint8_t* p = in + 44 * f;
        const int32_t sample = static_cast<int32_t>(Peek32(p + 40));
        if (Peek32(p + 32) >= DirectFifoBytes || Peek32(p + 36) > DirectFifoBytes) return false;
        if (sample < -128 || sample > 127) return false;
    }
    for (int n = 0; n < 2; ++n) {
        const uint64_t period = Peek64(in + 88 + 16 * n), phase = Peek64(in + 96 + 16 * n);
        if (period == 0 ? phase != 0 : phase >= period) return false;
    }
    return true;
}

void UnpackDirectSound(const uint8_t* in) {
    const uint8_t* p = in;
    for (DirectFifoRecord& fifo : DirectFifos) {
        std::memcpy(fifo.bytes, p, DirectFifoBytes);
        fifo.read = Peek32(p + 32);
        fifo.count = Peek32(p + 36);
        fifo.sample = static_cast<int32_t>(Peek32(p + 40));
        p += 44;
    }
    for (SampleClockRecord& clock : SampleClocks) {
        clock.period = Peek64(p);
        clock.phase = Peek64(p + 8);
        p += 16;
    }
}

static_assert(DirectSoundStateBytes == 2 * 44 + 2 * 16);

}  // namespace koru
