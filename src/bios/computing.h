// The BIOS services that compute tables and pictures in the caller's memory:
// BgAffineSet, BitUnPack, the difference unfilters, MIDIKey2Freq and
// SoundBiasChange. Each works on R0-R3 of CpuState and reaches memory through
// the bus operations, as the program's own loads and stores would; the
// caller writes the log line first.
#pragma once
#include <cstdint>

namespace koru {

// BgAffineSet (0x0E): R2 elements of 20 bytes at R0 to 16-byte parameter
// blocks at R1.
void BgAffineSetService();
// BitUnPack (0x10): R0 source, R1 destination, R2 the unpacking description.
void BitUnPackService();
// Diff8bitUnFilterWRAM (0x16, bytes) and Diff8bitUnFilterVRAM (0x17, byte
// pairs as halfwords), Diff16bitUnFilter (0x18).
void Diff8UnFilterService(bool halfwords);
void Diff16UnFilterService();
// MIDIKey2Freq (0x1F): R0 = the frequency it computes.
void MidiKey2FreqService();
// SoundBiasChange (0x19): the bias level to 0 (R0 = 0) or 0x200.
void SoundBiasChangeService();

}  // namespace koru
