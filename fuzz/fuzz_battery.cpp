// Any battery-save file beside a cartridge of each save type: read at
// start-up, the machine runs a frame, and the save is written back at
// shut-down. The first byte picks the cartridge.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "machine/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    fuzz::EnterWorkDirectory();
    if (size > 256 * 1024) return 0;
    static const char* const Tags[] = {nullptr, "SRAM_V113", "FLASH_V126", "FLASH1M_V103", "EEPROM_V124"};
    static const char* const Names[] = {"none.gba", "sram.gba", "flash.gba", "flash1m.gba", "eeprom.gba"};
    constexpr size_t Types = sizeof Tags / sizeof Tags[0];
    static bool written = false;
    if (!written) {
        for (size_t i = 0; i < Types; ++i) fuzz::WriteQuietCartridge(Names[i], Tags[i]);
        written = true;
    }
    const char* cartridge = Names[size ? data[0] % Types : 0];
    const std::string save = std::string(cartridge, std::strlen(cartridge) - 4) + ".sav";
    fuzz::WriteBytes(save, data, size);
    if (PrepareMachine(cartridge)) fuzz::RunFrames(1);
    ShutdownMachine();
    return 0;
}
