// Cosine and sine of a list of phases on each path, and the path choice.
#include "pulse/sincos_kernel.h"
#include "pulse/sincos_phases.h"

namespace {

// W phases at a time; the tail is padded with phase 0 (cos 1, sin 0).
template <int W>
[[gnu::always_inline]] inline long phases(const float* theta, int n, float* c,
                                          float* s) {
  typedef typename Lanes<W>::f vf;
  typedef typename Lanes<W>::u vu;
  long fallbacks = 0;
  for (int k0 = 0; k0 < n; k0 += W) {
    int m = n - k0 < W ? n - k0 : W;
    vf xf = {};
    __builtin_memcpy(&xf, theta + k0, m * sizeof(float));
    vf cf, sf;
    vu bad = sincos_lanes<W>(xf, cf, sf);
    if (any<W>(bad)) fallbacks += library_path<W>(xf, bad, cf, sf);
    __builtin_memcpy(c + k0, &cf, m * sizeof(float));
    __builtin_memcpy(s + k0, &sf, m * sizeof(float));
  }
  return fallbacks;
}

[[gnu::target("avx512f")]] long phases_avx512(const float* theta, int n, float* c, float* s) {
  return phases<8>(theta, n, c, s);
}

[[gnu::target("avx2")]] long phases_avx2(const float* theta, int n, float* c, float* s) {
  return phases<4>(theta, n, c, s);
}

long phases_sse2(const float* theta, int n, float* c, float* s) {
  return phases<2>(theta, n, c, s);
}

}  // namespace

bool isa_runs(Isa isa) {
  switch (isa) {
    case Isa::avx512: return __builtin_cpu_supports("avx512f");
    case Isa::avx2: return __builtin_cpu_supports("avx2");
    case Isa::sse2: return true;  // every x86-64
  }
  return false;
}

Isa widest_isa() {
  if (isa_runs(Isa::avx512)) return Isa::avx512;
  if (isa_runs(Isa::avx2)) return Isa::avx2;
  return Isa::sse2;
}

long phase_sincos(Isa isa, const float* theta, int n, float* c, float* s) {
  switch (isa) {
    case Isa::avx512: return phases_avx512(theta, n, c, s);
    case Isa::avx2: return phases_avx2(theta, n, c, s);
    case Isa::sse2: break;
  }
  return phases_sse2(theta, n, c, s);
}
