# Thin entry points over CMake. See README.md.
BUILD   ?= build
JOBS    ?= 2
WINDIR   = $(BUILD)/windows
NATDIR   = $(BUILD)/native
FUZZDIR  = $(BUILD)/fuzz
ASANDIR  = $(BUILD)/asan

.PHONY: all deps exe native fuzz asan test unit demo clean

all: exe

deps:
	@tools/ensure-deps.sh

# build/windows/PelluxMONITOR.exe, the stand-ins and the test driver.
exe: deps
	cmake -S . -B $(WINDIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINDIR) -j $(JOBS)

native: deps
	cmake -S . -B $(NATDIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLUX_WINDOWS_DIR=$(abspath $(WINDIR)) -DPELLUX_FUZZ_DIR=$(abspath $(FUZZDIR)) -DPELLUX_ASAN_DIR=$(abspath $(ASANDIR))
	cmake --build $(NATDIR) -j $(JOBS)

fuzz: deps
	cmake -S . -B $(FUZZDIR) -DPELLUX_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZDIR) -j $(JOBS)

# The unit tests once more, with AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B $(ASANDIR) -DPELLUX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASANDIR) -j $(JOBS)

# Every test: unit (plain and sanitized), fuzz (bounded) and end-to-end under
# Wine, in one ctest run.
test: exe fuzz asan native
	ctest --test-dir $(NATDIR) --output-on-failure

# Unit tests only, no Wine.
unit: native
	ctest --test-dir $(NATDIR) --output-on-failure -L unit

# Runs the monitor under Wine with the stand-in programs installed.
demo: exe
	python3 tests/e2e/demo.py --windows-dir $(abspath $(WINDIR))

clean:
	rm -rf $(BUILD)
