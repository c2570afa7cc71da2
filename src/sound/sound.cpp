// The tone generators as note events. Time is counted in milliseconds: the
// scanline routine ticks 16 ms a frame, which is as fine as a note-level
// model needs.
#include "sound/sound.h"

#include <algorithm>
#include <iterator>

#include "sound/output.h"

namespace koru {

uint8_t SoundRegs[48];
SoundChipRecord SoundChip;

namespace {

constexpr int MasterControl = 0x16;
constexpr uint8_t SoundOn = 0x80;

int SquareFrequency(int value) { return 131072 / (2048 - value); }

int OutputVolume(const SoundChipRecord& chip, int k) {
    return chip.volume[k] * chip.outputLevel[k] * 255 / 210;
}

bool ChannelOn(const SoundChipRecord& chip, int c) { return chip.registers[MasterControl] & (1 << c); }
void SetChannelOn(SoundChipRecord& chip, int c) { chip.registers[MasterControl] |= static_cast<uint8_t>(1 << c); }
void ClearChannelOn(SoundChipRecord& chip, int c) { chip.registers[MasterControl] &= static_cast<uint8_t>(~(1 << c)); }
void MarkChanged(SoundChipRecord& chip, int c) { chip.changed |= static_cast<uint8_t>(1 << c); }

void FlushIfImmediate(SoundChipRecord& chip) {
    if (chip.updateMode == 0 && (chip.changed || chip.waveChanged)) SoundFlush(chip, 2);
}

// The levels of the two sides a channel is routed to. The noise channel is
// louder than the square channels at the same level, so its level is scaled
// down to keep the mix balanced.
void ComputeOutputLevels(SoundChipRecord& chip) {
    const uint8_t levels = chip.registers[0x14], routing = chip.registers[0x15];
    for (int k = 0; k < 4; ++k) {
        chip.outputLevel[k] = ((routing >> (k + 4)) & 1 ? (levels >> 4) & 7 : 0) + ((routing >> k) & 1 ? levels & 7 : 0);
    }
    chip.outputLevel[3] = chip.outputLevel[3] * 10000 / 11412;
    chip.changed |= 0x0F;
}

void ApplyWaveControl(SoundChipRecord& chip) {
    if (!(chip.registers[0x0A] & 0x80)) {
        ClearChannelOn(chip, 2);
        chip.volume[2] = 0;
        chip.frequency[2] = 0;
    } else {
        static const int32_t levelVolume[4] = {0, 15, 7, 3};
        chip.volume[2] = levelVolume[(chip.registers[0x0C] >> 5) & 3];
    }
    MarkChanged(chip, 2);
}

void ApplyFrequency(SoundChipRecord& chip, int c, int value) {
    if (c == 0) chip.channel1Frequency = value;
    chip.frequency[c] = SquareFrequency(value);
    MarkChanged(chip, c);
}

}  // namespace

void SoundReset(SoundChipRecord& chip, uint8_t* registers, int firstChannel) {
    std::fill(registers, registers + 48, uint8_t{0});
    for (int k = 0; k < 4; ++k) {
        chip.lengthCounter[k] = -1;
        chip.lengthLimit[k] = 0;
        chip.frequency[k] = 0;
        chip.volume[k] = 0;
        chip.outputLevel[k] = 0;
        chip.envelopeCounter[k] = 0;
        chip.envelopeStep[k] = 0;
        chip.envelopeDirection[k] = -1;
    }
    chip.sweepPeriod = 0;
    chip.sweepCounter = 0;
    chip.channel1Frequency = 0;
    chip.sweepDirection = 1;
    chip.sweepShift = 0;
    chip.updateMode = 0;
    chip.changed = 0x0F;
    chip.waveChanged = 0;
    chip.registers = registers;
    chip.firstChannel = firstChannel;
    std::fill(std::begin(chip.waveSamples), std::end(chip.waveSamples), int8_t{-128});

    SetInstrument(firstChannel + 0, SquareInstrument);
    SetInstrument(firstChannel + 1, SquareInstrument);
    SetInstrument(firstChannel + 2, SquareInstrument);
    SetInstrument(firstChannel + 3, NoiseInstrument);

    registers[MasterControl] = SoundOn;
    SoundWrite(chip, 0x14, 0x77);
    SoundWrite(chip, 0x15, 0xFF);
}

int SoundWrite(SoundChipRecord& chip, int n, uint8_t v) {
    if (n < 0 || n > 0x2F) return 0;
    uint8_t* regs = chip.registers;
    if (!(regs[MasterControl] & SoundOn) && n != MasterControl) return 1;

    const int c = n / 5;
    uint8_t stored = v;
    switch (n) {
    case 0x00:
        chip.sweepPeriod = (((v >> 4) & 7) * 1000) >> 7;
        chip.sweepShift = v & 7;
        chip.sweepDirection = (v & 0x08) ? -1 : 1;
        break;
    case 0x01:
    case 0x06:
    case 0x10:
        chip.lengthLimit[c] = ((64 - (v & 0x3F)) * 1000) >> 8;
        break;
    case 0x02:
    case 0x07:
    case 0x11:
        chip.volume[c] = v >> 4;
        chip.envelopeStep[c] = v & 7;
        chip.envelopeDirection[c] = (v & 0x08) ? 1 : -1;
        if (ChannelOn(chip, c)) MarkChanged(chip, c);
        break;
    case 0x03:
    case 0x08:
    case 0x0D:
        if (ChannelOn(chip, c)) ApplyFrequency(chip, c, ((regs[5 * c + 4] & 7) << 8) + v);
        break;
    case 0x04:
    case 0x09:
    case 0x0E:
        if (v & 0x80) {
            if (c == 2) {
                if (regs[0x0A] & 0x80) SetChannelOn(chip, 2);
            } else {
                SetChannelOn(chip, c);
                chip.volume[c] = regs[5 * c + 2] >> 4;
            }
            chip.envelopeCounter[c] = 0;
            chip.lengthCounter[c] = (v & 0x40) ? 0 : -1;
            if (c == 0) chip.sweepCounter = 0;
        }
        if (ChannelOn(chip, c)) ApplyFrequency(chip, c, ((v & 7) << 8) + regs[5 * c + 3]);
        break;
    case 0x0A:
    case 0x0C:
        regs[n] = v;
        ApplyWaveControl(chip);
        break;
    case 0x0B:
        chip.lengthLimit[2] = (256 - v) * 500;
        break;
    case 0x13:
        if (v & 0x80) {
            SetChannelOn(chip, 3);
            chip.frequency[3] = 8192;
            chip.volume[3] = regs[0x11] >> 4;
            chip.envelopeCounter[3] = 0;
            chip.lengthCounter[3] = (v & 0x40) ? 0 : -1;
            MarkChanged(chip, 3);
        }
        break;
    case 0x14:
    case 0x15:
        regs[n] = v;
        ComputeOutputLevels(chip);
        break;
    case MasterControl:
        // Switching the sound off resets the whole chip; from then on
        // changes are sent at once, since the reset clears the update mode.
        if ((regs[MasterControl] & SoundOn) && !(v & SoundOn)) SoundReset(chip, regs, chip.firstChannel);
        // The channel on flags belong to the chip, not to the program.
        stored = static_cast<uint8_t>((v & 0xF0) | (regs[MasterControl] & 0x0F));
        break;
    default:
        if (n >= 0x20 && v != regs[n]) {
            const int i = 2 * (n - 0x20);
            chip.waveSamples[i] = static_cast<int8_t>((v >> 4) * 255 / 15 - 128);
            chip.waveSamples[i + 1] = static_cast<int8_t>((v & 15) * 255 / 15 - 128);
            chip.waveChanged = 1;
        }
        break;
    }
    regs[n] = stored;
    FlushIfImmediate(chip);
    return 1;
}

void SoundTick(SoundChipRecord& chip, int t) {
    for (int k = 0; k < 4; ++k) {
        if (chip.frequency[k] != 0 && chip.lengthCounter[k] >= 0) {
            chip.lengthCounter[k] += t;
            if (chip.lengthCounter[k] >= chip.lengthLimit[k]) {
                chip.frequency[k] = 0;
                ClearChannelOn(chip, k);
                MarkChanged(chip, k);
            }
        }
        if (chip.frequency[k] != 0 && chip.envelopeStep[k] != 0) {
            chip.envelopeCounter[k] += t;
            if (chip.envelopeCounter[k] >= chip.envelopeStep[k]) {
                chip.envelopeCounter[k] -= chip.envelopeStep[k];
                chip.volume[k] = std::clamp(chip.volume[k] + chip.envelopeDirection[k], 0, 15);
                MarkChanged(chip, k);
            }
        }
    }
    if (chip.frequency[0] != 0 && chip.sweepPeriod != 0) {
        chip.sweepCounter += t;
        if (chip.sweepCounter >= chip.sweepPeriod) {
            chip.sweepCounter -= chip.sweepPeriod;
            const int x = chip.channel1Frequency;
            const int next = x + (x >> chip.sweepShift) * chip.sweepDirection;
            if (next > 2047) {
                ClearChannelOn(chip, 0);
                chip.frequency[0] = 0;
            } else if (next >= 0) {
                chip.channel1Frequency = next;
                chip.registers[0x03] = static_cast<uint8_t>(next & 0xFF);
                chip.registers[0x04] = static_cast<uint8_t>((chip.registers[0x04] & 0xF8) | (next >> 8));
                chip.frequency[0] = SquareFrequency(next);
            } else {
                chip.frequency[0] = SquareFrequency(x);
            }
            MarkChanged(chip, 0);
        }
    }
    FlushIfImmediate(chip);
}

void SoundFlush(SoundChipRecord& chip, int mode) {
    if (mode & 0x80) {
        const int force = OutputVolume(chip, 3);
        mode &= 0x7F;
        if (force != 0) Drum(0x11C, force);
    }
    if (mode != 2) chip.updateMode = static_cast<uint8_t>(mode);
    if (chip.waveChanged) SetWave(chip.firstChannel + 2, chip.waveSamples, 32);
    for (int k = 0; k < 4; ++k) {
        if (chip.changed & (1 << k)) Sound(chip.firstChannel + k, chip.frequency[k], OutputVolume(chip, k));
    }
    chip.changed = 0;
    chip.waveChanged = 0;
}

}  // namespace koru
