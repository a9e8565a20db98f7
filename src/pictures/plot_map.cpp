#include "pictures/plot_map.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <vector>

#include "sys/child_process.h"
#include "sys/end_signal.h"
#include "srf/plane_geometry.h"
#include "pictures/plot_layout.h"
#include "sys/private_folder.h"
#include "sys/refusal.h"

const char* const gmt_packages = "Debian packages gmt and gmt-gshhg-low";

namespace {

constexpr double map_width_cm = 16;

class TextFile {
 public:
  explicit TextFile(const std::string& path) : path_(path), f_(std::fopen(path.c_str(), "w")) {
    if (!f_) throw Refusal(path + ": cannot create: " + std::strerror(errno), status_failed);
  }
  ~TextFile() {
    if (f_) std::fclose(f_);
  }
  void line(double a, double b, double c = NAN) {
    if (std::isnan(c)) std::fprintf(f_, "%.7f %.7f\n", a, b);
    else std::fprintf(f_, "%.7f %.7f %.6g\n", a, b, c);
  }
  void text(const char* t) { std::fputs(t, f_); }
  void close() {
    bool bad = std::ferror(f_) != 0;
    bad = std::fclose(f_) != 0 || bad;
    f_ = nullptr;
    if (bad) throw Refusal(path_ + ": write failed", status_failed);
  }

 private:
  std::string path_;
  std::FILE* f_;
};

struct Region {
  double west = INFINITY, east = -INFINITY, south = INFINITY, north = -INFINITY;
  void add(double lon, double lat) {
    west = std::min(west, lon);
    east = std::max(east, lon);
    south = std::min(south, lat);
    north = std::max(north, lat);
  }
};

class MapWriter {
 public:
  MapWriter(const FaultFacts& facts, const std::string& title) : f_(facts), title_(title), folder_("slipvel-fault-map") {}

  void draw(AtomicFile& png, AtomicFile& pdf) {
    write_slips();
    if (f_.on_planes) write_outlines();
    write_epicentre();
    check_end_signal();
    run_gmt();
    copy(folder_.file("map.png"), png);
    copy(folder_.file("map.pdf"), pdf);
  }

 private:
  // The subfaults' slips as the surface projections of their cells (squares
  // of the mean side, turned to the mean strike and shortened down dip by
  // cos(dip)), deepest first so that the shallow ones, drawn last, stay on
  // top where a steep plane's rows project onto each other.
  void write_slips() {
    std::vector<long> order(f_.points.size());
    std::iota(order.begin(), order.end(), 0L);
    std::stable_sort(order.begin(), order.end(),
                     [&](long a, long b) { return f_.points[a].dep > f_.points[b].dep; });
    const double half = f_.mean_side / 2, strike = radians(f_.mean_strike);
    const double half_down = half * std::cos(radians(f_.mean_dip));
    // Unit steps (east, north) along strike and down dip at the surface.
    const double se = std::sin(strike), sn = std::cos(strike), de = std::cos(strike), dn = -std::sin(strike);
    TextFile out(folder_.file("slip.txt"));
    char header[48];
    for (long n : order) {
      const PointFacts& p = f_.points[n];
      std::snprintf(header, sizeof header, "> -Z%.6g\n", static_cast<double>(p.slip));
      out.text(header);
      // A cell of a few km: a local flat map of the ellipsoid draws it well.
      const double km_lat = 1 / (mean_earth_radius_km * radians(1)), km_lon = km_lat / std::max(1e-6, std::cos(radians(p.lat)));
      for (auto [a, d] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
        double east = a * half * se + d * half_down * de, north = a * half * sn + d * half_down * dn;
        out.line(p.lon + east * km_lon, p.lat + north * km_lat);
      }
      region_.add(p.lon, p.lat);
      slip_max_ = std::max(slip_max_, static_cast<double>(p.slip));
    }
    out.close();
  }

  void write_outlines() {
    TextFile outline(folder_.file("outline.txt")), top(folder_.file("top.txt"));
    for (const SrfPlane& s : f_.header.planes) {
      LonLat a = surface_position(s, -s.len / 2, 0), b = surface_position(s, s.len / 2, 0);
      LonLat c = surface_position(s, s.len / 2, s.wid), d = surface_position(s, -s.len / 2, s.wid);
      outline.text(">\n");
      for (const LonLat& p : {a, b, c, d, a}) {
        outline.line(p.lon, p.lat);
        region_.add(p.lon, p.lat);
      }
      top.text(">\n");
      top.line(a.lon, a.lat);
      top.line(b.lon, b.lat);
    }
    outline.close();
    top.close();
  }

  // Above the PLANE's hypocentre, else above the point reached first.
  void write_epicentre() {
    LonLat e;
    if (f_.hypocentre.segment >= 0) {
      const SrfPlane& s = f_.header.planes[f_.hypocentre.segment];
      e = surface_position(s, s.shyp, s.dhyp);
    } else {
      const PointFacts& p = f_.points[f_.telling[0].index];
      e = {p.lon, p.lat};
    }
    TextFile out(folder_.file("epicentre.txt"));
    out.line(e.lon, e.lat);
    out.close();
  }

  void gmt(std::vector<std::string> args) {
    args.insert(args.begin(), "gmt");
    // HOME and GMT_USERDIR point into the private folder too: modern mode
    // keeps its session under the user folder, and two runs at once must
    // not share one.
    const std::string& dir = folder_.path();
    run_child({args, gmt_packages, dir, {"HOME=" + dir, "GMT_USERDIR=" + dir, "GMT_TMPDIR=" + dir}});
    check_end_signal();
  }

  void run_gmt() {
    // A margin of a third of the fault's extent around it, at least 0.05 degrees.
    double margin = std::max(0.05, std::max(region_.east - region_.west, region_.north - region_.south) / 3);
    double west = region_.west - margin, east = region_.east + margin;
    double south = std::max(-89.0, region_.south - margin), north = std::min(89.0, region_.north + margin);
    double mid_lat = (south + north) / 2;
    double width_km = radians(east - west) * mean_earth_radius_km * std::cos(radians(mid_lat));
    double scale_km = round_step(width_km, 4);
    char region[160], scale[120], cpt_range[64];
    std::snprintf(region, sizeof region, "-R%.6f/%.6f/%.6f/%.6f", west, east, south, north);
    std::snprintf(scale, sizeof scale, "-LjBL+c%.4f+w%gk+f+lkm+o0.5c/0.6c", mid_lat, scale_km);
    std::snprintf(cpt_range, sizeof cpt_range, "-T0/%.6g", slip_max_ > 0 ? slip_max_ : 1);

    gmt({"begin", "map", "png,pdf"});
    gmt({"set", "MAP_FRAME_TYPE", "plain", "FONT_TITLE", "13p", "FORMAT_GEO_MAP", "ddd.xxF"});
    gmt({"makecpt", "-Chot", "-I", cpt_range});
    gmt({"coast", region, "-JM" + std::to_string(map_width_cm) + "c", "-Dl", "-Ggray93", "-Slightsteelblue1",
         "-W0.3p,gray40", "-N1/0.4p,gray50", "-Baf", "-BWSne+t" + title_, scale});
    gmt({"plot", "slip.txt", "-L", "-C"});
    if (f_.on_planes) {
      gmt({"plot", "outline.txt", "-W0.8p,black"});
      gmt({"plot", "top.txt", "-W3p,black"});
    }
    gmt({"plot", "epicentre.txt", "-Sa0.6c", "-Gwhite", "-W0.8p,black"});  // white: seen on every slip colour
    gmt({"colorbar", "-DJMR+w8c+o0.8c/0c", "-Bxaf+lslip (cm)"});
    gmt({"end"});
  }

  void copy(const std::string& from, AtomicFile& to) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) throw Refusal("GMT wrote no " + from.substr(from.rfind('/') + 1), status_failed);
    std::FILE* out = std::fopen(to.temp_path().c_str(), "wb");
    if (!out) {
      std::fclose(in);
      throw Refusal(to.target() + ": cannot open: " + std::strerror(errno), status_failed);
    }
    char chunk[1 << 16];
    size_t n;
    bool bad = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bad |= std::fwrite(chunk, 1, n, out) != n;
    bad |= std::ferror(in) != 0;
    std::fclose(in);
    bad = std::fclose(out) != 0 || bad;
    if (bad) throw Refusal(to.target() + ": write failed", status_failed);
  }

  const FaultFacts& f_;
  std::string title_;
  PrivateFolder folder_;
  Region region_;
  double slip_max_ = 0;
};

}  // namespace

void draw_map(const FaultFacts& facts, const std::string& title, AtomicFile& png, AtomicFile& pdf) {
  MapWriter(facts, title).draw(png, pdf);
}
