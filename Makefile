# Thin entry points over CMake. See README.md.
BUILD   ?= build
JOBS    ?= 2
# VERSION=a.b.c.d builds that version instead of the one in CMakeLists.txt,
# in a build folder of its own (build/windows-a.b.c.d).
VERSION ?=
WINDIR   = $(BUILD)/windows$(if $(VERSION),-$(VERSION))
# The 32-bit program (the monitor alone), in build/windows-x86[-a.b.c.d].
X86DIR   = $(BUILD)/windows-x86$(if $(VERSION),-$(VERSION))
NATDIR   = $(BUILD)/native
FUZZDIR  = $(BUILD)/fuzz
ASANDIR  = $(BUILD)/asan
# The end-to-end lanes' own ctest folder (make test): nothing is built there.
LANESDIR = $(BUILD)/lanes

# The version in CMakeLists.txt and one build number above it: the newer
# package that the installer test upgrades to, built from the same tree.
BASE_VERSION := $(shell sed -n 's/^ *set(PELLUX_VERSION \([0-9.]*\))/\1/p' CMakeLists.txt)
NEXT_VERSION := $(shell echo $(BASE_VERSION) | awk -F. '{ print $$1 "." $$2 "." $$3 + 1 "." $$4 }')
NEXTDIR  = $(BUILD)/windows-$(NEXT_VERSION)

.PHONY: all help deps exe exe-x86 native fuzz asan test unit simulate demo screenshots installer installer-next sign soak bench format format-check lint clean

all: exe

# One line per target; `make help`.
help:
	@echo 'make              the same as make exe'
	@echo 'make deps         install the Debian 12 packages the build and the tests need (as root; else prints the apt-get line)'
	@echo 'make exe          build/windows: PelluxMONITOR.exe (64-bit), its MSI, the stand-in programs and the Win32 test driver; build/windows-x86: the 32-bit PelluxMONITOR.exe (mingw-w64)'
	@echo 'make native       build/native: unit tests, the scan benchmark, the e2e registration (g++)'
	@echo 'make fuzz         build/fuzz: the libFuzzer targets (clang)'
	@echo 'make asan         build/asan: the unit tests with AddressSanitizer and UndefinedBehaviorSanitizer (make test runs them)'
	@echo 'make unit         build only the unit tests and run them (no Wine, no mingw-w64)'
	@echo 'make simulate     the monitor against a simulated workstation, seeded: SEED=1 RUNS=16 DAYS=30 (DAYS=365 RUNS=1: a year)'
	@echo 'make test         everything, about 15 min from a fresh clone: the Windows trees, then end-to-end under Wine and Xvfb in lanes side by side, and beside them sanitized unit, fuzz (30 s each), simulation, lint, exe, packaging and docs checks'
	@echo 'make demo         run the monitor under Wine with the stand-ins; ARGS=... goes to demo.py (ARGS=--screenshot=FILE)'
	@echo 'make screenshots  remake docs/img/ from the real exe under Wine, each state checked first; ARGS=-k NAME for one'
	@echo 'make bench        the scan beside the bare system calls, and the cycle with logging on beside off, under Wine, over 0, 100 and 400 extra processes; ROUNDS=30'
	@echo 'make soak         the monitor under Wine for MINUTES=10, disturbed all the time; handles, memory, CPU every 30 s; LOGGING=off, CALM=1'
	@echo 'make installer    build/windows/PelluxMONITOR-<version>.msi and -x86.msi (per user), -machine.msi and -machine-x86.msi (every user, elevated), 64- and 32-bit; each starts the monitor at once and at logon; VERSION=a.b.c.d for another'
	@echo 'make installer-next  the 64-bit packages one build number up (what the installer test upgrades to)'
	@echo 'make sign         sign both exes, package them again and sign the four MSIs: CERT=file.pfx PASS=password [TSURL=url]'
	@echo 'make format       lay out every C++ file of src/, tests/ and tools/ by .clang-format (clang-format 14)'
	@echo 'make format-check name each C++ file that make format would change, and fail if there is one'
	@echo 'make lint         clang-tidy (.clang-tidy) over the portable core and the tests, through build/native'"'"'s compile commands; slow'
	@echo 'make clean        remove build/ (the demo prefix included)'

deps:
	@tools/ensure-deps.sh

CONFIGURE_WINDOWS = cmake -S . -B $(WINDIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release -DPELLUX_X86_DIR=$(abspath $(X86DIR)) $(if $(VERSION),-DPELLUX_VERSION=$(VERSION))
# Without rule messages: a build with nothing to do prints nothing.
CONFIGURE_X86 = cmake -S . -B $(X86DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release -DCMAKE_RULE_MESSAGES=OFF -DCMAKE_TARGET_MESSAGES=OFF $(if $(VERSION),-DPELLUX_VERSION=$(VERSION))

# build/windows-x86/PelluxMONITOR.exe; then build/windows/PelluxMONITOR.exe, the
# installers of both, the stand-ins and the test driver.
exe: deps
	@$(MAKE) --no-print-directory exe-x86
	$(CONFIGURE_WINDOWS)
	cmake --build $(WINDIR) -j $(JOBS)

# The 32-bit monitor. Configured once (the build configures itself again when
# a CMakeLists.txt changes); says only what it rebuilt.
exe-x86:
	@test -f $(X86DIR)/CMakeCache.txt || $(CONFIGURE_X86)
	@before=$$(stat -c %Y $(X86DIR)/PelluxMONITOR.exe 2>/dev/null); \
	cmake --build $(X86DIR) -j $(JOBS) -- --no-print-directory -s && \
	if [ "$$(stat -c %Y $(X86DIR)/PelluxMONITOR.exe)" != "$$before" ]; then echo "Built $(X86DIR)/PelluxMONITOR.exe (32-bit)"; fi

# build/windows/PelluxMONITOR-<a.b.c>.msi and PelluxMONITOR-<a.b.c>-x86.msi: the
# 64-bit and the 32-bit program, packaged (packaging/).
installer: deps
	@$(MAKE) --no-print-directory exe-x86
	$(CONFIGURE_WINDOWS)
	cmake --build $(WINDIR) -j $(JOBS) --target installer

# The newer package for the upgrade test: the 64-bit program alone, one
# build number up (make installer VERSION=... builds both).
installer-next: deps
	cmake -S . -B $(NEXTDIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release -DPELLUX_X86_DIR= -DPELLUX_VERSION=$(NEXT_VERSION)
	cmake --build $(NEXTDIR) -j $(JOBS) --target installer

# Signs the program, packages it again and signs the package:
#   make sign CERT=file.pfx PASS=password [TSURL=http://timestamp.server]
# The password reaches osslsigncode through the environment, never a command line.
sign: export PELLUX_SIGN_PASS = $(PASS)
sign: exe
	@test -n "$(CERT)" || { echo "usage: make sign CERT=file.pfx PASS=password [TSURL=url]" >&2; exit 2; }
	packaging/sign.sh "$(CERT)" "$(TSURL)" $(WINDIR)/PelluxMONITOR.exe $(X86DIR)/PelluxMONITOR.exe
	cmake --build $(WINDIR) --target installer
	packaging/sign.sh "$(CERT)" "$(TSURL)" $$(sed -n 's/^PELLUX_MSI[A-Z0-9_]*:INTERNAL=//p' $(WINDIR)/CMakeCache.txt)

NATIVE_CONFIGURE = cmake -S . -B $(NATDIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLUX_WINDOWS_DIR=$(abspath $(WINDIR)) -DPELLUX_X86_WINDOWS_DIR=$(abspath $(X86DIR)) -DPELLUX_FUZZ_DIR=$(abspath $(FUZZDIR)) -DPELLUX_NEXT_WINDOWS_DIR=$(abspath $(NEXTDIR)) -DPELLUX_ASAN_DIR=$(abspath $(ASANDIR)) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

native: deps
	$(NATIVE_CONFIGURE)
	cmake --build $(NATDIR) -j $(JOBS)

fuzz: deps
	cmake -S . -B $(FUZZDIR) -DPELLUX_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZDIR) -j $(JOBS)

# The unit tests once more, with AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B $(ASANDIR) -DPELLUX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASANDIR) -j $(JOBS)

# Every test. First the trees the lanes need: both mingw-w64 ones with their
# packages and the newer package. Then the end-to-end modules under Wine start
# in their lanes side by side (tests/e2e/CMakeLists.txt), from a build folder
# of their own that compiles nothing (build/lanes), and beside them, niced,
# clang's fuzz targets and the sanitized unit tests are built, in build/native
# only the simulation and the scan benchmark (the unit tests run once,
# sanitized, as unit_asan, unless make unit has built them here: then they are
# brought up to date and run too), and every kind but e2e runs two at a time.
# The lanes mostly wait for the monitor's cycles and the work beside them gives
# way to Wine. The lanes' report follows the other, its summary naming the
# modules that skipped themselves (the 32-bit ones where 32-bit programs
# cannot run), with why; either failing fails the target.
NATIVE_TEST_TARGETS = $(if $(wildcard $(NATDIR)/tests/unit/unit_tests),,--target simulate scan_bench)
test: exe installer installer-next
	$(subst -B $(NATDIR),-B $(LANESDIR),$(NATIVE_CONFIGURE)) >/dev/null
	@ctest --test-dir $(LANESDIR) --output-on-failure -L e2e -j 4 >$(LANESDIR)/lanes.txt 2>&1 & lanes=$$!; \
	nice -n 10 $(MAKE) --no-print-directory fuzz asan && $(NATIVE_CONFIGURE) && \
	nice -n 10 cmake --build $(NATDIR) -j $(JOBS) $(NATIVE_TEST_TARGETS) && \
	nice -n 10 ctest --test-dir $(NATDIR) --output-on-failure -LE e2e -E '^unit_tests_NOT_BUILT$$' -j $(JOBS); \
	before=$$?; echo "Waiting for the end-to-end lanes (build/lanes/lanes.txt)..."; \
	wait $$lanes; lanes=$$?; cat $(LANESDIR)/lanes.txt; \
	grep -ho "skipped '[^']*cannot run here'" $(LANESDIR)/Testing/Temporary/LastTest.log 2>/dev/null | sort -u; \
	test $$before -eq 0 && test $$lanes -eq 0

# Unit tests only: builds the one unit_tests target, no Wine.
unit: deps
	$(NATIVE_CONFIGURE)
	cmake --build $(NATDIR) -j $(JOBS) --target unit_tests
	ctest --test-dir $(NATDIR) --output-on-failure -L unit

# The seeded simulation (tests/simulation): RUNS runs from SEED on, DAYS
# simulated days each; a failing run prints the command that replays it.
SEED ?= 1
RUNS ?= 16
DAYS ?= 30
simulate: deps
	$(NATIVE_CONFIGURE)
	cmake --build $(NATDIR) -j $(JOBS) --target simulate
	$(NATDIR)/tests/simulation/simulate --seed $(SEED) --runs $(RUNS) --days $(DAYS)

# The layout of the C++ files (.clang-format): make format rewrites them,
# make format-check only names those it would change.
format: deps
	@tools/format.sh

format-check: deps
	@tools/format.sh --check

# clang-tidy (.clang-tidy) over src/ but src/win32/ and the tests, as the
# native build compiles them (its compile_commands.json); niced, JOBS=1 by
# default as it takes minutes. Fails on any warning.
lint: deps
	$(NATIVE_CONFIGURE)
	JOBS=$(if $(filter command line,$(origin JOBS)),$(JOBS),1) tools/lint.sh $(NATDIR)

# Runs the monitor under Wine with the stand-in programs installed; ARGS go to demo.py.
demo: exe
	python3 tools/demo.py --windows-dir $(abspath $(WINDIR)) $(ARGS)

# The pictures of docs/img/, each checked for its state before it is saved.
screenshots: exe
	python3 tools/screenshots.py --windows-dir $(abspath $(WINDIR)) $(ARGS)

# The soak (tools/soak/soak.py): MINUTES of the real monitor under Wine, the
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
	PELLUX_E2E_KEEP=1 python3 tools/soak/soak.py --minutes $(MINUTES) --logging $(LOGGING) \
	$(if $(CALM),--calm) --out $(SOAKDIR)/soak-$(MINUTES)min.txt

# The process scan beside the bare system calls, under Wine (tools/bench/win32);
# ROUNDS interleaved pairs of scans per row.
ROUNDS  ?= 30
bench: exe
	@mkdir -p $(abspath $(BUILD))/bench-win32
	PELLUX_WINDOWS_DIR=$(abspath $(WINDIR)) PELLUX_E2E_WORK=$(abspath $(BUILD))/bench-win32 \
	PELLUX_E2E_PREFIX=$(abspath $(BUILD))/bench-win32/prefix PELLUX_E2E_KEEP=1 \
	python3 tools/bench/win32/run_bench.py $(ROUNDS)

clean:
	rm -rf $(BUILD)
