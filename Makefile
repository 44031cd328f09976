# A newcomer's two commands: `make run` and `make test`.
PRESET ?= default
BUILD  := build/$(PRESET)
JOBS   ?= $(shell nproc)

.PHONY: run test faults chaos build bootstrap configure asan tsan fuzz fuzz-long mingw windows windows-zip bench bench-gui screenshots clean

# The mixer panel as a user gets it: an optimised build with debug symbols,
# in its own folder, so that `make test` keeps its Debug build.
RUN_PRESET ?= run
run:
	@$(MAKE) --no-print-directory build PRESET=$(RUN_PRESET)
	@scripts/run-mixer-panel build/$(RUN_PRESET)

# The tests host their own rigs: a rig process a developer left running on the
# default socket must not be picked up by them.
test: build
	cd $(BUILD) && QEL_SIM_SOCKET=$$PWD/no-rig-process.sock ctest --output-on-failure -j $(JOBS)

# The fault matrix alone (also part of `make test`): every scenario of
# resources/rigs/faults on the mixer panel and the control panel.
faults: build
	cd $(BUILD) && QEL_SIM_SOCKET=$$PWD/no-rig-process.sock ctest --output-on-failure -L faults -j $(JOBS)

# The chaos soak: random user actions and rig faults on both programs at
# once, SECONDS long each, from SEED (a random one when not given; it is
# printed, and the same seed replays the same run).
SECONDS ?= 600
SEED ?=
chaos: build
	@seed="$(SEED)"; [ -n "$$seed" ] || seed=$$(od -An -N4 -tu4 /dev/urandom | tr -d ' '); \
	QT_QPA_PLATFORM=offscreen $(BUILD)/faults/qel_faults_mixer --chaos $(SECONDS) --seed $$seed & mixer=$$!; \
	QT_QPA_PLATFORM=offscreen $(BUILD)/faults/qel_faults_cpl --chaos $(SECONDS) --seed $$seed & cpl=$$!; \
	fail=0; wait $$mixer || fail=1; wait $$cpl || fail=1; exit $$fail

# The whole suite SOAK times over (default 30) with every core loaded.
SOAK ?= 30
soak: build
	scripts/soak $(BUILD) $(SOAK)

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	@[ -f $(BUILD)/build.ninja ] || cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

asan tsan:
	$(MAKE) test PRESET=$@

fuzz: bootstrap
	cmake --preset fuzz >/dev/null && cmake --build build/fuzz -j $(JOBS)
	build/fuzz/device/fuzz_records -max_total_time=30 device/fuzz/corpus/fuzz_records

# Every fuzz target for 10 million executions or 10 minutes, whichever comes
# first (FUZZ_SECONDS, FUZZ_RUNS), from its kept corpus; the corpus is then
# merged again, minimised, with what was found (commit the change).
FUZZ_SECONDS ?= 600
FUZZ_RUNS ?= 10000000
fuzz-long: bootstrap
	cmake --preset fuzz >/dev/null && cmake --build build/fuzz -j $(JOBS)
	scripts/fuzz-long build/fuzz $(FUZZ_SECONDS) $(FUZZ_RUNS)

mingw: bootstrap
	cmake --preset mingw >/dev/null && cmake --build build/mingw -j $(JOBS)

# The Windows product: Qt for Windows in ~/.cache/qel (scripts/qt-windows),
# the programs and tests in build/windows/bin, and the zip to hand out.
windows: bootstrap
	cmake --preset windows >/dev/null && cmake --build build/windows -j $(JOBS)

windows-zip: windows
	@scripts/windows-zip build/windows

bench: build
	$(BUILD)/device/qel_device_bench

# What the mixer window costs under a real X server (Xvfb), in the optimised
# build of `make run`. BENCH_OLD=<build folder> runs the same cases on that
# build's bench too, in turn, for a side-by-side figure.
bench-gui:
	@$(MAKE) --no-print-directory build PRESET=$(RUN_PRESET)
	xvfb-run -a -s "-screen 0 1280x1024x24" scripts/bench-gui build/$(RUN_PRESET) $(BENCH_OLD)

screenshots: build
	cmake --build $(BUILD) --target screenshots

clean:
	rm -rf build
