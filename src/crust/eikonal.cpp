#include "crust/eikonal.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double far_time = std::numeric_limits<double>::infinity();

// Node states: far (no time yet), trial (a time that may still fall),
// accepted (final); `fixed` marks a given time that no update changes.
enum : uint8_t { far = 0, trial = 1, accepted = 2, fixed = 4 };

// Fast marching on the fine grid: every node's time from its accepted
// neighbours by the upwind first-order scheme, nodes accepted in order of
// time from a binary heap.
class March {
 public:
  March(const EikonalGrid& g, int refine, const FineSlowness& rows)
      : nx_(static_cast<long>(g.nx) * refine),
        ny_(static_cast<long>(g.ny) * refine),
        hx_(g.hx / refine),
        hy_(g.hy / refine),
        slow_(rows.s),
        t_(static_cast<size_t>(nx_ * ny_), far_time),
        state_(static_cast<size_t>(nx_ * ny_), far),
        pos_(static_cast<size_t>(nx_ * ny_), -1) {}

  // T = T0 tau with T0 = s0 |x - (x0, y0)|.
  void factor_about(double x0, double y0, double s0) {
    factored_ = true;
    x0_ = x0, y0_ = y0, s0_ = s0;
  }

  long nx() const { return nx_; }
  long ny() const { return ny_; }
  double x(long a) const { return (static_cast<double>(a) + 0.5) * hx_; }
  double y(long b) const { return (static_cast<double>(b) + 0.5) * hy_; }

  // A node whose time is given.
  void start(long n, double t) {
    if (state_[static_cast<size_t>(n)] & fixed && t >= t_[static_cast<size_t>(n)]) return;
    t_[static_cast<size_t>(n)] = t;
    state_[static_cast<size_t>(n)] = trial | fixed;
    place(n);
  }

  void run() {
    while (!heap_.empty()) {
      long n = pop();
      state_[static_cast<size_t>(n)] = accepted;
      long a = n % nx_, b = n / nx_;
      if (a > 0) update(n - 1);
      if (a + 1 < nx_) update(n + 1);
      if (b > 0) update(n - nx_);
      if (b + 1 < ny_) update(n + nx_);
    }
  }

  double time(long n) const { return t_[static_cast<size_t>(n)]; }

 private:
  // The reference time T0 at node n and its gradient.
  void reference(long n, double& t0, double& px, double& py) const {
    double dx = x(n % nx_) - x0_, dy = y(n / nx_) - y0_, r = std::hypot(dx, dy);
    t0 = s0_ * r;
    px = r > 0 ? s0_ * dx / r : 0;
    py = r > 0 ? s0_ * dy / r : 0;
  }

  // Node n is updated in factored form only where the speed is the
  // source's: elsewhere the reference's direction may be far from the
  // front's (a head wave), and a one-sided update that takes it for the
  // other axis's gradient would make the front too early.
  bool factored_at(long n) const { return factored_ && slow_[static_cast<size_t>(n / nx_)] == s0_; }

  // The unknown of neighbour m for node n's update: tau = T / T0, or T.
  double unknown(long m, bool factored) const {
    if (!factored) return t_[static_cast<size_t>(m)];
    double t0, px, py;
    reference(m, t0, px, py);
    return t0 > 0 ? t_[static_cast<size_t>(m)] / t0 : 1;
  }

  // The accepted neighbour of n with the smaller time along one axis (-1:
  // none) and the side it lies on: +1 behind (smaller x or y), -1 ahead.
  long upwind(long n, long step, bool has_before, bool has_after, double& side) const {
    long best = -1;
    if (has_before && state_[static_cast<size_t>(n - step)] == accepted) best = n - step, side = 1;
    if (has_after && state_[static_cast<size_t>(n + step)] == accepted &&
        (best < 0 || t_[static_cast<size_t>(n + step)] < t_[static_cast<size_t>(best)]))
      best = n + step, side = -1;
    return best;
  }

  void update(long n) {
    if (state_[static_cast<size_t>(n)] & (accepted | fixed)) return;
    long a = n % nx_, b = n / nx_;
    double sx = 0, sy = 0;
    long mx = upwind(n, 1, a > 0, a + 1 < nx_, sx);
    long my = upwind(n, nx_, b > 0, b + 1 < ny_, sy);
    double s = slow_[static_cast<size_t>(b)];
    bool factored = factored_at(n);
    double t0 = 1, px = 0, py = 0;  // unfactored: T0 = 1, tau = T
    if (factored) reference(n, t0, px, py);
    double tx = mx >= 0 ? unknown(mx, factored) : 0, ty = my >= 0 ? unknown(my, factored) : 0;
    // One candidate: the directions used have a one-sided difference of
    // tau, the others none; the larger root of |A tau - B|^2 = s^2.
    auto solve = [&](bool use_x, bool use_y) {
      double ax = px + (use_x ? sx * t0 / hx_ : 0), bx = use_x ? sx * t0 * tx / hx_ : 0;
      double ay = py + (use_y ? sy * t0 / hy_ : 0), by = use_y ? sy * t0 * ty / hy_ : 0;
      double aa = ax * ax + ay * ay;
      double cross = ax * by - ay * bx;  // |A|^2 |B|^2 - (A.B)^2 = cross^2: no cancellation
      double disc = aa * s * s - cross * cross;
      if (aa == 0 || disc < 0) return far_time;
      double tau = (ax * bx + ay * by + std::sqrt(disc)) / aa;
      double t = t0 * tau;
      // Upwind: the front moves away from each neighbour used, which it
      // reached first.
      auto downstream = [&](double side, double av, double bv, long m) {
        double g = side * (av * tau - bv);
        double scale = std::fabs(av * tau) + std::fabs(bv);
        return g >= -1e-12 * scale && t >= t_[static_cast<size_t>(m)] * (1 - 1e-12);
      };
      if (use_x && !downstream(sx, ax, bx, mx)) return far_time;
      if (use_y && !downstream(sy, ay, by, my)) return far_time;
      return t;
    };
    double t = far_time;
    if (mx >= 0 && my >= 0) t = solve(true, true);
    if (t == far_time) {
      if (mx >= 0) t = std::min(t, solve(true, false));
      if (my >= 0) t = std::min(t, solve(false, true));
    }
    // Straight from a neighbour: an upper bound that always holds.
    if (t == far_time) {
      if (mx >= 0) t = std::min(t, t_[static_cast<size_t>(mx)] + s * hx_);
      if (my >= 0) t = std::min(t, t_[static_cast<size_t>(my)] + s * hy_);
    }
    if (!(t < t_[static_cast<size_t>(n)])) return;
    t_[static_cast<size_t>(n)] = t;
    state_[static_cast<size_t>(n)] = trial;
    place(n);
  }

  // The binary heap of trial nodes by time, pos_ each node's place in it.
  bool less(size_t i, size_t j) const {
    return t_[static_cast<size_t>(heap_[i])] < t_[static_cast<size_t>(heap_[j])];
  }
  void set(size_t i, int32_t n) {
    heap_[i] = n;
    pos_[static_cast<size_t>(n)] = static_cast<int32_t>(i);
  }
  void place(long n) {
    int32_t p = pos_[static_cast<size_t>(n)];
    size_t i;
    if (p < 0) {
      i = heap_.size();
      heap_.push_back(static_cast<int32_t>(n));
      pos_[static_cast<size_t>(n)] = static_cast<int32_t>(i);
    } else {
      i = static_cast<size_t>(p);
    }
    // A time only falls: the node rises.
    while (i > 0 && less(i, (i - 1) / 2)) {
      int32_t up = heap_[(i - 1) / 2];
      set((i - 1) / 2, heap_[i]);
      set(i, up);
      i = (i - 1) / 2;
    }
  }
  long pop() {
    int32_t top = heap_[0];
    pos_[static_cast<size_t>(top)] = -1;
    int32_t last = heap_.back();
    heap_.pop_back();
    if (!heap_.empty()) {
      set(0, last);
      for (size_t i = 0;;) {
        size_t l = 2 * i + 1, r = l + 1, m = i;
        if (l < heap_.size() && less(l, m)) m = l;
        if (r < heap_.size() && less(r, m)) m = r;
        if (m == i) break;
        int32_t down = heap_[m];
        set(m, heap_[i]);
        set(i, down);
        i = m;
      }
    }
    return top;
  }

  long nx_, ny_;
  double hx_, hy_;
  const std::vector<double>& slow_;
  std::vector<double> t_;
  std::vector<uint8_t> state_;
  std::vector<int32_t> pos_;
  std::vector<int32_t> heap_;
  bool factored_ = false;
  double x0_ = 0, y0_ = 0, s0_ = 0;
};

// The times at the subfault centres: fine node (i r + r/2, j r + r/2).
std::vector<double> centre_times(const March& m, const EikonalGrid& g, int refine) {
  std::vector<double> out;
  out.reserve(static_cast<size_t>(g.nx) * static_cast<size_t>(g.ny));
  for (long j = 0; j < g.ny; j++)
    for (long i = 0; i < g.nx; i++) out.push_back(m.time((j * refine + refine / 2) * m.nx() + i * refine + refine / 2));
  return out;
}

}  // namespace

int eikonal_refinement(const EikonalGrid& g) {
  const double nodes = static_cast<double>(g.nx) * g.ny;
  int r = 15;
  while (r > 1 && nodes * r * r > 1 << 20) r -= 2;
  return r;
}

std::vector<double> solve_from_point(const EikonalGrid& g, double x0, double y0, double source_slowness,
                                     const FineSlowness& rows, int refine) {
  March m(g, refine, rows);
  m.factor_about(x0, y0, source_slowness);
  // The nodes within one fine step of the source in each direction take
  // their straight distance at the source's speed: at least one node, and
  // the scheme never meets the reference's kink at the source.
  const double hx = g.hx / refine, hy = g.hy / refine;
  long a0 = std::max(0L, static_cast<long>(std::floor(x0 / hx - 1.5)));
  long b0 = std::max(0L, static_cast<long>(std::floor(y0 / hy - 1.5)));
  for (long b = b0; b < m.ny() && b <= b0 + 3; b++)
    for (long a = a0; a < m.nx() && a <= a0 + 3; a++) {
      double dx = m.x(a) - x0, dy = m.y(b) - y0;
      if (std::fabs(dx) <= hx && std::fabs(dy) <= hy) m.start(b * m.nx() + a, source_slowness * std::hypot(dx, dy));
    }
  m.run();
  return centre_times(m, g, refine);
}

std::vector<double> solve_from_starts(const EikonalGrid& g, const std::vector<FrontStart>& starts,
                                      const FineSlowness& rows, int refine) {
  March m(g, refine, rows);
  for (const FrontStart& s : starts) {
    long i = s.index % g.nx, j = s.index / g.nx;
    m.start((j * refine + refine / 2) * m.nx() + i * refine + refine / 2, s.t);
  }
  m.run();
  return centre_times(m, g, refine);
}
