# Builds console cartridges from freestanding C and assembly with Debian's
# arm-none-eabi toolchain. Every cartridge gets a valid header from gbafix, so
# that it passes the start-up checks with "CheckCRC" on.
#
#   koru_add_gba_rom(NAME SOURCES a.c b.s ... [TITLE "TEXT"] [CODE "ABCD"]
#                    [CFLAGS ...] [DEPENDS headers ...])
#
# makes ${KORU_ROM_DIR}/NAME.gba and a target rom_NAME; the common start-up
# code and linker script of tests/roms/common are added to every cartridge.

find_program(ARM_GCC arm-none-eabi-gcc)
find_program(ARM_OBJCOPY arm-none-eabi-objcopy)
set(KORU_ROM_DIR ${CMAKE_BINARY_DIR}/roms CACHE INTERNAL "")
set(KORU_ROM_COMMON ${CMAKE_SOURCE_DIR}/tests/roms/common CACHE INTERNAL "")

if(KORU_BUILD_ROMS AND ARM_GCC AND ARM_OBJCOPY)
  set(KORU_HAVE_ROMS ON CACHE INTERNAL "")
else()
  set(KORU_HAVE_ROMS OFF CACHE INTERNAL "")
  if(KORU_BUILD_ROMS)
    message(WARNING "arm-none-eabi-gcc not found: test cartridges are not built")
  endif()
endif()

function(koru_add_gba_rom name)
  cmake_parse_arguments(ROM "" "TITLE;CODE" "SOURCES;CFLAGS;DEPENDS" ${ARGN})
  if(NOT KORU_HAVE_ROMS)
    return()
  endif()
  if(NOT ROM_TITLE)
    string(TOUPPER "${name}" ROM_TITLE)
  endif()
  if(NOT ROM_CODE)
    set(ROM_CODE "KORU")
  endif()
  set(objdir ${CMAKE_CURRENT_BINARY_DIR}/${name}.dir)
  set(flags -mcpu=arm7tdmi -mthumb-interwork -ffreestanding -nostdlib -nostartfiles
            -fno-builtin -fno-common -O2 -Wall -I${KORU_ROM_COMMON} ${ROM_CFLAGS})
  set(objects)
  foreach(src ${KORU_ROM_COMMON}/crt0.s ${ROM_SOURCES})
    get_filename_component(abs ${src} ABSOLUTE)
    get_filename_component(base ${src} NAME)
    set(obj ${objdir}/${base}.o)
    add_custom_command(OUTPUT ${obj}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${objdir}
      COMMAND ${ARM_GCC} ${flags} -c ${abs} -o ${obj}
      DEPENDS ${abs} ${KORU_ROM_COMMON}/gba.h ${ROM_DEPENDS}
      COMMENT "Compiling cartridge source ${base}"
      VERBATIM)
    list(APPEND objects ${obj})
  endforeach()
  set(elf ${objdir}/${name}.elf)
  set(gba ${KORU_ROM_DIR}/${name}.gba)
  add_custom_command(OUTPUT ${gba}
    COMMAND ${ARM_GCC} ${flags} -T ${KORU_ROM_COMMON}/gba.ld ${objects} -lgcc -o ${elf}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KORU_ROM_DIR}
    COMMAND ${ARM_OBJCOPY} -O binary ${elf} ${gba}
    COMMAND ${KORU_GBAFIX} ${gba} ${ROM_TITLE} ${ROM_CODE}
    DEPENDS ${objects} ${KORU_ROM_COMMON}/gba.ld gbafix
    COMMENT "Linking cartridge ${name}.gba"
    VERBATIM)
  add_custom_target(rom_${name} ALL DEPENDS ${gba})
endfunction()
