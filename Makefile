# Front door. Every target that builds installs what is missing first.
BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
# The package installs under /usr, and the programs know that folder.
PREFIX     ?= /usr
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# A compiler cache, when the machine has one, makes rebuilds of other
# checkouts cheap; CI starts without one and builds as before.
LAUNCHER   := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Paths inside the checkout are hashed relative to it, and the build folder is
# left out of the hash, so a clone in another folder hits the same cache
# entries (the debug information then names the folder that built first).
export CCACHE_BASEDIR   ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1

.PHONY: all deps configure build test run run-ds2480b bench check package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(LAUNCHER) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

run: build
	@scripts/run-demo $(BUILD_DIR) $(DEMO)

# The same demo behind the simulator's DS2480B line driver (DS9097U, LinkUSB).
run-ds2480b: build
	@scripts/run-demo $(BUILD_DIR) ds2480b

# Speed and cost figures (not tests); writes docs/benchmarks.md.
bench: build
	@scripts/bench $(BUILD_DIR)

# The Debian package kelvarian_<version>_<arch>.deb, written into $(BUILD_DIR);
# CPack strips the programs and asks dpkg-shlibdeps for the dependencies.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

# Sanitizer builds and bounded fuzzing; CI runs it after the tests.
check: deps
	@scripts/check

# The Windows programs, cross-built with mingw-w64 into their own folder, and
# their tests run under Wine. WINDOWS_WINDOW names the window layer
# kelvarian.exe is built with (win32; none builds the libraries,
# kelvarian-scan.exe and their tests only). The checks against the simulated
# bus under Wine use the Linux build's kelvarian-sim and are skipped without it.
WINDOWS_DIR    ?= build-windows
WINDOWS_WINDOW ?= win32
GTEST_SOURCE   ?= /usr/src/googletest

.PHONY: windows test-windows windows-installer windows-zip test-windows-packages

windows: deps
	@cmake -S . -B $(WINDOWS_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DKELVARIAN_WINDOW=$(WINDOWS_WINDOW) \
	  -DKELVARIAN_GTEST_SOURCE_DIR=$(GTEST_SOURCE) --no-warn-unused-cli $(LAUNCHER) \
	  -DKELVARIAN_SIMULATOR=$(abspath $(BUILD_DIR))/tools/sim/kelvarian-sim >/dev/null
	@cmake --build $(WINDOWS_DIR) -j $(JOBS)

test-windows: windows
	@cd $(WINDOWS_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

# What a Windows user downloads: the setup program (NSIS; per user without
# administrator rights, or for all users) and the portable ZIP, built
# reproducibly, both named with the project version.
windows-installer: windows
	@packaging/windows/build-package.sh installer $(WINDOWS_DIR)

windows-zip: windows
	@packaging/windows/build-package.sh zip $(WINDOWS_DIR)

# Both as a user meets them, under Wine against kelvarian-sim: the silent
# install, the installed program's files, a second instance, an upgrade, the
# uninstall, the ZIP unpacked and run portable; CI runs it after test-windows.
# Without the Linux build's simulator it is skipped (77), as in CTest.
test-windows-packages: windows-installer windows-zip
	@tests/end_to_end/wine_packages_check.sh scripts/wine-test \
	  $(BUILD_DIR)/tools/sim/kelvarian-sim $(WINDOWS_DIR) || [ $$? = 77 ]

clean:
	rm -rf $(BUILD_DIR) $(WINDOWS_DIR)
