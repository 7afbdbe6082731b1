# Top-level commands. `make run` and `make test` do all set-up on a fresh
# Debian machine: missing packages are installed, then the build runs.
#
#   make run              build and run the engine on the bundled sample game
#   make test             build and run every test
#   make test SANITIZE=1  the same under ASan+UBSan (build-asan/)
#   make bench            build, then run every benchmark (BENCH=vm runs one)

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

# Each benchmark prints its own figures; one that fails or misses its target
# is named at the end and makes the run fail, after the others have run.
BENCH ?= $(patsubst bench/%_bench.cpp,%,$(wildcard bench/*_bench.cpp))
bench: build
	@failed=""; for b in $(BENCH); do \
	  if [ ! -x $(BUILD)/tkw4-bench-$$b ]; then echo "== tkw4-bench-$$b: not built (a benchmark that needs Google Benchmark is skipped without it)"; continue; fi; \
	  echo "== tkw4-bench-$$b"; \
	  $(BUILD)/tkw4-bench-$$b || failed="$$failed tkw4-bench-$$b"; \
	done; \
	if [ -n "$$failed" ]; then echo "bench: failed or missed the target:$$failed"; exit 1; fi

clean:
	rm -rf build build-asan
