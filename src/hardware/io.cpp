// The I/O write routes each halfword to the unit that owns its register;
// every unit's write function stores what its register keeps, so the units
// own their registers' whole behaviour and this file only knows who owns
// which offsets.
#include "hardware/io.h"

#include "hardware/bus.h"
#include "hardware/dma.h"
#include "hardware/interrupts.h"
#include "hardware/keypad.h"
#include "hardware/registers.h"
#include "hardware/timers.h"
#include "machine/log.h"
#include "sound/sound_registers.h"
#include "video/video_registers.h"

namespace koru {

namespace {

struct IoUnit {
    uint32_t first, last;  // the unit's offsets, both included
    void (*write)(uint32_t offset, uint16_t value);
};

// In the order of their offsets. Offsets that no unit owns are plain memory.
constexpr IoUnit IoUnits[] = {
    {IoDISPCNT, IoVideoLast, VideoRegisterWrite},
    {IoSoundFirst, IoSoundLast, SoundRegisterWrite},
    {IoDMA0SAD, IoDMACNT_H(3), DmaRegisterWrite},
    {IoTMCNT_L(0), IoTMCNT_H(3), TimerRegisterWrite},
    {IoKEYINPUT, IoKEYCNT, KeypadRegisterWrite},
    {IoIE, IoIF, InterruptRegisterWrite},
    {IoWAITCNT, IoWAITCNT, WaitControlWrite},
    {IoIME, IoIME, InterruptRegisterWrite},
    {IoHALTCNT, IoHALTCNT, HaltWrite},
};

}  // namespace

void IoWrite(uint32_t address, uint16_t v) {
    const uint32_t offset = address & 0xFFE;
    if (Verbose & 0x02) Log("Wrote %04Xh to IO[%03Xh] at %d\n", v, offset, IoRead16(IoVCOUNT));
    for (const IoUnit& unit : IoUnits) {
        if (offset < unit.first) break;
        if (offset <= unit.last) {
            unit.write(offset, v);
            return;
        }
    }
    IoStore16(offset, v);
}

}  // namespace koru
