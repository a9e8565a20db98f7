# Thin wrapper over CMake: `make run` and `make test` are the quick start.
BUILD ?= build
ANSWERS = 6\n4.65\n4.32\n2.8\n

.PHONY: all build run test bench plot clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j 2

# Run the program on the example answers in out/ and list what it wrote.
run: build
	mkdir -p out
	cd out && printf '$(ANSWERS)' | ../$(BUILD)/slipvel
	ls -l out

test: build
	cd $(BUILD) && ctest --output-on-failure -j 2

# Plot the example run as out/slipvel.png and out/slipvel.svg (gnuplot-nox).
plot: run
	command -v gnuplot >/dev/null || { apt-get update -q && apt-get install -y -q gnuplot-nox; }
	gnuplot -e "dir='out'" plot/slipvel.gp
	ls -l out/slipvel.png out/slipvel.svg

bench: build
	$(BUILD)/slipvel_bench
	bench/run_bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) out
