# Thin wrapper over CMake: `make run` and `make test` are the quick start.
BUILD ?= build
ANSWERS = 6\n4.65\n4.32\n2.8\n
# Extra CMake settings, e.g. -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE.
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
SHELL := /bin/bash

.PHONY: all build run test bench plot fault install clean packages ci-packages

all: build

# Debian packages of the goals asked for, as "file-or-command:package" pairs;
# `make packages` installs those that are missing before CMake looks for the
# libraries (without root it names them and goes on).
BATCH_PACKAGES = parallel:parallel rsync:rsync ssh:openssh-client
FAULT_PACKAGES = pkg-config:pkg-config /usr/include/toml++/toml.h:libtomlplusplus-dev \
  /usr/include/GeographicLib/Geodesic.hpp:libgeographiclib-dev gnuplot:gnuplot-nox \
  gmt:gmt /usr/share/gmt-gshhg/binned_GSHHS_l.nc:gmt-gshhg-low
NEEDS_test = /usr/include/gtest/gtest.h:libgtest-dev $(BATCH_PACKAGES) $(FAULT_PACKAGES) \
  /usr/sbin/sshd:openssh-server man:man-db geod:proj-bin xmllint:libxml2-utils
NEEDS_bench = /usr/include/benchmark/benchmark.h:libbenchmark-dev $(BATCH_PACKAGES) $(FAULT_PACKAGES) \
  hyperfine:hyperfine /usr/bin/time:time
NEEDS_install = $(BATCH_PACKAGES) $(FAULT_PACKAGES)
NEEDS_fault = $(FAULT_PACKAGES)
# CI also builds the benchmarks, drops privileges in the read-only tests and
# runs the fuzz targets (clang with its libFuzzer runtime).
NEEDS_ci-packages = $(NEEDS_test) $(NEEDS_bench) cmake:cmake g++:g++ setpriv:util-linux clang++-14:clang-14 \
  /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev
NEEDS = $(sort $(foreach goal,$(MAKECMDGOALS),$(NEEDS_$(goal))))

packages:
	@missing=(); \
	for need in $(NEEDS); do \
	  what=$${need%%:*}; \
	  if [[ $$what == /* ]]; then [ -e "$$what" ]; else command -v "$$what" >/dev/null; fi && continue; \
	  missing+=("$${need#*:}"); \
	done; \
	if [ $${#missing[@]} -eq 0 ]; then exit 0; fi; \
	if [ "$$(id -u)" != 0 ]; then echo "missing Debian packages (as root: apt-get install $${missing[*]})"; exit 0; fi; \
	apt-get update -q && apt-get install -y -q "$${missing[@]}"

# What a clean CI machine lacks, installed once before the build.
ci-packages: packages

build: packages
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j 2

# Run the program on the example answers in out/ and list what it wrote; of
# the 2,512 progress lines of the spectra only the first and the last show.
run: build
	mkdir -p out
	@echo "cd out && printf '$(ANSWERS)' | ../$(BUILD)/slipvel"
	@set -o pipefail; cd out && printf '$(ANSWERS)' | ../$(BUILD)/slipvel | awk \
	  '/^ i,om=/ { if (!n++) print; else last = $$0; next } \
	   function flush() { if (n > 2) printf " ... %d progress lines ...\n", n - 2; if (n > 1) print last; n = 0 } \
	   { flush(); print } END { flush() }'
	ls -l out

test: build
	cd $(BUILD) && ctest --output-on-failure -j 2 --no-tests=error

# Plot the example run as out/slipvel.png and out/slipvel.svg (gnuplot-nox).
plot: run
	command -v gnuplot >/dev/null || { apt-get update -q && apt-get install -y -q gnuplot-nox; }
	gnuplot -e "dir='out'" plot/slipvel.gp
	ls -l out/slipvel.png out/slipvel.svg

bench: build
	$(BUILD)/slipvel_bench
	bench/run_bench.sh $(BUILD)
	bench/run_fault_bench.sh $(BUILD)
	bench/batch_bench.sh $(BUILD)

# The example fault: its SRF file, a summary of it and its pictures in out/
# (out/example.png and .svg, the map out/example-map.png and .pdf).
fault: build
	mkdir -p out
	$(BUILD)/slipvel-fault -o out/example.srf --csv out/example-subfaults.csv examples/fault.toml
	$(BUILD)/slipvel-fault info out/example.srf
	$(BUILD)/slipvel-fault plot --map -o out/example out/example.srf

# slipvel, slipvel-batch, their manual pages and the plot script under PREFIX.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) out
