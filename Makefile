# Thin wrapper over CMake: `make run`, `make test`, `make bench`.

JOBS ?= $(shell nproc)
HOME_DIR ?= var/home
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_SLOPPINESS := pch_defines,time_macros,include_file_mtime,include_file_ctime

.PHONY: all run test test-build test-run bench bench-quick fuzz fuzz-smoke deps clean cloud-server install

all: build/release/build.ninja
	cmake --build build/release -j $(JOBS)

deps:
	@scripts/install-deps

build/release/build.ninja: | deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release

build/test/build.ninja: | deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Test

build/bench/build.ninja: | deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDRY_BENCH=ON

run: deps build/release/build.ninja
	cmake --build build/release -j $(JOBS) --target tandry
	build/release/tandry --home $(HOME_DIR)

test: test-build
	@$(MAKE) --no-print-directory test-run

# The two halves of `make test` (scripts/build-cost times each).
test-build: deps build/test/build.ninja
	cmake --build build/test -j $(JOBS)

# A suite is one CTest test: the tests that skipped themselves are listed
# after CTest's summary, as CTest listed them when each test was its own.
test-run:
	cd build/test && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS); status=$$?; \
		grep -h '^\[  SKIPPED \] [A-Za-z]' Testing/Temporary/LastTest.log | sed 's/ (.*)$$//' | sort -u; exit $$status

# The release program, its resources, desktop entry and icon under PREFIX
# (DESTDIR honoured); the desktop's caches hear of them where they can.
PREFIX ?= /usr/local
install: all
	cmake --install build/release --prefix $(PREFIX)
	@if [ -z "$(DESTDIR)" ]; then \
		command -v update-desktop-database >/dev/null && update-desktop-database -q $(PREFIX)/share/applications || true; \
		command -v gtk-update-icon-cache >/dev/null && gtk-update-icon-cache -q -t $(PREFIX)/share/icons/hicolor || true; \
	fi

# The fake cloud service for trying the cloud features by hand: links
# HOME_DIR to it (stop tandry first), serves CLOUD_ROOT on port 8089.
CLOUD_ROOT ?= var/cloud
cloud-server:
	scripts/cloud-server --home $(HOME_DIR) --root $(CLOUD_ROOT)

# Every benchmark in bench/ on the release build, each against its targets:
# Google Benchmark programs, then the scripts that measure the running
# program against its peers. Ends non-zero when a target is missed. BENCH
# picks some by name and RUNS repeats them (scripts/bench):
#   make bench BENCH="folder_delete pdf_open_large" RUNS=3
# `make bench-quick` runs each at a reduced size, a check before a commit.
BENCH ?=
RUNS ?= 1
bench: deps build/bench/build.ninja
	@scripts/install-deps --bench
	cmake --build build/bench -j $(JOBS) --target benchmarks
	scripts/bench --build build/bench --runs $(RUNS) $(BENCH)

bench-quick: deps build/bench/build.ninja
	@scripts/install-deps --bench
	cmake --build build/bench -j $(JOBS) --target benchmarks
	scripts/bench --build build/bench --quick --runs $(RUNS) $(BENCH)

# libFuzzer binaries (clang, the Fuzz build type): build/fuzz/fuzz_<name>;
# only the fuzz programs and the libraries they link are built.
FUZZ_CC ?= clang-16
FUZZ_CXX ?= clang++-16
FUZZ_SECONDS ?= 20

# Configured every time, with the compiler named, so that a build/fuzz left
# by another compiler or build type is set up anew.
fuzz: deps
	cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Fuzz \
		-DCMAKE_C_COMPILER=$(FUZZ_CC) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX)
	cmake --build build/fuzz -j $(JOBS) --target fuzz_targets

# Every target for FUZZ_SECONDS on its committed corpus, JOBS at a time;
# fails on any finding (scripts/fuzz-smoke).
fuzz-smoke: fuzz
	scripts/fuzz-smoke build/fuzz $(FUZZ_SECONDS) $(JOBS)

clean:
	rm -rf build
