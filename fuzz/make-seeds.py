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


class Provider:
    """Builds an input as FuzzedDataProvider reads it: byte strings from the
    front, integers from the back (each one's last byte the most
    significant), so that a seed says which operations a target performs."""

    def __init__(self):
        self.front = bytearray()
        self.back = []

    def integral(self, value, size):
        # The provider reads the bytes from the end, high byte first.
        self.back.append(value.to_bytes(size, "little"))

    def choice(self, value, count):
        """ConsumeIntegralInRange(0, count - 1) == value."""
        size = max(1, ((count - 1).bit_length() + 7) // 8)
        self.integral(value, size)

    def flag(self, value):
        self.integral(1 if value else 0, 1)

    def raw(self, data):
        self.front += data

    def bytes(self):
        tail = bytearray()
        for piece in reversed(self.back):
            tail += piece
        return bytes(self.front) + bytes(tail)


# Programs: the mode byte (bit 0 THUMB, bit 1 external work RAM), then code.
# The registers start at R0 I/O, R1 DMA 0, R2 EWRAM, R3 IWRAM, R4 SRAM, R5
# EEPROM, R6 VRAM, R7 DMA 3, R8 palette, R9 sprites, R10 cartridge, R11 the
# handler pointer, R12 interrupt control.
def words(*values):
    return b"".join(struct.pack("<I", v) for v in values)


def halves(*values):
    return b"".join(struct.pack("<H", v) for v in values)


put("program", "arm-dma-swi-bx", bytes([0]) + words(
    0xE5872000,  # STR R2, [R7]        DMA 3 source: EWRAM
    0xE5876004,  # STR R6, [R7, #4]    destination: VRAM
    0xE3A01102,  # MOV R1, #0x80000000 enabled, at once
    0xE3811010,  # ORR R1, R1, #16     16 units
    0xE5871008,  # STR R1, [R7, #8]
    0xE1A00002,  # MOV R0, R2
    0xE1A01006,  # MOV R1, R6
    0xE3A02020,  # MOV R2, #32
    0xEF0B0000,  # SWI 0x0B            CpuSet
    0xE28F0001,  # ADD R0, PC, #1      THUMB from the next word
    0xE12FFF10,  # BX R0
) + halves(
    0x2001,      # MOV R0, #1
    0xDF06,      # SWI 6               Div
    0x4778,      # BX PC               back to ARM
    0x46C0,      # NOP
) + words(0xEAFFFFFE))
put("program", "thumb-irq-halt", bytes([1]) + halves(
    0x2101,      # MOV R1, #1
    0x8021,      # STRH R1, [R4]       (a halfword to SRAM)
    0x4660,      # MOV R0, R12         interrupt control
    0x8001,      # STRH R1, [R0]       IE = vertical blank
    0x8101,      # STRH R1, [R0, #8]   IME = 1
    0x2004,      # MOV R0, #4
    0x0600,      # LSL R0, R0, #24     the I/O area
    0x2108,      # MOV R1, #8
    0x8081,      # STRH R1, [R0, #4]   DISPSTAT: vertical blank interrupt on
    0xDF05,      # SWI 5               VBlankIntrWait
    0xDF02,      # SWI 2               Halt
    0xE7FE,      # B .
))
put("program", "ewram-eeprom-bits", bytes([2]) + words(
    0xE3A01001,  # MOV R1, #1
    0xE1C510B0,  # STRH R1, [R5]       request bits to the EEPROM
    0xE1C510B0,  # STRH R1, [R5]
    0xE3A01000,  # MOV R1, #0
    0xE1C510B0,  # STRH R1, [R5]
    0xE1D510B0,  # LDRH R1, [R5]
    0xE3A010AA,  # MOV R1, #0xAA
    0xE5C41000,  # STRB R1, [R4]       FLASH command byte
    0xEAFFFFF7,  # B back to the start
))

# Bus sequences: the save type byte, then operations.
def bus(type_byte, build):
    p = Provider()
    build(p)
    return bytes([type_byte]) + p.bytes()


def op(p, number):
    p.choice(number, 13)


def flash_command(p, command_index, *rest):
    op(p, 4)
    p.choice(command_index, 5)
    for kind, value in rest:
        if kind == "flag":
            p.flag(value)
        else:
            p.integral(value, kind)


def flash_session(p):
    flash_command(p, 0)                        # identification on
    op(p, 10)                                  # a frame
    flash_command(p, 4, (1, 1))                # bank 1
    flash_command(p, 3, (2, 0x1234), (1, 0x5A))  # program a byte
    flash_command(p, 1)                        # identification off
    flash_command(p, 2, ("flag", False), (1, 3))  # erase sector 3
    op(p, 11)                                  # battery save


def eeprom_request(p, dma, write, large, block, value=0, read_by_dma=False):
    op(p, 7 if dma else 6)
    p.flag(write)
    p.flag(large)
    p.integral(block, 2)
    if write:
        p.integral(value, 8)
    p.choice(1, 3)      # no skew
    p.choice(1, 8)      # exact length
    p.flag(True)        # the window's low address
    if write:
        p.flag(True)    # read back what the chip answers
    p.flag(read_by_dma)


def eeprom_session(p):
    eeprom_request(p, True, True, False, 5, 0x0123456789ABCDEF)
    eeprom_request(p, True, False, False, 5, read_by_dma=True)
    eeprom_request(p, False, True, True, 700, 0xFEDCBA9876543210)
    eeprom_request(p, False, False, True, 700)
    op(p, 11)


def dma_session(p):
    op(p, 9)
    p.choice(3, 4)
    for window, offset in ((1, 0x100), (9, 0x10)):  # IWRAM to the SRAM window
        p.choice(window, 12)
        p.integral(offset, 3)
    p.integral(0x40, 2)
    p.integral(0x0000, 2)
    op(p, 2)                                    # a word to DISPSTAT
    p.choice(1, 16)
    p.integral(4, 2)
    p.integral(0x0028, 4)
    op(p, 10)


put("bus", "flash128", bus(3, flash_session))
put("bus", "flash64-interrupted-save", bus(0xE3, flash_session))
put("bus", "eeprom", bus(4, eeprom_session))
put("bus", "none-eeprom-interrupted-save", bus(0xE1, eeprom_session))
put("bus", "sram-dma", bus(1, dma_session))


# States: the cartridge byte (bit 0 the 128 KB FLASH one, bit 1 cut), then
# pieces laid over a valid state.
def state(first, pieces, length=None):
    p = Provider()
    if length is not None:
        p.integral(length, 4)
    for offset, data in pieces:
        p.integral(offset, 4)
        p.integral(len(data) - 1, 1)
        p.raw(data)
    return bytes([first]) + p.bytes()


StateFileSize = 509144
CpuOffset, FlashOffset, IoOffset, SramOffset = 16, 204, 296152, 443608
for target in ("desktop_state", "retro_state"):
    put(target, "cpu-thumb-iwram", state(0, [(CpuOffset, struct.pack("<I", 0x3F)),
                                              (CpuOffset + 4 + 15 * 4, struct.pack("<I", 0x03000000))]))
    put(target, "io-dma-timers", state(0, [(IoOffset + 0xDC, struct.pack("<HH", 0x10, 0xB000)),
                                           (IoOffset + 0x100, struct.pack("<HH", 0xFF00, 0x00C0))]))
    put(target, "flash-bank1-id", state(1, [(FlashOffset + 5, bytes([1, 0, 0x34, 0x12, 1])),
                                            (SramOffset, b"\x5A" * 16)]))
    put(target, "bank-block-cut", state(3, [(StateFileSize + 8, b"\xA5" * 64)], StateFileSize + 8 + 1000))
    put(target, "sram-longer", state(0, [(SramOffset + 0xFFF0, b"\x11" * 16), (StateFileSize + 10, b"X")]))
