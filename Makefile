# Thin wrapper over the CMake presets; every target installs what is missing first.
.PHONY: deps run-deps run test test-asan bench fuzz package gui cli clean

JOBS ?= $(shell nproc)
# What `make run` needs: the window, the command line and the simulated unit.
PROGRAMS = quilo-readout quilo quilo-sim

deps:
	@bash scripts/install-deps.sh

run-deps:
	@bash scripts/install-deps.sh run

# The program's main job: the window against the built-in simulated unit
# (falls back to the command line when there is no display).
run: run-deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target $(PROGRAMS)
	@bash scripts/run.sh

test: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)
	ctest --preset debug -j $(JOBS)

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target $(PROGRAMS) quilo-bench
	@bash bench/run.sh build/release

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target quilo_fuzzers
	@bash fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

# The Debian package from the release build, then checked: its files, and its programs run.
package: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)
	rm -f build/release/quilo-readout_*.deb
	cd build/release && cpack
	@bash packaging/check-deb.sh build/release/quilo-readout_*.deb

clean:
	rm -rf build
