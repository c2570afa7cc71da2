#!/usr/bin/env bash
# Installs the Debian packages that Koru's build, tests and programs need.
# Only missing packages are installed; apt-get update runs at most once
# (twice when Wine's i386 architecture has to be added).
# Works as root (CI) and through sudo for a normal user.
set -euo pipefail

# Packages installed with their recommended companions.
packages=(
  cmake ninja-build g++ make pkg-config
  libgtest-dev libpng-dev
  qt6-base-dev qt6-qpa-plugins libxcb-render0-dev libsdl2-dev libfluidsynth-dev libasound2-dev timgm6mb-soundfont
  fonts-dejavu-core
  clang libclang-rt-14-dev llvm
  xvfb xdotool x11-utils x11-apps
)
# Packages installed without recommends (the ARM toolchain would otherwise
# pull in several hundred megabytes of documentation and libraries). The
# MinGW-w64 compilers make the Windows build; retroarch-dev has the
# libretro API's header for the libretro core. Openbox is the window manager
# the desktop tests run under where the frame around the window matters.
packages_minimal=(
  gcc-arm-none-eabi binutils-arm-none-eabi
  openbox
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  retroarch-dev
)
# Wine runs the Windows build's tests. It is optional: when it cannot be
# installed, those tests are skipped and everything else goes on.
packages_wine=(wine wine64 wine32:i386)
# RetroArch, the libretro front end the libretro core is tested in, without
# its recommended companions. Optional like Wine: where it cannot be
# installed, that test is skipped.
packages_retroarch=(retroarch)

missing() {
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      printf '%s\n' "$p"
    fi
  done
}

mapfile -t need < <(missing "${packages[@]}")
mapfile -t need_minimal < <(missing "${packages_minimal[@]}")
mapfile -t need_wine < <(missing "${packages_wine[@]}")
mapfile -t need_retroarch < <(missing "${packages_retroarch[@]}")

if [ ${#need[@]} -eq 0 ] && [ ${#need_minimal[@]} -eq 0 ] && [ ${#need_wine[@]} -eq 0 ] &&
   [ ${#need_retroarch[@]} -eq 0 ]; then
  echo "setup: every package Koru needs is installed."
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
elif [ ${#need[@]} -eq 0 ] && [ ${#need_minimal[@]} -eq 0 ]; then
  echo "setup: warning: Wine or RetroArch is missing and cannot be installed without root; their tests are skipped." >&2
  exit 0
else
  echo "setup: these packages are missing and I am neither root nor able to use sudo:" >&2
  printf '  %s\n' "${need[@]}" "${need_minimal[@]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
echo "setup: installing missing packages: ${need[*]} ${need_minimal[*]} ${need_wine[*]} ${need_retroarch[*]}"
"${as_root[@]}" apt-get update -qq
if [ ${#need[@]} -gt 0 ]; then
  "${as_root[@]}" apt-get install -y -qq "${need[@]}"
fi
if [ ${#need_minimal[@]} -gt 0 ]; then
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${need_minimal[@]}"
fi
if [ ${#need_wine[@]} -gt 0 ]; then
  wine_ok=true
  # wine32 is an i386 package: the architecture is added once, and the
  # package lists then need a second update (the only case with two).
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    { "${as_root[@]}" dpkg --add-architecture i386 && "${as_root[@]}" apt-get update -qq; } || wine_ok=false
  fi
  # Without recommends: the tests need Wine's loader and libraries, not the
  # fonts, sound servers and media plug-ins it recommends for desktops.
  if $wine_ok; then
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${need_wine[@]}" || wine_ok=false
  fi
  if ! $wine_ok; then
    echo "setup: warning: Wine could not be installed; the Windows tests will be skipped." >&2
  fi
fi
if [ ${#need_retroarch[@]} -gt 0 ]; then
  if ! "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${need_retroarch[@]}"; then
    echo "setup: warning: RetroArch could not be installed; the libretro core's RetroArch test will be skipped." >&2
  fi
fi
echo "setup: done."
