#pragma once
// W lanes of doubles (and of floats, and of their bits) as GCC vectors, with
// the few lane operations the vector paths share. Each instruction-set path
// instantiates these always-inline templates inside its own target
// function, so one source gives SSE2, AVX2 and AVX-512 code.
#include <immintrin.h>

#include <cstdint>

// Vector values pass only between always-inline functions of one path, so
// the calling-convention notes on wide vectors do not apply (in every file
// that includes this header: its paths instantiate the templates).
#pragma GCC diagnostic ignored "-Wpsabi"

template <int W>
struct Lanes {
  typedef double d __attribute__((vector_size(W * sizeof(double))));
  typedef float f __attribute__((vector_size(W * sizeof(float))));
  typedef std::int64_t i __attribute__((vector_size(W * sizeof(std::int64_t))));
  typedef std::uint64_t u __attribute__((vector_size(W * sizeof(std::uint64_t))));
};

// The bits of a vector seen as another vector type of the same size.
template <class To, class From>
[[gnu::always_inline]] inline To as(const From& v) {
  return __builtin_bit_cast(To, v);
}

// Float lanes widened to double (exact). GCC 12 widens vectors half by
// half; the conversion instructions take the whole register at once. The
// builtins (not the intrinsics) are expanded where they are finally inlined,
// inside the path of their instruction set.
[[gnu::always_inline]] inline Lanes<8>::d widen(const Lanes<8>::f& v) {
  return __builtin_ia32_cvtps2pd512_mask(v, Lanes<8>::d{}, static_cast<__mmask8>(-1),
                                         _MM_FROUND_CUR_DIRECTION);
}
[[gnu::always_inline]] inline Lanes<4>::d widen(const Lanes<4>::f& v) {
  return __builtin_ia32_cvtps2pd256(v);
}
[[gnu::always_inline]] inline Lanes<2>::d widen(const Lanes<2>::f& v) {
  Lanes<4>::f wide = {v[0], v[1]};
  return __builtin_ia32_cvtps2pd(wide);
}

// Double lanes rounded to float (to nearest, as a scalar cast rounds).
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::f narrow(const typename Lanes<W>::d& v) {
  return __builtin_convertvector(v, typename Lanes<W>::f);
}

// The value a double expression takes when stored in a float, widened back.
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::d stored(const typename Lanes<W>::d& v) {
  return widen(narrow<W>(v));
}

// Whether any lane has a bit set.
template <int W>
[[gnu::always_inline]] inline bool any(const typename Lanes<W>::u& m) {
  if constexpr (W == 1) {
    return m[0] != 0;
  } else {
    typedef typename Lanes<W / 2>::u half;
    half lo, hi;
    __builtin_memcpy(&lo, &m, sizeof lo);
    __builtin_memcpy(&hi, reinterpret_cast<const char*>(&m) + sizeof lo, sizeof hi);
    return any<W / 2>(lo | hi);
  }
}
