# Top-level commands. `make run` and `make test` do all set-up on a fresh
# Debian machine: missing packages are installed, then the build runs.
#
#   make run              build and run the engine on the bundled sample game
#   make test             build and run every test
#   make test SANITIZE=1  the same under ASan+UBSan (build-asan/)
#   make bench            build the benchmarks

SANITIZE ?= 0
ifeq ($(SANITIZE),1)
BUILD ?= build-asan
CMAKE_FLAGS += -DTKW4_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else
BUILD ?= build
CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The engine runs in $(BUILD)/run, a working folder the build fills with
# the system package and the sample game.
run: build
	cd $(BUILD)/run && ../tkw4 $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

bench: build

clean:
	rm -rf build build-asan
