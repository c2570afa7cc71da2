# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build first.

BUILD ?= build
BUILD_TYPE ?= Release
CMAKE_FLAGS ?=

.PHONY: all setup configure build run test bench clean

all: build

setup:
	./scripts/setup.sh

configure: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

# Starts the program on the cartridge that the build makes.
run: build
	cmake --build $(BUILD) --target run

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j 2

bench: build
	cmake --build $(BUILD) --target bench

clean:
	rm -rf $(BUILD)
