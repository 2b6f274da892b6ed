# Front door. Every target that builds installs what is missing first.
BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# A compiler cache, when the machine has one, makes rebuilds of other
# checkouts cheap; CI starts without one and builds as before.
LAUNCHER   := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps configure build test run bench check clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(LAUNCHER) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

run: build
	@scripts/run-demo $(BUILD_DIR)

# Speed and cost figures (not tests); writes docs/benchmarks.md.
bench: build
	@scripts/bench $(BUILD_DIR)

# Sanitizer builds and bounded fuzzing; CI runs it after the tests.
check: deps
	@scripts/check

clean:
	rm -rf $(BUILD_DIR)
