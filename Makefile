# The two commands of the README:
#   make run    install what is missing, build, and start the player
#   make test   install what is missing, build, and run every test headless
#   make fuzz   build the fuzz harnesses with clang (in build-fuzz) and run
#               each for FUZZ_SECONDS seconds at low priority
#   make package  build the Debian package (build/orvane-radio_*.deb)
# SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer in
# a build folder of its own; BUILD_TYPE picks the CMake build type.

SANITIZE ?= 0
BUILD_TYPE ?= RelWithDebInfo
ifeq ($(SANITIZE),1)
BUILD ?= build-sanitize
else
BUILD ?= build
endif
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench fuzz package clean

all: build

deps:
	./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DORVANE_SANITIZE=$(SANITIZE)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd $(BUILD)/run && ./orvane-radio

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

package: build
	cmake --build $(BUILD) --target package

bench: build
	cmake --build $(BUILD) --target benchmarks -j $(JOBS)

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -DSOURCE=$(CURDIR)/fuzz -DBUILD=$(CURDIR)/$(FUZZ_BUILD) -DJOBS=$(JOBS) -P fuzz/BuildFuzzers.cmake
	for harness in $(FUZZ_BUILD)/fuzz_*; do \
		nice -n 19 fuzz/run-fuzzer $$harness $${harness##*/fuzz_} $(FUZZ_SECONDS) time || exit 1; \
	done

clean:
	rm -rf build build-sanitize build-fuzz
