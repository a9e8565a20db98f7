#pragma once
// The vector paths of the phases' cosines and sines, one per instruction
// set, and the choice of the widest one the processor runs. All paths give
// the same bits.

// Instruction sets with a path, narrowest first.
enum class Isa { sse2, avx2, avx512 };

// Whether this processor (and its operating system) runs the path.
bool isa_runs(Isa isa);

// The widest path this processor runs.
Isa widest_isa();

// c[k] = float(cos theta[k]), s[k] = float(sin theta[k]) for k < n on one
// path; returns how many phases were recomputed with std::cos/std::sin.
long phase_sincos(Isa isa, const float* theta, int n, float* c, float* s);
