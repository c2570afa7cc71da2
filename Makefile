# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build first.

BUILD ?= build
SAN_BUILD ?= build-san
TSAN_BUILD ?= build-tsan
WIN32_BUILD ?= build-win32
WIN64_BUILD ?= build-win64
WIN32_TEST_BUILD ?= build-win32-test
BUILD_TYPE ?= Release
CMAKE_FLAGS ?=

.PHONY: all setup configure build pgo run install test unit-test sanitize tsan windows windows-test fuzz-long bench clean

all: build

setup:
	./scripts/setup.sh

configure: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

# The release build with profile-guided optimisation (GCC): a build made for
# training runs koru-headless through the demo's scenes and the heavy scene,
# then the same build directory is built again from the profile they left.
# A later plain `make build` keeps the profile; KORU_PGO= (empty) in
# CMAKE_FLAGS goes back to a build without it.
PGO_FRAMES ?= 600
pgo: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORU_PGO=GENERATE $(CMAKE_FLAGS)
	cmake --build $(BUILD) --target koru-headless rom_demo rom_heavy
	rm -rf $(BUILD)/pgo-profile $(BUILD)/pgo-run
	mkdir -p $(BUILD)/pgo-run
	cp $(BUILD)/roms/demo.gba $(BUILD)/roms/heavy.gba $(BUILD)/pgo-run/
	cd $(BUILD)/pgo-run && ../src/headless/koru-headless --frames $(PGO_FRAMES) \
	  --keys 100:0x1,104:0,200:0x10,260:0x40,300:0x1,304:0,400:0x4,404:0,500:0x1,504:0 demo.gba > /dev/null
	cd $(BUILD)/pgo-run && ../src/headless/koru-headless --frames $(PGO_FRAMES) heavy.gba > /dev/null
	rm -rf $(BUILD)/pgo-run
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORU_PGO=USE $(CMAKE_FLAGS)
	cmake --build $(BUILD)

# Starts the desktop program on the demo cartridge (or one the build makes).
run: build
	cmake --build $(BUILD) --target run

# Installs the desktop program, its desktop entry (opening .gba files) and
# its icon, and the libretro core with its description (PREFIX=/usr puts
# them where Debian's RetroArch looks): under PREFIX (default /usr/local),
# inside DESTDIR when given.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The whole suite: the normal build, then the same tests and a short run of
# every fuzz target under AddressSanitizer and UndefinedBehaviorSanitizer,
# then the threaded sound tests under ThreadSanitizer, then the Windows
# build's tests under Wine (skipped where MinGW-w64 or Wine is missing).
test: unit-test sanitize tsan windows-test

unit-test: build
	ctest --test-dir $(BUILD) --output-on-failure -j 2

sanitize: setup
	CC=clang CXX=clang++ cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORU_SANITIZE=ON -DKORU_FUZZ=ON $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD)
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --test-dir $(SAN_BUILD) --output-on-failure -j 2

# (The cartridge tests of the sound suite run koru-headless in a process of
# its own and need the test cartridges, which this tree does not build; the
# normal and sanitizer suites run them.)
tsan: setup
	CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORU_TSAN=ON -DKORU_BUILD_ROMS=OFF $(CMAKE_FLAGS)
	if [ -d tests/sound ]; then \
	  cmake --build $(TSAN_BUILD) --target test_sound && \
	  cd $(TSAN_BUILD)/tests && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/sound/tsan.supp" \
	    ./test_sound --gtest_filter=-CartridgeSoundTest.*; \
	fi

# The Windows programs (koru-headless.exe, and koru.exe where it is built):
# 32-bit, made with MinGW-w64, in $(WIN32_BUILD).
windows: setup
	cmake -S . -B $(WIN32_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKORU_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(WIN32_BUILD)

# The Windows build's tests under Wine: the x86_64 build (in $(WIN64_BUILD))
# always, the i686 one (in $(WIN32_TEST_BUILD)) where 32-bit programs run.
windows-test: setup
	BUILD_TYPE=$(BUILD_TYPE) CMAKE_FLAGS="$(CMAKE_FLAGS)" ./scripts/windows-test.sh $(WIN64_BUILD) $(WIN32_TEST_BUILD)

# Long fuzzing: FUZZ_SECONDS per target (default one hour), corpora kept in
# $(SAN_BUILD)/fuzz-corpus between runs. FUZZ_FORK=N runs each target in N
# processes (libFuzzer's fork mode); the machine has 2 cores.
FUZZ_SECONDS ?= 3600
FUZZ_FORK ?= 1
FUZZ_TARGETS ?= cartridge state battery decompress ini program bus desktop_state retro_state
fuzz-long: sanitize
	for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(SAN_BUILD)/fuzz-corpus/$$t; \
	  fork=; if [ "$(FUZZ_FORK)" -gt 1 ]; then fork=-fork=$(FUZZ_FORK); fi; \
	  (cd $(SAN_BUILD)/fuzz-corpus && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    ../fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=2048 \
	    -print_final_stats=1 -artifact_prefix=$$PWD/$$t- $$fork $$PWD/$$t $(CURDIR)/fuzz/corpus/$$t) || exit 1; \
	done

# Every benchmark figure on one screen. BASELINE=DIR puts the figures of
# another build beside them; BASELINE_REV=REV first builds git revision REV
# in $(BUILD)-rev-REV (sources and build, outside the repository's history)
# and compares with that.
BASELINE ?=
BASELINE_REV ?=
ifneq ($(BASELINE_REV),)
override BASELINE := $(BUILD)-rev-$(BASELINE_REV)/build
endif
bench: build
ifneq ($(BASELINE_REV),)
	./scripts/build-revision.sh $(BASELINE_REV) $(BUILD)-rev-$(BASELINE_REV) $(CMAKE_FLAGS)
endif
	KORU_BENCH_BASELINE=$(BASELINE) cmake --build $(BUILD) --target bench

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(WIN32_BUILD) $(WIN64_BUILD) $(WIN32_TEST_BUILD)
