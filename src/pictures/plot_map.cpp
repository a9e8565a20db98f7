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
#include "sys/text_format.h"
#include "srf/magnitude.h"

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

// A round step of the ticks for `span` degrees, about four to a side, in
// degrees, arc minutes or arc seconds (1, 2, 5, 10, 15, 20 or 30 of them),
// as GMT's -B takes it: "a5mf1m".
std::string geographic_step(double span) {
  struct Step {
    double degrees;
    const char *annotation, *frame;
  };
  static const Step steps[] = {
      {1 / 3600.0, "1s", "0.5s"}, {2 / 3600.0, "2s", "1s"},   {5 / 3600.0, "5s", "1s"},  {10 / 3600.0, "10s", "2s"},
      {15 / 3600.0, "15s", "5s"}, {30 / 3600.0, "30s", "10s"}, {1 / 60.0, "1m", "15s"},   {2 / 60.0, "2m", "30s"},
      {5 / 60.0, "5m", "1m"},     {10 / 60.0, "10m", "2m"},   {15 / 60.0, "15m", "5m"},  {20 / 60.0, "20m", "5m"},
      {30 / 60.0, "30m", "10m"},  {1, "1", "0.25"},           {2, "2", "0.5"},           {5, "5", "1"},
      {10, "10", "2"},            {15, "15", "5"},            {30, "30", "10"},          {60, "60", "15"}};
  for (const Step& s : steps)
    if (span / s.degrees <= 5) return std::string("a") + s.annotation + "f" + s.frame;
  return "a60f15";
}

class MapWriter {
 public:
  MapWriter(const FaultFacts& facts, const std::string& title)
      : f_(facts), title_(title), folder_("slipvel-fault-map"),
        reference_lon_(normal_longitude(f_.header.planes.empty() ? f_.points[0].lon : f_.header.planes[0].elon)) {}

  void draw(AtomicFile& png, AtomicFile& pdf) {
    write_slips();
    if (f_.on_planes) write_outlines();
    write_epicentre();
    write_rupture_times();
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
    // A steep plane's cells are narrow across the strike; at least half
    // their length, so that a vertical fault shows as a band in its slip's
    // colours instead of a bare line.
    const double half_down = half * std::max(0.5, std::cos(radians(f_.mean_dip)));
    // Unit steps (east, north) along strike and down dip at the surface.
    const double se = std::sin(strike), sn = std::cos(strike), de = std::cos(strike), dn = -std::sin(strike);
    TextFile out(folder_.file("slip.txt"));
    char header[48];
    for (long n : order) {
      const PointFacts& p = f_.points[n];
      const double lon = near(p.lon);
      std::snprintf(header, sizeof header, "> -Z%.6g\n", static_cast<double>(p.slip));
      out.text(header);
      // A cell of a few km: a local flat map of the ellipsoid draws it well.
      const double km_lat = 1 / (mean_earth_radius_km * radians(1)), km_lon = km_lat / std::max(1e-6, std::cos(radians(p.lat)));
      for (auto [a, d] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
        double east = a * half * se + d * half_down * de, north = a * half * sn + d * half_down * dn;
        out.line(lon + east * km_lon, p.lat + north * km_lat);
      }
      region_.add(lon, p.lat);
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
        outline.line(near(p.lon), p.lat);
        region_.add(near(p.lon), p.lat);
      }
      top.text(">\n");
      top.line(near(a.lon), a.lat);
      top.line(near(b.lon), b.lat);
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
    out.line(near(e.lon), e.lat);
    out.close();
  }

  // The rupture times at the subfaults' surface positions, for contours:
  // only where the projection spreads the plane (not a steep plane, whose
  // rows project onto one line, nor a plane of one row or column).
  void write_rupture_times() {
    contour_step_ = 0;
    if (!f_.on_planes || f_.mean_dip > 75) return;
    for (const SrfPlane& s : f_.header.planes)
      if (s.nstk < 2 || s.ndip < 2) return;
    double latest = 0;
    TextFile out(folder_.file("tinit.txt"));
    for (const PointFacts& p : f_.points) {
      out.line(near(p.lon), p.lat, p.tinit);
      latest = std::max(latest, static_cast<double>(p.tinit));
    }
    out.close();
    if (latest > 0) contour_step_ = round_step(latest, 8);
  }

  // The map's title: the file, its magnitude and its mechanism.
  std::string title() const {
    const bool plane = !f_.header.planes.empty();
    std::string s = title_;
    if (f_.medium && f_.moment > 0) s += formatted("  Mw %.2f", moment_magnitude(f_.moment));
    s += formatted("  strike %g dip %g rake %g", plane ? f_.header.planes[0].stk : std::round(f_.mean_strike),
                   plane ? f_.header.planes[0].dip : std::round(f_.mean_dip), f_.rake);
    return s;
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
    // A frame of sensible shape: the fault's extent made at least three
    // quarters as wide as high and as high as wide (a north-south fault is
    // not a strip), then a margin of a third of it, at least 0.05 degrees.
    double mid = (region_.south + region_.north) / 2;
    double km_per_lon = radians(1) * mean_earth_radius_km * std::max(0.01, std::cos(radians(mid)));
    double km_per_lat = radians(1) * mean_earth_radius_km;
    double w = (region_.east - region_.west) * km_per_lon, h = (region_.north - region_.south) * km_per_lat;
    double side = std::max({w, h, 1.0});
    double grow_lon = std::max(0.0, 0.75 * side - w) / 2 / km_per_lon;
    double grow_lat = std::max(0.0, 0.75 * side - h) / 2 / km_per_lat;
    double margin_km = std::max(side / 3, 0.05 * km_per_lat);
    double west = region_.west - grow_lon - margin_km / km_per_lon, east = region_.east + grow_lon + margin_km / km_per_lon;
    double south = std::max(-89.0, region_.south - grow_lat - margin_km / km_per_lat);
    double north = std::min(89.0, region_.north + grow_lat + margin_km / km_per_lat);
    double mid_lat = (south + north) / 2;
    double width_km = radians(east - west) * mean_earth_radius_km * std::cos(radians(mid_lat));
    double scale_km = round_step(width_km, 4);
    std::string region = formatted("-R%.6f/%.6f/%.6f/%.6f", west, east, south, north);
    std::string scale = formatted("-LjBL+c%.4f+w%gk+f+lkm+o0.5c/0.6c", mid_lat, scale_km);
    std::string cpt_range = formatted("-T0/%.6g", slip_max_ > 0 ? slip_max_ : 1);

    gmt({"begin", "map", "png,pdf"});
    gmt({"set", "MAP_FRAME_TYPE", "plain", "FONT_TITLE", "13p", "FORMAT_GEO_MAP", "ddd:mm:ssF"});
    // Light for no slip, a dark brown (not black, so that the bold top edge
    // and the outline stay seen) for the largest; a uniform slip is all brown.
    gmt({"makecpt", "-C#ffffe5,#fee391,#fe9929,#cc4c02,#8c2d04", "-Z", cpt_range});
    gmt({"coast", region, "-JM" + std::to_string(map_width_cm) + "c", "-Dl", "-Ggray93", "-Slightsteelblue1",
         "-W0.3p,gray40", "-N1/0.4p,gray50", "-Bx" + geographic_step(east - west),
         "-By" + geographic_step(north - south), "-BWSne+t" + title(), scale});
    gmt({"plot", "slip.txt", "-L", "-C"});
    if (contour_step_ > 0) {
      std::string step = formatted("%g", contour_step_);
      gmt({"contour", "tinit.txt", "-C" + step, "-A" + step + "+f7p,gray15+u s", "-Gd5c", "-W0.6p,gray15"});
    }
    if (f_.on_planes) {
      // A steep plane's outline folds onto its top edge, which the band shows.
      if (f_.mean_dip <= 75) gmt({"plot", "outline.txt", "-W0.8p,black"});
      gmt({"plot", "top.txt", f_.mean_dip <= 75 ? "-W3p,black" : "-W1p,black"});
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

  // Every longitude drawn in one continuous interval around the first
  // plane's top centre (or the first point): a fault across the antimeridian
  // is drawn whole, whether its file writes 180.1 or -179.9.
  double near(double lon) const { return longitude_near(lon, reference_lon_); }

  const FaultFacts& f_;
  std::string title_;
  PrivateFolder folder_;
  double reference_lon_;
  double contour_step_ = 0;  // s; 0: no contours
  Region region_;
  double slip_max_ = 0;
};

}  // namespace

void draw_map(const FaultFacts& facts, const std::string& title, AtomicFile& png, AtomicFile& pdf) {
  MapWriter(facts, title).draw(png, pdf);
}
