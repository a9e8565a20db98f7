# Thin wrapper over CMake: `make run` and `make test` are the quick start.
BUILD ?= build
ANSWERS = 6\n4.65\n4.32\n2.8\n
# Extra CMake settings, e.g. -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE.
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
# Debian's python3, which has Debian's NumPy (another python3 may come first on PATH).
PYTHON ?= /usr/bin/python3
SHELL := /bin/bash

.PHONY: all configure build run test bench plot fault install clean packages ci-packages

all: build

# The Debian packages of the goals asked for come from packages.list (ci:
# every package of the list); those missing are installed before CMake looks
# for the libraries (without root they are named and the goal goes on).
GOALS = $(if $(filter ci-packages,$(MAKECMDGOALS)),ALL,$(MAKECMDGOALS))
packages:
	@missing=(); \
	while read -r package what goals; do \
	  case "$$package" in ''|'#'*) continue ;; esac; \
	  wanted=; for g in $(GOALS); do [[ $$g == ALL || " $$goals " == *" $$g "* ]] && wanted=1; done; \
	  [ -n "$$wanted" ] || continue; \
	  if [[ $$what == /* ]]; then [ -e "$$what" ]; else command -v "$$what" >/dev/null; fi && continue; \
	  missing+=("$$package"); \
	done < packages.list; \
	if [ $${#missing[@]} -eq 0 ]; then exit 0; fi; \
	if [ "$$(id -u)" != 0 ]; then echo "missing Debian packages (as root: apt-get install $${missing[*]})"; exit 0; fi; \
	apt-get update -q && apt-get install -y -q "$${missing[@]}"

# What a clean CI machine lacks, installed once before the build.
ci-packages: packages

configure: packages
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

# Everything: the program, the fault tool, the tests and the benchmarks.
build: configure
	cmake --build $(BUILD) -j 2

# Run the program on the example answers in out/ and list what it wrote; of
# the 2,512 progress lines of the spectra only the first and the last show.
# Only the program is built.
run: configure
	cmake --build $(BUILD) -j 2 --target slipvel
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
	gnuplot -e "dir='out'" plot/slipvel.gp
	ls -l out/slipvel.png out/slipvel.svg

bench: build
	$(BUILD)/slipvel_bench
	bench/run_bench.sh $(BUILD)
	bench/run_fault_bench.sh $(BUILD)
	bench/scenario_bench.sh $(BUILD)
	bench/batch_bench.sh $(BUILD)
	if [ -d $(BUILD)/python ]; then $(PYTHON) bench/python_bench.py $(BUILD); fi

# The example fault: its SRF file, a summary of it and its pictures in out/
# (out/example.png and .svg, the map out/example-map.png and .pdf); then the
# scenario on the same plane, its derivation and its pictures
# (out/scenario.png and .svg), and the layered two-segment example the same
# way (out/segments*). Only the program and the fault tool are built.
fault: configure
	cmake --build $(BUILD) -j 2 --target slipvel slipvel-fault
	mkdir -p out
	$(BUILD)/slipvel-fault -o out/example.srf --csv out/example-subfaults.csv examples/fault.toml
	$(BUILD)/slipvel-fault info out/example.srf
	$(BUILD)/slipvel-fault plot --map -o out/example out/example.srf
	$(BUILD)/slipvel-fault -o out/scenario.srf --csv out/scenario-subfaults.csv examples/scenario.toml
	$(BUILD)/slipvel-fault info out/scenario.srf
	$(BUILD)/slipvel-fault plot -o out/scenario out/scenario.srf
	$(BUILD)/slipvel-fault -o out/segments.srf --csv out/segments-subfaults.csv examples/segments.toml
	$(BUILD)/slipvel-fault info out/segments.srf
	$(BUILD)/slipvel-fault plot --map -o out/segments out/segments.srf

# slipvel, slipvel-batch, their manual pages and the plot script under PREFIX,
# with slipvel-fault and the Python module slipvel where their libraries are
# there (the module in PREFIX/lib/python3.X/dist-packages).
install: configure
	cmake --build $(BUILD) -j 2 --target tools
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) out
