# Thin wrapper over CMake: `make run`, `make test`, `make bench`.

JOBS ?= $(shell nproc)
HOME_DIR ?= var/home
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_SLOPPINESS := pch_defines,time_macros,include_file_mtime,include_file_ctime

.PHONY: all run test bench fuzz deps clean

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

test: deps build/test/build.ninja
	cmake --build build/test -j $(JOBS)
	cd build/test && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# Google Benchmark programs, then the scripts that measure the running
# program against its peers (bench/*.sh and bench/*/*.sh, given BUILD).
bench: deps build/bench/build.ninja
	@scripts/install-deps --bench
	cmake --build build/bench -j $(JOBS)
	@set -e; found=0; for b in build/bench/bench/bench_*; do \
		[ -x "$$b" ] || continue; found=1; echo "== $$b"; "$$b"; done; \
		[ $$found = 1 ] || echo "no benchmarks yet"
	@set -e; for s in bench/*.sh bench/*/*.sh; do case $$s in bench/lib/*) continue ;; esac; \
		echo "== $$s"; "$$s" build/bench; done

# libFuzzer binaries (clang): build/fuzz/fuzz_<name>
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDRY_FUZZ=ON \
		-DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -g"
	cmake --build build/fuzz -j $(JOBS)

clean:
	rm -rf build
