// Exhaustive check of the texts of reals: every one of the 2^32 float bit
// patterns through each field kind and width the layouts use and through the
// free-format item, compared character for character with the C library's
// formatted print. Run by hand (tens of minutes on two cores):
//   render_check [threads [first last]]   bit patterns first..last, in hex
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/printf_reference.h"
#include "records/fixed_format.h"
#include "records/free_format.h"

namespace {

struct Kind {
  const char* name;
  char kind;  // 'f' fixed point, 'e' exponent, 'g' free-format item
  int w, d;
};

// The fields of the four files and the free-format real item.
constexpr Kind kinds[] = {
    {"f8.2", 'f', 8, 2}, {"f8.4", 'f', 8, 4}, {"f15.5", 'f', 15, 5},
    {"f5.3", 'f', 5, 3}, {"e15.5", 'e', 15, 5}, {"%.9G item", 'g', 0, 0},
};
constexpr int nkinds = sizeof kinds / sizeof kinds[0];

std::atomic<uint64_t> checked[nkinds], unequal[nkinds];
std::mutex report;

// True when the two renderings agree; the first ten differences are shown.
bool compare(uint32_t bits, int k) {
  const Kind& kind = kinds[k];
  float x = std::bit_cast<float>(bits);
  char out[64];
  std::string want;
  int n;
  if (kind.kind == 'f') {
    n = fixed_point_text(out, x, kind.w, kind.d);
    want = printf_reference::fixed_point_field(x, kind.w, kind.d);
  } else if (kind.kind == 'e') {
    n = exponent_text(out, x, kind.w, kind.d);
    want = printf_reference::exponent_field(x, kind.w, kind.d);
  } else {
    n = render_real(out, x);
    want = printf_reference::real_item(x);
  }
  if (want.size() == static_cast<size_t>(n) && std::memcmp(want.data(), out, n) == 0) return true;
  if (unequal[k].fetch_add(1) < 10) {
    std::lock_guard<std::mutex> hold(report);
    std::printf("UNEQUAL %s %08x (%.9g): [%.*s] library [%s]\n", kind.name, bits,
                static_cast<double>(x), n, out, want.c_str());
  }
  return false;
}

// Blocks of 2^16 patterns handed out in turn, so both threads finish together.
std::atomic<uint64_t> next_block;

// Counts are kept per thread and added once: shared counters bumped per
// pattern would bounce their cache line between the cores.
void work(uint64_t first, uint64_t last) {
  constexpr uint64_t block = 1 << 16;
  uint64_t done = 0;
  for (;;) {
    uint64_t start = first + next_block.fetch_add(1) * block;
    if (start > last) break;
    uint64_t end = std::min(last, start + block - 1);
    for (uint64_t b = start; b <= end; b++)
      for (int k = 0; k < nkinds; k++) compare(static_cast<uint32_t>(b), k);
    done += end - start + 1;
  }
  for (auto& c : checked) c += done;
}

}  // namespace

int main(int argc, char** argv) {
  int threads = argc > 1 ? std::atoi(argv[1]) : 2;
  uint64_t first = argc > 3 ? std::strtoull(argv[2], nullptr, 16) : 0;
  uint64_t last = argc > 3 ? std::strtoull(argv[3], nullptr, 16) : 0xffffffffu;
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; t++) pool.emplace_back(work, first, last);
  for (auto& t : pool) t.join();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  bool equal = true;
  for (int k = 0; k < nkinds; k++) {
    std::printf("%-10s %llu patterns, %llu unequal\n", kinds[k].name,
                static_cast<unsigned long long>(checked[k]),
                static_cast<unsigned long long>(unequal[k]));
    equal = equal && unequal[k] == 0;
  }
  std::printf("%s; %d threads, %.0f s\n", equal ? "all equal" : "UNEQUAL", threads, seconds);
  return equal ? 0 : 1;
}
