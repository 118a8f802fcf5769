# SPDX-License-Identifier: GPL-3.0-or-later
# Front end to CMake. `make run` builds and starts the demo (the window where a
# display is available; `make run HEADLESS=1` without it); `make test` builds and
# runs every test. Both install missing Debian packages first.
#   make test SANITIZER=asan   AddressSanitizer + UndefinedBehaviorSanitizer
#   make test SANITIZER=tsan   ThreadSanitizer
#   make fuzz                  libFuzzer targets (clang), built in build-fuzz/
#   make fuzz-smoke            the fuzz targets built, then each run a few seconds
#   make bench                 the host against ser2net and the bare pseudo-terminal; voice calls without and with ICE
#   make soak                  10,000 client cycles, 100 radios lost, 1,000 service start/stop cycles
#   make package               the Debian package build/ondrel_*.deb
#   make package-check         the package, inspected with dpkg-deb and lintian

SANITIZER ?=
BUILD ?= build$(if $(SANITIZER),-$(SANITIZER))
JOBS ?= $(shell nproc)
# ccache, where installed, lets several build folders share compiled objects.
CCACHE := $(shell command -v ccache 2>/dev/null)
LAUNCHER := $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))

.PHONY: all deps configure build test run fuzz fuzz-configure fuzz-smoke bench soak screenshot clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DONDREL_SANITIZER=$(SANITIZER) $(LAUNCHER)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	scripts/run-tests.sh $(BUILD)

run: build
	HEADLESS=$(HEADLESS) scripts/run-demo.sh $(BUILD)

# The fuzz targets (fuzz/fuzz_<name>.cpp) and what they link, with clang.
FUZZ_TARGETS := $(basename $(notdir $(wildcard fuzz/fuzz_*.cpp)))
FUZZ_SECONDS ?= 5

fuzz-configure: deps
	CXX=clang++ cmake -S . -B build-fuzz -DONDREL_BUILD_FUZZ=ON -DONDREL_BUILD_TESTS=OFF -DONDREL_BUILD_BENCH=OFF $(LAUNCHER)

fuzz: fuzz-configure
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)

# Every fuzz target for FUZZ_SECONDS from its seeds (fuzz/corpus/) with its
# dictionary; fails on any finding. Longer runs: scripts/fuzz.sh (docs/reliability.md).
fuzz-smoke: fuzz
	scripts/fuzz-smoke.sh build-fuzz $(FUZZ_SECONDS)

# docs/window.png: the window with a client logged in and the radio on air, and
# docs/setup-dialog.png, docs/advanced-dialog.png: the settings dialogs, grabbed by
# their tests on Qt's offscreen platform.
screenshot: configure
	cmake --build $(BUILD) -j $(JOBS) --target gui_tests dialogs_tests
	QT_QPA_PLATFORM=offscreen ONDREL_SCREENSHOT=$(CURDIR)/docs/window.png \
	  $(BUILD)/tests/gui/gui_tests --gtest_filter='WindowServiceTest.ControlRunsTheServiceAndTheDisplayFollows'
	QT_QPA_PLATFORM=offscreen ONDREL_DIALOG_PICTURES=$(CURDIR)/docs \
	  $(BUILD)/tests/dialogs/dialogs_tests \
	  --gtest_filter='SetupDlgTest.EverySettingIsShownWithItsRulesAndCancelWritesNothing:SetupDlgTest.AdvancedEditsTheFileOnlySettingsAndSetupsOkSavesThem'

# The Debian package build/ondrel_<version>-1_<arch>.deb; package-check also
# inspects it with dpkg-deb and lintian.
package: build
	cmake --build $(BUILD) --target package

package-check: build
	cmake --build $(BUILD) --target package-check

bench: build
	@scripts/install-deps.sh --bench
	$(BUILD)/bench/ondrel_latency_bench
	$(BUILD)/bench/ondrel_voice_bench
	$(BUILD)/bench/ondrel_voice_bench --ice

# Descriptors, threads and memory of the host over many sessions and many starts and
# stops of the service (docs/reliability.md); SOAK_CYCLES and SERVICE_CYCLES set the counts.
SOAK_CYCLES ?= 10000
SERVICE_CYCLES ?= 1000
RADIO_LOSS_TRIES ?= 100
soak: build
	nice $(BUILD)/bench/ondrel_soak --cycles $(SOAK_CYCLES)
	nice $(BUILD)/bench/ondrel_soak --radio-loss $(RADIO_LOSS_TRIES)
	nice $(BUILD)/bench/ondrel_soak --service-cycles $(SERVICE_CYCLES)

clean:
	rm -rf build build-asan build-tsan build-fuzz
