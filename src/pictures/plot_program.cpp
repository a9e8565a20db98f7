#include "pictures/plot_program.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "pictures/plot_layout.h"
#include "srf/plane_geometry.h"
#include "sys/text_format.h"

namespace {

// Colours and point types of the four telling subfaults, by role.
const char* role_colour[] = {"#1f4fd6", "#d62728", "#1a9641", "#8e44ad"};
const int role_point[] = {6, 4, 8, 12};  // open circle, square, triangle, diamond
constexpr int max_cells = 250;

// Where each point is drawn: on its segment's plane, or projected.
struct Placement {
  int segment = 0;
  double x = 0, y = 0;
};

class FigureWriter {
 public:
  FigureWriter(const FaultFacts& facts, const FigureOutputs& out, TextSink& sink)
      : f_(facts), out_(out), sink_(sink) {
    if (!f_.on_planes) projected_ = project_points(f_);
    segments_ = f_.on_planes ? static_cast<int>(f_.header.planes.size()) : 1;
    std::vector<PlaneExtent> extents;
    for (int k = 0; k < segments_; k++) extents.push_back(extent(k));
    layout_ = lay_out_figure(extents);
    gather_ranges();
  }

  void write() {
    put("set encoding utf8\n");
    write_data();
    write_contours();
    write_figure("pngcairo", out_.png);
    write_figure("svg", out_.svg);
  }

 private:
  void put(const std::string& s) { sink_.put(s); }

  bool grid(int k) const {
    if (!f_.on_planes) return false;
    const SrfPlane& s = f_.header.planes[k];
    return s.nstk >= 2 && s.ndip >= 2;  // gnuplot's image and contours need a 2 x 2 grid
  }

  PlaneExtent extent(int k) const {
    if (f_.on_planes) return {f_.header.planes[k].len, f_.header.planes[k].wid};
    return {x_hi() - x_lo(), y_hi() - y_lo()};
  }
  // The projected points' frame: half a subfault beyond the outermost centres.
  double x_lo() const { return *std::min_element(projected_.x.begin(), projected_.x.end()) - f_.mean_side / 2; }
  double x_hi() const { return *std::max_element(projected_.x.begin(), projected_.x.end()) + f_.mean_side / 2; }
  double y_lo() const { return 0; }
  double y_hi() const { return *std::max_element(projected_.y.begin(), projected_.y.end()) + f_.mean_side / 2; }

  Placement place(long n) const {
    if (!f_.on_planes) return {0, projected_.x[n], projected_.y[n]};
    PlanePosition p = plane_position(f_, n);
    return {p.segment, p.x, p.y};
  }

  long first(int k) const { return f_.on_planes ? f_.segment_start[k] : 0; }
  long count(int k) const {
    if (!f_.on_planes) return static_cast<long>(f_.points.size());
    return static_cast<long>(f_.header.planes[k].nstk) * f_.header.planes[k].ndip;
  }

  void gather_ranges() {
    for (const PointFacts& p : f_.points) {
      slip_max_ = std::max(slip_max_, static_cast<double>(p.slip));
      peak_max_ = std::max(peak_max_, static_cast<double>(p.peak));
      duration_max_ = std::max(duration_max_, static_cast<double>(p.duration));
      tinit_max_ = std::max(tinit_max_, static_cast<double>(p.tinit));
    }
    contour_step_ = round_step(tinit_max_, 8);
  }

  // --- Data -----------------------------------------------------------------
  void write_data() {
    for (int k = 0; k < segments_; k++) {
      if (grid(k)) {
        write_matrix("slip", k, &PointFacts::slip);
        write_matrix("peak", k, &PointFacts::peak);
        write_matrix("duration", k, &PointFacts::duration);
        write_matrix("tinit", k, &PointFacts::tinit);
        write_contour_labels(k);
      } else {
        write_cells(k);
      }
    }
    for (size_t r = 0; r < f_.telling.size(); r++) write_rate(r);
  }

  // Cells of the drawn grid along strike and down dip: every subfault up to
  // 250 along a side; beyond, blocks of about equal counts (a panel is some
  // 410 px wide, and gnuplot's contours slow down with the number of cells).
  std::pair<int, int> cells(int k) const {
    const SrfPlane& s = f_.header.planes[k];
    int stride = (std::max(s.nstk, s.ndip) + max_cells - 1) / max_cells;
    auto along = [&](int n) { return std::max(std::min(n, 2), (n + stride - 1) / stride); };
    return {along(s.nstk), along(s.ndip)};
  }

  // The grid row by row from the top, each cell the mean of its subfaults.
  std::vector<double> block_means(int k, float PointFacts::*value) const {
    const SrfPlane& s = f_.header.planes[k];
    auto [nx, ny] = cells(k);
    std::vector<double> sum(static_cast<size_t>(nx) * ny, 0.0);
    std::vector<int> count(sum.size(), 0);
    long n = first(k);
    for (int j = 0; j < s.ndip; j++) {
      size_t row = static_cast<size_t>(static_cast<long>(j) * ny / s.ndip) * nx;
      for (int i = 0; i < s.nstk; i++, n++) {
        size_t c = row + static_cast<size_t>(static_cast<long>(i) * nx / s.nstk);
        sum[c] += f_.points[n].*value;
        count[c]++;
      }
    }
    for (size_t c = 0; c < sum.size(); c++) sum[c] /= count[c];
    return sum;
  }

  void write_matrix(const char* what, int k, float PointFacts::*value) {
    auto [nx, ny] = cells(k);
    std::vector<double> mean = block_means(k, value);
    char text[32];
    std::snprintf(text, sizeof text, "$%s%d << EOD\n", what, k);
    put(text);
    std::string line;
    for (int j = 0; j < ny; j++) {
      line.clear();
      for (int i = 0; i < nx; i++) {
        size_t c = static_cast<size_t>(j) * nx + i;
        std::snprintf(text, sizeof text, i ? " %.6g" : "%.6g", mean[c]);
        line += text;
      }
      line += '\n';
      put(line);
    }
    put("EOD\n");
  }

  // One line per point: x y slip peak duration tinit.
  void write_cells(int k) {
    put("$cells" + std::to_string(k) + " << EOD\n");
    char text[160];
    for (long n = first(k), end = first(k) + count(k); n < end; n++) {
      Placement at = place(n);
      const PointFacts& p = f_.points[n];
      std::snprintf(text, sizeof text, "%.6g %.6g %.6g %.6g %.6g %.6g\n", at.x, at.y, static_cast<double>(p.slip),
                    static_cast<double>(p.peak), static_cast<double>(p.duration), static_cast<double>(p.tinit));
      put(text);
    }
    put("EOD\n");
  }

  // Time since rupture start and slip rate; a subfault without samples is
  // drawn as a zero line over one step.
  void write_rate(size_t r) {
    const TellingSubfault& t = f_.telling[r];
    put("$rate" + std::to_string(r) + " << EOD\n");
    char text[64];
    if (t.rate.empty()) {
      std::snprintf(text, sizeof text, "%.6g 0\n%.6g 0\n", t.tinit, t.tinit + std::max(t.dt, 0.01));
      put(text);
    }
    for (size_t s = 0; s < t.rate.size(); s++) {
      std::snprintf(text, sizeof text, "%.7g %.6g\n", t.tinit + static_cast<double>(s) * t.dt,
                    static_cast<double>(t.rate[s]));
      put(text);
    }
    put("EOD\n");
  }

  // Where the rupture-time contours of segment k are labelled: points where
  // a level crosses the grid between two cell centres, away from the frame
  // (a label is never cut by it) and from every label placed before (none
  // runs into another), at most two per level.
  void write_contour_labels(int k) {
    put("$labels" + std::to_string(k) + " << EOD\n");
    if (tinit_max_ > 0) {
      auto [nx, ny] = cells(k);
      const SrfPlane& s = f_.header.planes[k];
      PlaneCells c = plane_cells(s, nx, ny);
      std::vector<double> t = block_means(k, &PointFacts::tinit);
      const Box& b = layout_.rows[k][0];
      double px = b.width() / s.len, py = b.height() / s.wid;  // pixels per km
      const double label_w = 46, label_h = 18;                   // a boxed "2.5 s", px
      std::vector<std::pair<double, double>> placed;
      for (double level = contour_step_; level < tinit_max_; level += contour_step_) {
        std::vector<std::pair<double, double>> at;  // crossings, km
        auto cross = [&](double a, double b2, double x0, double y0, double x1, double y1) {
          if ((a - level) * (b2 - level) >= 0 || a == b2) return;
          double f = (level - a) / (b2 - a);
          at.push_back({x0 + f * (x1 - x0), y0 + f * (y1 - y0)});
        };
        for (int j = 0; j < ny; j++)
          for (int i = 0; i < nx; i++) {
            double v = t[static_cast<size_t>(j) * nx + i];
            if (i + 1 < nx) cross(v, t[static_cast<size_t>(j) * nx + i + 1], c.along(i), c.down(j), c.along(i + 1), c.down(j));
            if (j + 1 < ny) cross(v, t[static_cast<size_t>(j + 1) * nx + i], c.along(i), c.down(j), c.along(i), c.down(j + 1));
          }
        int taken = 0;
        // From the middle of the level's crossings outwards: the first
        // labels sit well inside the line, not at its ends.
        for (size_t m = 0; m < at.size() && taken < 2; m++) {
          size_t q = at.size() / 2 + (m % 2 ? (m + 1) / 2 : -(m / 2));
          if (q >= at.size()) continue;
          auto [x, y] = at[q];
          double xp = (x + s.len / 2) * px, yp = y * py;
          if (xp < label_w / 2 + 4 || xp > b.width() - label_w / 2 - 4 || yp < label_h / 2 + 3 ||
              yp > b.height() - label_h / 2 - 3)
            continue;
          bool clear = true;
          for (auto [u, v] : placed) clear = clear && (std::fabs(u - xp) > label_w + 4 || std::fabs(v - yp) > label_h + 3);
          if (!clear) continue;
          placed.push_back({xp, yp});
          put(formatted("%.6g %.6g \"%g s\"\n", x, y, level));
          taken++;
        }
      }
    }
    put("EOD\n");
  }

  // Rupture-time contours of each grid, computed once as tables of lines.
  void write_contours() {
    if (!(tinit_max_ > 0)) return;
    put("set contour base\nunset surface\nset cntrparam linear\n");
    put("set cntrparam levels incremental 0, " + formatted("%.9g", contour_step_) + ", " +
        formatted("%.9g", tinit_max_) + "\n");
    for (int k = 0; k < segments_; k++) {
      if (!grid(k)) continue;
      put("set table $contour" + std::to_string(k) + "\n");
      put("splot $tinit" + std::to_string(k) + " matrix using " + to_km(k) + " with lines notitle\n");
      put("unset table\n");
    }
    put("unset contour\nset surface\n");
  }

  // Matrix columns and rows to the centres of the subfaults, km.
  std::string to_km(int k) const {
    auto [nx, ny] = cells(k);
    PlaneCells c = plane_cells(f_.header.planes[k], nx, ny);
    // The centres as PlaneCells::along and PlaneCells::down place them.
    return formatted("(%.9g + ($1 + 0.5) * %.9g):(($2 + 0.5) * %.9g):3", c.along_start, c.along_step, c.down_step);
  }

  // --- Figure -----------------------------------------------------------------
  void write_figure(const char* terminal, const std::string& path) {
    put(std::string("set terminal ") + terminal + " size " + std::to_string(layout_.width) + ", " +
        std::to_string(layout_.height) + " font \"Sans,11\" linewidth 1.2" +
        (std::string(terminal) == "svg" ? " background \"white\"" : "") + "\n");
    // Texts are set noenhanced one by one: a terminal without enhanced text
    // would drop the plots' titles from the SVG.
    put("set output " + gnuplot_string(path) + "\n");
    put("set style textbox opaque noborder margins 1, 1\n");
    put("set tics out nomirror\nset border lw 1\nunset key\n");
    put("set multiplot title " + gnuplot_string(figure_title()) + " noenhanced font \"Sans,13\"\n");
    for (int k = 0; k < segments_; k++) {
      plane_panel(k, 0);
      plane_panel(k, 1);
      plane_panel(k, 2);
    }
    functions_panel();
    put("unset multiplot\nunset output\n");
  }

  std::string figure_title() const {
    std::string name = out_.name;
    std::string s = name + "  (SRF " + f_.header.version + ", " + std::to_string(f_.header.planes.size()) +
                    (f_.header.planes.size() == 1 ? " segment, " : " segments, ") +
                    std::to_string(f_.points.size()) + (f_.points.size() == 1 ? " point, " : " points, ") + std::to_string(f_.points_with_samples) +
                    " with slip-rate samples)";
    std::string second = f_.on_planes ? "On the fault plane: along strike to the right, the top edge up"
                                      : "Drawn from the points' own positions (no usable PLANE): along the mean strike " +
                                            formatted("%.0f", f_.mean_strike) + " deg and down the mean dip " +
                                            formatted("%.0f", f_.mean_dip) + " deg";
    if (tinit_max_ > 0 && grid(0)) second += ";  rupture-time contours every " + formatted("%g", contour_step_) + " s";
    return s + "\n" + second;
  }

  std::string screen(const Box& b) const {
    double w = layout_.width, h = layout_.height;
    return "set lmargin at screen " + formatted("%.5f", b.left / w) + "; set rmargin at screen " +
           formatted("%.5f", b.right / w) + "; set tmargin at screen " + formatted("%.5f", 1 - b.top / h) +
           "; set bmargin at screen " + formatted("%.5f", 1 - b.bottom / h) + "\n";
  }

  std::string colour_box(const Box& b) const {
    double w = layout_.width, h = layout_.height;
    return "set colorbox user origin screen " + formatted("%.5f", (b.right + 14) / w) + ", screen " +
           formatted("%.5f", 1 - b.bottom / h) + " size screen " + formatted("%.5f", 16 / w) + ", screen " +
           formatted("%.5f", b.height() / h) + "\n";
  }

  struct SlipStats {
    double min = 0, mean = 0, max = 0;
  };
  SlipStats slip_stats(int k) const {
    SlipStats s;
    s.min = INFINITY;
    double sum = 0;
    long n = count(k);
    for (long p = first(k); p < first(k) + n; p++) {
      double v = f_.points[p].slip;
      s.min = std::min(s.min, v);
      s.max = std::max(s.max, v);
      sum += v;
    }
    s.mean = n ? sum / static_cast<double>(n) : 0;
    return s;
  }

  // Panel c of segment k: 0 slip, 1 peak slip rate, 2 slip duration.
  void plane_panel(int k, int c) {
    const Box& b = layout_.rows[k][c];
    std::string seg = segments_ > 1 ? "Segment " + std::to_string(k + 1) + ": " : "";
    static const char* what[] = {"slip", "peak", "duration"};
    static const char* unit[] = {"cm", "cm/s", "s"};
    static const int column[] = {3, 4, 5};
    double top[] = {slip_max_, peak_max_, duration_max_};
    std::string title;
    if (c == 0) {
      SlipStats s = slip_stats(k);
      title = seg + "Slip (cm): min " + formatted("%.1f", s.min) + ", mean " + formatted("%.1f", s.mean) + ", max " +
              formatted("%.1f", s.max);
    } else if (c == 1) {
      title = seg + "Peak slip rate (cm/s): max " + formatted("%.1f", peak_max_);
    } else {
      title = seg + "Slip duration (s): max " + formatted("%.2f", duration_max_);
    }
    put(screen(b));
    put(colour_box(b));
    put("set title " + gnuplot_string(title) + " noenhanced font \"Sans,12\"\n");
    put("set xlabel \"along strike (km)\"\nset ylabel \"down dip (km)\"\n");
    put("set cblabel \"" + std::string(unit[c]) + "\"\n");
    put(c == 0 ? "set palette defined (0 \"#ffffe5\", 1 \"#fee391\", 2 \"#fe9929\", 3 \"#cc4c02\", 4 \"#662506\")\n"
               : "set palette defined (0 \"#440154\", 1 \"#3b528b\", 2 \"#21918c\", 3 \"#5ec962\", 4 \"#fde725\")\n");
    put("set cbrange [0:" + formatted("%.9g", top[c] > 0 ? top[c] : 1) + "]\n");
    PlaneExtent e = extent(k);
    double x0 = f_.on_planes ? -e.length / 2 : x_lo(), y1 = f_.on_planes ? e.width : y_hi();
    put("set xrange [" + formatted("%.9g", x0) + ":" + formatted("%.9g", x0 + e.length) + "]\n");
    put("set yrange [" + formatted("%.9g", y1) + ":0]\n");

    std::string layer = std::string(what[c]) + " on segment " + std::to_string(k + 1);
    std::string plot = "plot ";
    if (grid(k)) {
      plot += "$" + std::string(what[c]) + std::to_string(k) + " matrix using " + to_km(k) + " with image title " +
              gnuplot_string(layer) + " noenhanced";
    } else {
      double half = f_.mean_side / 2;
      plot += "$cells" + std::to_string(k) + " using 1:2:(" + formatted("%.6g", half) + "):(" + formatted("%.6g", half) +
              "):" + std::to_string(column[c]) + " with boxxyerror fs solid 1.0 noborder lc palette title " +
              gnuplot_string(layer) + " noenhanced";
    }
    if (c == 0) plot += contours(k) + markers(k);
    plot += hypocentre(k);
    put(plot + "\n");
  }

  std::string contours(int k) const {
    if (!grid(k) || !(tinit_max_ > 0)) return "";
    std::string name = "$contour" + std::to_string(k);
    return ", " + name + " using 1:2 with lines lc rgb \"#202020\" lw 1 title \"rupture time\", $labels" +
           std::to_string(k) + " using 1:2:3 with labels boxed font \",9\" tc rgb \"#202020\" notitle";
  }

  // The telling subfaults' places on the slip panel of their segment.
  std::string markers(int k) const {
    std::string s;
    for (size_t r = 0; r < f_.telling.size(); r++) {
      const TellingSubfault& t = f_.telling[r];
      if (t.index < 0) continue;
      Placement at = place(t.index);
      if (at.segment != k) continue;
      // A white halo under each mark keeps it visible on dark slip.
      std::string at_xy = std::string(", '+' using (") + formatted("%.9g", at.x) + "):(" + formatted("%.9g", at.y) + ") every ::0::0 with points pt " +
                          std::to_string(role_point[r]);
      s += at_xy + " ps 2.2 lw 5 lc rgb \"white\" notitle";
      s += at_xy + " ps 2.2 lw 2.5 lc rgb \"" + role_colour[r] + "\" title " + gnuplot_string(t.role) + " noenhanced";
    }
    return s;
  }

  // The hypocentre as a star: where the PLANE puts it, else at the point
  // that the rupture reaches first.
  std::string hypocentre(int k) const {
    double x, y;
    if (f_.hypocentre.segment >= 0) {
      if (f_.hypocentre.segment != k) return "";
      x = f_.hypocentre.x;
      y = f_.hypocentre.y;
    } else {
      const TellingSubfault& t = f_.telling[0];
      if (t.index < 0) return "";
      Placement at = place(t.index);
      if (at.segment != k) return "";
      x = at.x;
      y = at.y;
    }
    return ", '+' using (" + formatted("%.9g", x) + "):(" + formatted("%.9g", y) +
           "):(\"★\") every ::0::0 with labels font \",22\" tc rgb \"black\" title \"hypocentre star\"";
  }

  // The slip-rate functions of the telling subfaults against time since
  // rupture start; subfaults that hold two roles are drawn once.
  void functions_panel() {
    const Box& b = layout_.functions;
    put(screen(b));
    put("unset colorbox\nset autoscale xy\nset yrange [0:*]\nset xrange [*:*]\n");
    // A file without a slip-rate sample above zero: an axis of a second from
    // the earliest start, instead of gnuplot's empty range.
    double first_start = INFINITY, peak = 0;
    for (const TellingSubfault& t : f_.telling) {
      if (t.index < 0) continue;
      first_start = std::min(first_start, t.tinit);
      for (float v : t.rate) peak = std::max(peak, static_cast<double>(v));
    }
    if (!(peak > 0) && std::isfinite(first_start))
      put("set yrange [0:1]\nset xrange [" + formatted("%.9g", first_start) + ":" + formatted("%.9g", first_start + 1) +
          "]\n");
    put("set title \"Slip-rate functions of telling subfaults\" font \"Sans,12\"\n");
    put("set xlabel \"time since rupture start (s)\"\nset ylabel \"slip rate (cm/s)\"\n");
    put("set grid lc rgb \"#dddddd\"\n");
    double w = layout_.width, h = layout_.height;
    put("set key at screen " + formatted("%.5f", (b.right + 30) / w) + ", screen " + formatted("%.5f", 1 - b.top / h) +
        " left top Left reverse samplen 3 spacing 1.2 box lc rgb \"#bbbbbb\" height 1 width -2\n");
    std::string plot = "plot ";
    bool any = false;
    for (size_t r = 0; r < f_.telling.size(); r++) {
      const TellingSubfault& t = f_.telling[r];
      if (t.index < 0 || drawn_before(r)) continue;
      // The line with its role's mark (the shape on the slip panel), drawn
      // once at its start so that the key shows the shape too.
      plot += std::string(any ? ", " : "") + "$rate" + std::to_string(r) +
              " using 1:2 with linespoints lw 2 pt " + std::to_string(role_point[r]) + " ps 1.6 pi 1000000 lc rgb \"" +
              role_colour[r] + "\" title " + gnuplot_string(function_title(r)) + " noenhanced";
      // Its facts on key lines of their own (gnuplot 5.4 spaces the key by
      // one line per entry), with an invisible sample.
      for (const std::string& line : function_facts(r))
        plot += ", NaN with lines lc rgb \"white\" title " + gnuplot_string("    " + line) + " noenhanced";
      any = true;
    }
    if (any) put(plot + "\n");
    put("unset grid\nunset key\n");
  }

  bool drawn_before(size_t r) const {
    for (size_t q = 0; q < r; q++)
      if (f_.telling[q].index == f_.telling[r].index) return true;
    return false;
  }

  std::string function_title(size_t r) const {
    const TellingSubfault& t = f_.telling[r];
    std::string roles = t.role;
    for (size_t q = r + 1; q < f_.telling.size(); q++)
      if (f_.telling[q].index == t.index) roles += ", " + f_.telling[q].role;
    return roles + " (point " + std::to_string(t.index + 1) + ")";
  }

  std::vector<std::string> function_facts(size_t r) const {
    const TellingSubfault& t = f_.telling[r];
    const PointFacts& p = f_.points[t.index];
    Placement at = place(t.index);
    std::string where = formatted("%.2f km along strike, ", at.x) + formatted("%.2f km down dip", at.y);
    if (segments_ > 1) where += " of segment " + std::to_string(at.segment + 1);
    return {where, "slip " + formatted("%.1f cm", p.slip) + ", peak " + formatted("%.1f cm/s", p.peak) + ", duration " +
                       formatted("%.2f s", p.duration)};
  }

  const FaultFacts& f_;
  const FigureOutputs& out_;
  TextSink& sink_;
  ProjectedPoints projected_;
  int segments_ = 1;
  FigureLayout layout_;
  double slip_max_ = 0, peak_max_ = 0, duration_max_ = 0, tinit_max_ = 0, contour_step_ = 1;
};

}  // namespace

std::string gnuplot_string(const std::string& text) {
  std::string s = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') s += '\\';
    if (c == '\n') {
      s += "\\n";
      continue;
    }
    s += c;
  }
  return s + "\"";
}

void write_gnuplot_program(const FaultFacts& facts, const FigureOutputs& out, TextSink& sink) {
  FigureWriter(facts, out, sink).write();
}
