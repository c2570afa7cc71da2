# The Windows build's tests run under Wine on the build machine: every test
# command starts through the cross-compiling emulator, which is Wine with a
# prefix of its own inside the build folder and its debug output off.
#
# The x86_64 build runs under wine64 (the loader is not on the PATH on
# Debian); the i686 build under wine, which needs a kernel that runs 32-bit
# programs. Set KORU_WINE to use another loader.
if(NOT CMAKE_CROSSCOMPILING OR NOT WIN32)
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(KORU_WINE NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
else()
  find_program(KORU_WINE NAMES wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
endif()
# The prefix is also where koru.exe's desktop tests start Wine.
set(KORU_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the Windows tests")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()
if(NOT KORU_WINE)
  message(STATUS "Wine not found: the Windows tests can be built but not run here")
  return()
endif()
# Wine plays sound through ALSA. Its default output here is ALSA's null
# device, which takes samples at the rate asked for and discards them, so
# the wave device's tests play through the system's own wave output even
# on a machine without a sound card.
set(KORU_WINE_ALSA_CONFIG ${CMAKE_BINARY_DIR}/wine-alsa.conf)
file(WRITE ${KORU_WINE_ALSA_CONFIG} "pcm.!default { type null }\nctl.!default { type hw card 0 }\n")
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env WINEPREFIX=${KORU_WINEPREFIX} WINEDEBUG=-all ALSA_CONFIG_PATH=${KORU_WINE_ALSA_CONFIG} ${KORU_WINE})
message(STATUS "Windows tests run under ${KORU_WINE} (prefix ${KORU_WINEPREFIX})")
