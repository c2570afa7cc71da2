#!/usr/bin/env python3
"""Writes the small seed corpora of the fuzz targets. The seeds are kept in
the repository; run this again only to regenerate them."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def put(folder, name, data):
    path = os.path.join(here, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


def cartridge(code_words, thumb=False):
    """A header (entry branch to 0xC0) followed by ARM words at 0xC0."""
    image = bytearray(0xC0)
    image[0:4] = struct.pack("<I", 0xEA00002E)
    image[0xA0:0xAC] = b"FUZZ SEED\0\0\0"
    image[0xB2] = 0x96
    for word in code_words:
        image += struct.pack("<I", word)
    return bytes(image)


# ARM: R0 = 0x04000000; enable interrupts and the vertical blank; loop.
irq_loop = [
    0xE3A00301,  # MOV R0, #0x04000000
    0xE3A01001,  # MOV R1, #1
    0xE5801200,  # STR R1, [R0, #0x200]   IE = 1
    0xE5801208,  # STR R1, [R0, #0x208]   IME = 1
    0xE3A01008,  # MOV R1, #8
    0xE1C010B4,  # STRH R1, [R0, #4]      DISPSTAT: vblank interrupt on
    0xE3A01000,  # MOV R1, #0
    0xE121F001,  # MSR CPSR_c, R1 (user mode, interrupts on)
    0xEAFFFFFE,  # B .
]
put("cartridge", "irq-loop.gba", cartridge(irq_loop))

# ARM: DMA 3 immediate, 0 count (65536 halfwords) from ROM to VRAM.
dma = [
    0xE3A00301,  # MOV R0, #0x04000000
    0xE3A01302,  # MOV R1, #0x08000000
    0xE58010D4,  # STR R1, [R0, #0xD4]    source
    0xE3A01406,  # MOV R1, #0x06000000
    0xE58010D8,  # STR R1, [R0, #0xD8]    destination
    0xE3A01102,  # MOV R1, #0x80000000    enable, count 0
    0xE58010DC,  # STR R1, [R0, #0xDC]
    0xEAFFFFFE,  # B .
]
put("cartridge", "dma.gba", cartridge(dma))

# ARM: switch to THUMB and run a few THUMB instructions, then SWI 6 (Div).
thumb = [
    0xE28F0001,  # ADD R0, PC, #1   -> THUMB at 0xCC
    0xE12FFF10,  # BX R0
    0x00000000,
    0x2107200A,  # MOV R0, #10 ; MOV R1, #7
    0xE7FEDF06,  # SWI 6 ; B .
]
put("cartridge", "thumb-swi.gba", cartridge(thumb))

# Timers and sound registers.
sound = [
    0xE3A00301,  # MOV R0, #0x04000000
    0xE3A01080,  # MOV R1, #0x80
    0xE1C018B4,  # STRH R1, [R0, #0x84]   sound on
    0xE3E01000,  # MVN R1, #0
    0xE1C018B0,  # STRH R1, [R0, #0x80]   all channels both sides
    0xE3A010F0,  # MOV R1, #0xF0
    0xE1C016B2,  # STRH R1, [R0, #0x62]   envelope
    0xE3A01B21,  # MOV R1, #0x8400
    0xE1C016B4,  # STRH R1, [R0, #0x64]   trigger
    0xE3A010C3,  # MOV R1, #0xC3
    0xE1C011B2,  # STRH R1, [R0, #0x102]  timer 0 on, 1024, interrupt
    0xEAFFFFFE,  # B .
]
put("cartridge", "sound-timer.gba", cartridge(sound))

# State files: a mode byte (bit 0 cuts the file after the overlay, bits 1-2
# choose the part: header, processor record, I/O registers, backup memory),
# then the bytes laid over a valid state.
put("state", "header-same", bytes([0]) + b"STD\x1a\x02")
put("state", "header-cut", bytes([1]) + b"STD\x1a\x01")
put("state", "header-other-cartridge", bytes([0]) + b"STD\x1a\x01\x12\x34\x56")
put("state", "cpu-irq-thumb", bytes([2]) + struct.pack("<I", 0x000000B2) + struct.pack("<I", 0x03000001) * 16)
put("state", "cpu-cut", bytes([3]) + struct.pack("<I", 0x1F) * 10)
put("state", "hardware-words", bytes([2]) + b"\0" * 188 + struct.pack("<I", 0) + b"\0\0\0\0\x05\x01\x00\x00" + struct.pack("<I", 2) + struct.pack("<IIII", 1, 16, 16, 16))
put("state", "io-registers", bytes([4]) + bytes([0x03, 0x00, 0x00, 0x00, 0x08, 0x00]))
put("state", "sram", bytes([6]) + b"\xAA\x55" * 64)




# Battery saves: short, exact, with EEPROM bytes, oversized.
put("battery", "short", b"\x55" * 100)
put("battery", "sram", bytes((i * 7) & 0xFF for i in range(65536)))
put("battery", "eeprom", b"\0" * 65536 + bytes(range(256)) * 2)
put("battery", "long", b"\xAA" * (65536 + 600))

# Decompression: first byte picks the service; then the stream.
put("decompress", "lz77", bytes([0]) + struct.pack("<I", 0x10 | (32 << 8)) + bytes([0x00]) + b"ABCDEFGH" + bytes([0x40, 0x10, 0x00, 0x05]) + b"\0" * 16)
put("decompress", "lz77-far", bytes([1]) + struct.pack("<I", 0x10 | (64 << 8)) + bytes([0x80, 0xFF, 0xFF]) + b"\0" * 16)
put("decompress", "huffman", bytes([2]) + struct.pack("<I", 0x28 | (8 << 8)) + bytes([0x01, 0xC0, 0x41, 0x42]) + struct.pack("<I", 0x55AA55AA) * 4)
put("decompress", "huffman-4", bytes([2]) + struct.pack("<I", 0x24 | (6 << 8)) + bytes([0x01, 0xC0, 0x01, 0x02]) + struct.pack("<I", 0xF0F0F0F0) * 4)
put("decompress", "rle", bytes([3]) + struct.pack("<I", 0x30 | (40 << 8)) + bytes([0x82, 0x11, 0x03]) + b"XYZW" + bytes([0xFF, 0x22]))
put("decompress", "rle-vram", bytes([4]) + struct.pack("<I", 0x30 | (9 << 8)) + bytes([0x80, 0x33, 0x01]) + b"ABCDEF")

# INI files.
put("ini", "plain", b"[KORU]\r\nUpdatePeriod=2\r\nSoundRate=22050\r\nCartridge=game.gba\r\n\r\n[GAME]\r\nAutoFire=3\r\n")
put("ini", "odd", b"; comment\n[koru]\nupdateperiod = 7 frames\n[KORU]\nX=-5\n=\n[\nkey\n[GAME\nY=0x10\n")
