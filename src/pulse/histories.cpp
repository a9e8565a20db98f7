#include "pulse/histories.h"

void slip_histories(int nt, float dt, const Samples& rate, Samples& slip, Samples& acc) {
  slip(1) = 0;
  acc(1) = 0;
  for (int i = 2; i <= nt; i++) {
    double v0 = rate(i - 1), v1 = rate(i);
    slip(i) = static_cast<float>((v1 + v0) * dt / 2 + slip(i - 1));
    acc(i) = static_cast<float>((v1 - v0) / dt);
  }
}
