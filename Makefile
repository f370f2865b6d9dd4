# Thin entry points over CMake. See README.md.
BUILD   ?= build
JOBS    ?= 2
WINDIR   = $(BUILD)/windows
NATDIR   = $(BUILD)/native
FUZZDIR  = $(BUILD)/fuzz

.PHONY: all deps exe native fuzz test unit demo soak bench clean

all: exe

deps:
	@tools/ensure-deps.sh

# build/windows/PelluxMONITOR.exe, the stand-ins and the test driver.
exe: deps
	cmake -S . -B $(WINDIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINDIR) -j $(JOBS)

native: deps
	cmake -S . -B $(NATDIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLUX_WINDOWS_DIR=$(abspath $(WINDIR)) -DPELLUX_FUZZ_DIR=$(abspath $(FUZZDIR))
	cmake --build $(NATDIR) -j $(JOBS)

fuzz: deps
	cmake -S . -B $(FUZZDIR) -DPELLUX_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZDIR) -j $(JOBS)

# Every test: unit, fuzz (bounded) and end-to-end under Wine, in one ctest run.
test: exe fuzz native
	ctest --test-dir $(NATDIR) --output-on-failure

# Unit tests only, no Wine.
unit: native
	ctest --test-dir $(NATDIR) --output-on-failure -L unit

# Runs the monitor under Wine with the stand-in programs installed.
demo: exe
	python3 tests/e2e/demo.py --windows-dir $(abspath $(WINDIR))

# The soak (tests/soak/soak.py): MINUTES of the real monitor under Wine, the
# bridge killed every few seconds; LOGGING=off for a run without the log,
# CALM=1 for the steady cycle with nothing disturbed. Its prefix, log and
# table stay in $(BUILD)/soak-log-$(LOGGING)[-calm].
MINUTES ?= 10
LOGGING ?= on
CALM    ?=
SOAKDIR  = $(abspath $(BUILD))/soak-log-$(LOGGING)$(if $(CALM),-calm)
soak: exe
	@mkdir -p $(SOAKDIR)
	PELLUX_WINDOWS_DIR=$(abspath $(WINDIR)) PELLUX_E2E_WORK=$(SOAKDIR) PELLUX_E2E_PREFIX=$(SOAKDIR)/prefix \
	PELLUX_E2E_KEEP=1 python3 tests/soak/soak.py --minutes $(MINUTES) --logging $(LOGGING) \
	$(if $(CALM),--calm) --out $(SOAKDIR)/soak-$(MINUTES)min.txt

# The process scan beside the bare system calls, under Wine (tests/bench_win32);
# ROUNDS interleaved pairs of scans per row.
ROUNDS  ?= 30
bench: exe
	@mkdir -p $(abspath $(BUILD))/bench-win32
	PELLUX_WINDOWS_DIR=$(abspath $(WINDIR)) PELLUX_E2E_WORK=$(abspath $(BUILD))/bench-win32 \
	PELLUX_E2E_PREFIX=$(abspath $(BUILD))/bench-win32/prefix PELLUX_E2E_KEEP=1 \
	python3 tests/bench_win32/run_bench.py $(ROUNDS)

clean:
	rm -rf $(BUILD)
