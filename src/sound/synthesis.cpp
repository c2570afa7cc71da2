// Mixing one buffer of the wave device: square tones, noise from a shift
// register, and custom wave patterns with linear interpolation, summed and
// turned into unsigned 8-bit samples.
#include "sound/synthesis.h"

#include <algorithm>

namespace koru {

OutputRecord Output;

namespace {

constexpr auto Relaxed = std::memory_order_relaxed;

// The phase step of one sample in 1/65536ths of a period. Widened, since
// frequency << 16 outgrows 32 bits at high rates.
uint32_t PhaseStep(int32_t frequency, int32_t rate) {
    return static_cast<uint32_t>((static_cast<int64_t>(frequency) << 16) / rate);
}

void MixNoise(int32_t* sum, int32_t frequency, int32_t v, int32_t rate, OutputChannelRecord& channel) {
    const uint32_t step = PhaseStep(frequency, rate);
    uint32_t phase = channel.phase.load(Relaxed);
    uint32_t noise = Output.noise.load(Relaxed);
    for (int i = 0; i < WaveBufferSamples; ++i) {
        phase += step;
        if (phase & 0xFFFF0000u) {
            phase &= 0xFFFF;
            noise <<= 1;
            if (noise & 0x80000000u) noise ^= 0x08000001u;
        }
        sum[i] += (noise & 1) ? v : -v;
    }
    channel.phase.store(phase, Relaxed);
    Output.noise.store(noise, Relaxed);
}

// Square tone of duty one half. A sample in which the phase crosses a half
// period gets 0, which softens the edges a little.
void MixSquare(int32_t* sum, int32_t frequency, int32_t v, int32_t rate, OutputChannelRecord& channel) {
    const uint32_t step = PhaseStep(frequency, rate);
    uint32_t phase = channel.phase.load(Relaxed);
    for (int i = 0; i < WaveBufferSamples; ++i) {
        const uint32_t next = phase + step;
        if (phase & next & 0x8000) {
            sum[i] += v;
        } else if (!((phase | next) & 0x8000)) {
            sum[i] -= v;
        }
        phase = next;
    }
    channel.phase.store(phase, Relaxed);
}

// A pattern of `length` samples played `frequency` times a second. The phase
// f counts, in 1/32768ths of an output sample, how far the current output
// sample lies past the start of the current pattern step; one step lasts P.
// Inside a step the output moves in a straight line from the step's sample
// s0 towards the next one s1 in n output samples.
void MixCustomWave(int32_t* sum, int32_t frequency, int32_t v, int32_t rate, int32_t length, OutputChannelRecord& channel) {
    int8_t pattern[MaxWaveLength];
    for (int w = 0; w < MaxWaveLength / 4; ++w) {
        const uint32_t word = channel.pattern[w].load(Relaxed);
        for (int b = 0; b < 4; ++b) pattern[4 * w + b] = static_cast<int8_t>(word >> (8 * b));
    }
    const int64_t P = (static_cast<int64_t>(rate) << 15) / (static_cast<int64_t>(length) * frequency);
    int64_t index = channel.wavePosition.load(Relaxed) % static_cast<uint32_t>(length);
    int64_t f = channel.phase.load(Relaxed);
    int64_t s0 = static_cast<int64_t>(v) * pattern[index];
    int64_t s1 = 0, k = 0, n = 1;
    if (f < P) {
        s1 = static_cast<int64_t>(v) * pattern[(index + 1) % length];
        k = (f >> 15) + 1;
        n = ((P - (f & 0x7FFF)) >> 15) + 1;
    }
    for (int i = 0; i < WaveBufferSamples; ++i) {
        if (f < P) {
            sum[i] += static_cast<int32_t>((s0 + (s1 - s0) * k / n) >> 7);
            f += 32768;
            k += 1;
        } else {
            index = (index + f / P) % length;
            f = f % P + 32768;
            s0 = static_cast<int64_t>(v) * pattern[index];
            sum[i] += static_cast<int32_t>(s0 >> 7);
            if (f < P) {
                s1 = static_cast<int64_t>(v) * pattern[(index + 1) % length];
                n = ((P - f) >> 15) + 1;
                k = 1;
            }
        }
    }
    channel.wavePosition.store(static_cast<uint32_t>(index), Relaxed);
    channel.phase.store(static_cast<uint32_t>(f), Relaxed);
}

// Adds every sounding tone channel's next buffer to sum.
void MixTones(int32_t* sum) {
    const int32_t rate = Output.rate.load(Relaxed);
    const int32_t switches = Output.switches.load(Relaxed);
    if (rate <= 0) return;
    for (int c = 0; c < OutputChannels; ++c) {
        OutputChannelRecord& channel = Output.channels[c];
        const int32_t frequency = channel.frequency.load(Relaxed);
        const int32_t v = channel.volume.load(Relaxed);
        if (frequency == 0 || v == 0 || !((switches >> c) & 1)) continue;
        const int32_t type = channel.type.load(Relaxed);
        const int32_t length = channel.waveLength.load(Relaxed);
        if (type == NoiseInstrument) {
            MixNoise(sum, frequency, v, rate, channel);
        } else if (type == CustomWaveInstrument && length > 0) {
            MixCustomWave(sum, frequency, v, rate, std::min(length, MaxWaveLength), channel);
        } else {
            MixSquare(sum, frequency, v, rate, channel);
        }
    }
}

uint8_t ToSample(int32_t sum) { return static_cast<uint8_t>(std::clamp(sum / 20, -128, 127) + 128); }

// The direct-sound frames reach the synthesis thread in bursts, one frame's
// worth at each of the machine's frames, while the device takes a buffer at
// a time at its own clock, which never runs quite as fast as the machine's.
// The ring starts with a head start of silence, so that a buffer normally
// finds its 1024 frames waiting, and normally exactly 1024 are taken: what
// the machine made is played sample for sample. When the ring holds more
// than the target (the machine runs ahead of the sound card), a buffer takes
// a few frames more, squeezed into its length, until it is back; far behind
// (the output was paused) it skips to the target at once. With fewer than a
// buffer's frames, the ones there are stretched over the buffer; with none,
// the last level holds.
constexpr uint32_t DirectHeadStart = 512;
constexpr uint32_t DirectTarget = 4096;
constexpr uint32_t DirectHighWater = 12288;
static_assert(DirectHighWater < DirectFrameRing::Capacity);

uint32_t LastDirectFrame = 0;  // the synthesis thread's own

int32_t LeftOf(uint32_t frame) { return static_cast<int16_t>(frame); }
int32_t RightOf(uint32_t frame) { return static_cast<int16_t>(frame >> 16); }

void TakeDirectFrames(int32_t* left, int32_t* right) {
    uint32_t available = DirectFrames.Available();
    if (available > DirectHighWater) {
        DirectFrames.Drop(available - DirectTarget);
        available = DirectTarget;
    }
    uint32_t n = WaveBufferSamples;
    if (available > DirectTarget) {
        n += std::min<uint32_t>((available - DirectTarget) / 32, 64);
    } else if (available < n) {
        n = available;
    }
    if (n == WaveBufferSamples) {
        for (int i = 0; i < WaveBufferSamples; ++i) {
            const uint32_t frame = DirectFrames.Peek(static_cast<uint32_t>(i));
            left[i] = LeftOf(frame);
            right[i] = RightOf(frame);
        }
    } else if (n == 0) {
        for (int i = 0; i < WaveBufferSamples; ++i) {
            left[i] = LeftOf(LastDirectFrame);
            right[i] = RightOf(LastDirectFrame);
        }
        return;
    } else {
        // n frames over the buffer's length, in a straight line between
        // neighbours; positions in 1/65536ths of a frame.
        const uint64_t step = n > 1 ? (static_cast<uint64_t>(n - 1) << 16) / (WaveBufferSamples - 1) : 0;
        for (int i = 0; i < WaveBufferSamples; ++i) {
            const uint64_t at = step * static_cast<uint64_t>(i);
            const uint32_t j = std::min<uint32_t>(static_cast<uint32_t>(at >> 16), n - 1);
            const int32_t fraction = static_cast<int32_t>(at & 0xFFFF);
            const uint32_t a = DirectFrames.Peek(j), b = DirectFrames.Peek(std::min(j + 1, n - 1));
            left[i] = LeftOf(a) + (LeftOf(b) - LeftOf(a)) * fraction / 65536;
            right[i] = RightOf(a) + (RightOf(b) - RightOf(a)) * fraction / 65536;
        }
    }
    LastDirectFrame = DirectFrames.Peek(n - 1);
    DirectFrames.Drop(n);
}

}  // namespace

DirectFrameRing DirectFrames;

void ResetDirectFrames() {
    DirectFrames.Reset();
    for (uint32_t i = 0; i < DirectHeadStart; ++i) DirectFrames.Push(PackDirectFrame(0, 0));
    LastDirectFrame = 0;
}

void MixWaveBuffer(uint8_t* samples) {
    int32_t sum[WaveBufferSamples] = {};
    MixTones(sum);
    for (int i = 0; i < WaveBufferSamples; ++i) samples[i] = ToSample(sum[i]);
}

void MixWaveFrames(uint8_t* samples) {
    if (!Output.direct.load(Relaxed)) {
        MixWaveBuffer(samples);
        return;
    }
    int32_t tones[WaveBufferSamples] = {};
    // Beside the MIDI device the wave device plays direct sound alone.
    if (Output.rate.load(Relaxed) >= 8192) MixTones(tones);
    int32_t left[WaveBufferSamples], right[WaveBufferSamples];
    TakeDirectFrames(left, right);
    if (Output.frameChannels.load(Relaxed) == 2) {
        for (int i = 0; i < WaveBufferSamples; ++i) {
            samples[2 * i] = ToSample(tones[i] + left[i]);
            samples[2 * i + 1] = ToSample(tones[i] + right[i]);
        }
    } else {
        for (int i = 0; i < WaveBufferSamples; ++i) samples[i] = ToSample(tones[i] + (left[i] + right[i]) / 2);
    }
}

}  // namespace koru
