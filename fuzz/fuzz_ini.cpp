// Any "KORU.ini": the settings are read from it, a value is written into it,
// and that value must then read back unchanged whatever else the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frontend/ini.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    fuzz::EnterWorkDirectory();
    if (size > 64 * 1024) return 0;
    fuzz::WriteBytes("KORU.ini", data, size);

    char text[251];
    for (const char* key : {"UpdatePeriod", "Width", "X", "Cartridge", "SoundLogFile"}) {
        ProfileGetInt("KORU", key, 3, "KORU.ini");
        ProfileGetString("KORU", key, "LOG.MID", text, sizeof text, "KORU.ini");
        ProfileGetInt("GAME", key, -1, "KORU.ini");
    }
    // The value written is taken from the input's first bytes, kept to what
    // a setting can hold: no line break, no blanks or quotes around it.
    char value[32] = "720";
    if (size > 0) {
        size_t n = 0;
        for (size_t i = 0; i < size && n < sizeof value - 1; ++i) {
            const char c = static_cast<char>(data[i]);
            if (c > ' ' && c != '"' && c != '\'' && c < 0x7F) value[n++] = c;
        }
        if (n) value[n] = 0;
    }
    for (const char* section : {"KORU", "game"}) {
        if (!ProfileWriteString(section, "Width", value, "KORU.ini")) std::abort();
        ProfileGetString(section, "width", "", text, sizeof text, "KORU.ini");
        if (std::strcmp(text, value) != 0) std::abort();
    }
    // Whatever the file held, printing a parsed document and parsing that
    // again changes nothing: lines the program leaves alone stay as they are.
    const IniDocument document(std::string(reinterpret_cast<const char*>(data), size));
    if (IniDocument(document.Text()).Text() != document.Text()) std::abort();
    return 0;
}
