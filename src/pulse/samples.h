#pragma once
// Sample arrays of the run: fixed capacity, indexed from 1 as the physics
// numbers its samples (sample i lies at time (i - 1) * dt).

constexpr int capacity = 2000;  // slots per array
constexpr int nt_grid = 1001;   // samples in use: 0 to 10 s

struct Samples {
  float v[capacity] = {};
  float& operator()(int i) { return v[i - 1]; }
  float operator()(int i) const { return v[i - 1]; }
};
