#!/usr/bin/env bash
# The test suite of the Windows build, run under Wine.
#
# The product is 32-bit (i686), but many kernels cannot start 32-bit
# programs, so the suite is built for x86_64 as its stand-in and run under
# wine64; the i686 build's suite runs too where this machine can start a
# 32-bit program. Without MinGW-w64 or a working Wine the suite is skipped
# ("skipped: ...") and the script succeeds.
#
#   scripts/windows-test.sh [BUILD64 [BUILD32]]    (default build-win64, build-win32-test)
set -euo pipefail
cd "$(dirname "$0")/.."
build64=${1:-build-win64}
build32=${2:-build-win32-test}
read -r -a cmake_flags <<<"${CMAKE_FLAGS:-}"
export WINEDEBUG=-all

find_wine64() {
  if [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64; else command -v wine64 || true; fi
}

# Creates the tree's Wine prefix once (the first start takes a while),
# then tells whether the loader runs a program: $1 loader, $2 prefix, $3 exe.
wine_runs() {
  local loader=$1 prefix=$2 exe=$3
  if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    WINEPREFIX=$prefix timeout 300 "$loader" wineboot -i >/dev/null 2>&1 || true
  fi
  WINEPREFIX=$prefix timeout 120 "$loader" "$exe" >/dev/null 2>&1
}

# A program that does nothing, for the tree $1 with the C compiler $2.
probe_program() {
  mkdir -p "$1"
  printf 'int main(void) { return 0; }\n' >"$1/probe.c"
  "$2" -o "$1/probe.exe" "$1/probe.c" && echo "$1/probe.exe"
}

configure_and_build() {  # $1 tree, $2 toolchain (taken at the first configure only)
  local toolchain=()
  [ -f "$1/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$2")
  cmake -S . -B "$1" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "${cmake_flags[@]}"
  cmake --build "$1"
}

wine64=$(find_wine64)
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "windows-test: skipped: MinGW-w64 (x86_64-w64-mingw32-g++-posix) is not installed"
  exit 0
fi
if [ -z "$wine64" ]; then
  echo "windows-test: skipped: Wine (wine64) is not installed"
  exit 0
fi

probe=$(probe_program "$build64" x86_64-w64-mingw32-gcc-posix)
if ! wine_runs "$wine64" "$PWD/$build64/wineprefix" "$probe"; then
  echo "windows-test: skipped: Wine cannot run programs here ($wine64 $probe failed)"
  exit 0
fi
configure_and_build "$build64" mingw-x86_64.cmake
ctest --test-dir "$build64" --output-on-failure -j 2

# The 32-bit build's suite, where 32-bit programs run.
if ! command -v i686-w64-mingw32-gcc-posix >/dev/null || ! command -v wine >/dev/null; then
  echo "windows-test: i686 suite skipped: the i686 compiler or wine is not installed"
  exit 0
fi
probe=$(probe_program "$build32" i686-w64-mingw32-gcc-posix)
if ! wine_runs wine "$PWD/$build32/wineprefix" "$probe"; then
  echo "windows-test: i686 suite skipped: this machine cannot run 32-bit programs under Wine"
  exit 0
fi
configure_and_build "$build32" mingw-i686.cmake
ctest --test-dir "$build32" --output-on-failure -j 2
