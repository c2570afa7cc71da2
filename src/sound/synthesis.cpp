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

}  // namespace

void MixWaveBuffer(uint8_t* samples) {
    int32_t sum[WaveBufferSamples] = {};
    const int32_t rate = Output.rate.load(Relaxed);
    const int32_t switches = Output.switches.load(Relaxed);
    if (rate > 0) {
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
    for (int i = 0; i < WaveBufferSamples; ++i) samples[i] = static_cast<uint8_t>(std::clamp(sum[i] / 20, -128, 127) + 128);
}

}  // namespace koru
