// The SRF reader on a file the size of the larger shared example (6,500
// points of 2.0, 1 to 68 samples each, some 39,000 lines), written here in
// the common writers' layout: time per file and points a second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "srf/srf_file.h"

namespace {

std::string write_example() {
  char name[] = "/tmp/slipvel-bench-XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) std::abort();
  std::FILE* f = fdopen(fd, "w");
  std::fprintf(f, "2.0\nPLANE 1\n%12.6f %11.6f %5d %5d %10.4f %10.4f\n%4.0f %4.0f %10.4f %10.4f %10.4f\n",
               -122.0, 37.8, 100, 65, 20.0, 13.0, 90.0, 70.0, 0.0, 0.0, 10.0);
  std::fprintf(f, "POINTS 6500\n");
  for (int k = 0; k < 6500; k++) {
    int nt = 1 + (k * 37) % 68;
    std::fprintf(f, "%12.6f %11.6f %12.5e %4.0f %4.0f %12.5e %13.6e %12.5e %13.5e %13.5e\n",
                 -122.0 + k * 1e-4, 37.8, 1.0 + k * 1e-3, 90.0, 70.0, 4e8, k * 2e-3, 0.025, 3e5, 2.7);
    std::fprintf(f, "%4.0f %10.4f %6d %10.4f %6d %10.4f %6d\n", 20.0, 0.025 * 100 * nt, nt, 0.0, 0, 0.0, 0);
    for (int i = 0; i < nt; i++) std::fprintf(f, "%13.5e%s", 100.0, i % 6 == 5 || i == nt - 1 ? "\n" : "");
  }
  std::fclose(f);
  return name;
}

// Removed when the benchmarks end (the function runs once per trial).
struct ExampleFile {
  std::string path = write_example();
  ~ExampleFile() { unlink(path.c_str()); }
};

struct Count : SrfVisitor {
  long points = 0;
  void point(const SrfPoint&) override { points++; }
};

void BM_read_srf(benchmark::State& state) {
  static const ExampleFile file;
  const std::string& path = file.path;
  long points = 0;
  for (auto _ : state) {
    Count c;
    read_srf(path, c);
    points += c.points;
  }
  state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_read_srf)->Unit(benchmark::kMillisecond);

}  // namespace
