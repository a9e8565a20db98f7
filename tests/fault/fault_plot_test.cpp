// slipvel-fault plot as a user meets it: the built tool on real SRF files
// (the shared ones that other programs wrote), in fresh folders, with real
// gnuplot and GMT, stand-ins where a failure or a signal must be timed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/batch_support.h"
#include "sys/refusal.h"
#include "srf/srf_file.h"
#include "support/run_program.h"

#ifndef SLIPVEL_FAULT_BIN
#define SLIPVEL_FAULT_BIN "build/slipvel-fault"
#endif
#ifndef SLIPVEL_SHARED
#define SLIPVEL_SHARED "../shared"
#endif

namespace fs = std::filesystem;

namespace {

const std::string tool = SLIPVEL_FAULT_BIN;
const std::string shared_srf = std::string(SLIPVEL_SHARED) + "/srf";
const std::string m55 = shared_srf + "/m5.5-5.6x5.6.s200.0.v5.1.srf";
const std::string m65 = shared_srf + "/m6.5-20.0x13.0.s500.v5.1.srf";

bool have(const char* program) {
  return std::system(("command -v " + std::string(program) + " > /dev/null 2>&1").c_str()) == 0;
}

#define NEED_SHARED()                                                                        \
  do {                                                                                       \
    if (!fs::exists(shared_srf)) GTEST_SKIP() << shared_srf << " is absent: no shared SRF files"; \
  } while (0)
#define NEED(program)                                                 \
  do {                                                                \
    if (!have(program)) GTEST_SKIP() << program " is not installed"; \
  } while (0)

uint32_t big_endian(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; k++) v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
  return v;
}

// The names in a folder, sorted.
std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename());
  std::sort(v.begin(), v.end());
  return v;
}

struct PointCounter : SrfVisitor {
  void point(const SrfPoint&) override {}
};

// The reader's verdict on a file: empty when it takes it, else its line.
std::string refusal_of(const std::string& path) {
  PointCounter c;
  try {
    read_srf(path, c);
  } catch (const Refusal& r) {
    return r.what();
  }
  return "";
}

// A PNG of the figure: its signature, and the canvas that the manual states
// (1800 px wide, as high as the rows need).
void expect_png(const std::string& path, int width) {
  std::string png = read_file(path);
  ASSERT_GE(png.size(), 24u) << path;
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << path;
  EXPECT_EQ(png.substr(12, 4), "IHDR") << path;
  if (width > 0) {
    EXPECT_EQ(big_endian(png, 16), static_cast<uint32_t>(width)) << path;
  }
  EXPECT_GE(big_endian(png, 20), 600u) << path;
  EXPECT_LE(big_endian(png, 20), 4000u) << path;
}

void expect_well_formed_xml(const std::string& path) {
  TempDir scratch;
  Ended x = run_command({"/usr/bin/xmllint", "--noout", path}, {}, scratch);
  EXPECT_EQ(x.code, 0) << path << ": " << x.err;
}

const char* panel_titles[] = {"Slip (cm): min ", "Peak slip rate (cm/s): max ", "Slip duration (s): max ",
                              "Slip-rate functions of telling subfaults"};

Ended plot(const std::vector<std::string>& args, const TempDir& scratch, std::vector<std::string> env = {}) {
  std::vector<std::string> argv = {tool, "plot"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_command(argv, env, scratch, 120);
}

// The numbers that `pattern` catches in the SVG element group that `title`
// heads (gnuplot's SVG puts each plot's title first in its group).
std::vector<double> svg_numbers(const std::string& svg, const std::string& title, const std::regex& pattern) {
  size_t at = svg.find("<title>" + title + "</title>");
  if (at == std::string::npos) return {};
  std::string rest = svg.substr(at, 4000);
  std::smatch m;
  if (!std::regex_search(rest, m, pattern)) return {};
  std::vector<double> v;
  for (size_t k = 1; k < m.size(); k++) v.push_back(std::stod(m[k]));
  return v;
}

// The mark of `role` sits at (x, y) km on the plane: mapped through the
// frame of segment 1's slip image, which spans the whole plane, the top edge
// up (down dip grows downwards).
void expect_mark_at(const std::string& svg, const std::string& role, double x, double y, const SrfPlane& s) {
  std::vector<double> image = svg_numbers(
      svg, "slip on segment 1", std::regex("<image x='([0-9.]+)' y='([0-9.]+)' width='([0-9.]+)' height='([0-9.]+)'"));
  ASSERT_EQ(image.size(), 4u);
  double left = image[0], top = image[1], width = image[2], height = image[3];
  std::vector<double> mark = svg_numbers(svg, role, std::regex("translate\\(([0-9.]+),([0-9.]+)\\)"));
  ASSERT_EQ(mark.size(), 2u);
  EXPECT_NEAR(mark[0], left + (x + s.len / 2) / s.len * width, 0.6);
  EXPECT_NEAR(mark[1], top + y / s.wid * height, 0.6);
}

}  // namespace

// Every shared file that the reader takes is drawn whole: both images, the
// PNG at the stated width, the SVG well-formed with every panel's title; a
// file that the reader refuses gets the reader's own line, status 2 and no
// image, and no temporary is left in either case.
TEST(FaultPlot, EverySharedFileTheReaderTakesIsDrawn) {
  NEED_SHARED();
  NEED("gnuplot");
  int drawn = 0, refused = 0;
  for (const auto& e : fs::directory_iterator(shared_srf)) {
    if (e.path().extension() != ".srf") continue;
    SCOPED_TRACE(e.path().string());
    TempDir out, scratch;
    std::string prefix = out.file("figure");
    Ended r = plot({"-o", prefix, e.path()}, scratch);
    std::string refusal = refusal_of(e.path());
    if (!refusal.empty()) {
      refused++;
      EXPECT_EQ(r.code, 2);
      EXPECT_EQ(r.err, "slipvel-fault: " + refusal + "\n");
      EXPECT_EQ(names_in(out.path), std::vector<std::string>{});
      continue;
    }
    drawn++;
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(names_in(out.path), (std::vector<std::string>{"figure.png", "figure.svg"}));
    EXPECT_EQ(r.out, prefix + ".png (" + std::to_string(fs::file_size(prefix + ".png")) + " bytes)\n" + prefix +
                         ".svg (" + std::to_string(fs::file_size(prefix + ".svg")) + " bytes)\n");
    expect_png(prefix + ".png", 1800);
    expect_well_formed_xml(prefix + ".svg");
    std::string svg = read_file(prefix + ".svg");
    for (const char* t : panel_titles) EXPECT_NE(svg.find(t), std::string::npos) << t;
    EXPECT_NE(svg.find(e.path().filename().string() + "  (SRF "), std::string::npos);
  }
  // The shared README: two files well formed, two not by the letter.
  EXPECT_GE(drawn, 2);
  EXPECT_EQ(drawn + refused, 4);
}

// The largest-slip subfault is marked where the SRF puts it: its index in
// the file gives (i, j) along strike fastest from the top, its centre in km,
// and the mark's pixel in the SVG maps back through the slip image's frame
// (the image spans the whole plane). The key states the same place.
TEST(FaultPlot, LargestSlipMarkedAtItsPlaceOnThePlane) {
  NEED_SHARED();
  NEED("gnuplot");
  for (const std::string& path : {m55, m65}) {
    SCOPED_TRACE(path);
    struct Largest : SrfVisitor {
      SrfPlane plane;
      long n = 0, best = -1;
      double slip = -1;
      void header(const SrfHeader& h) override { plane = h.planes.at(0); }
      void point(const SrfPoint& p) override {
        double s = std::sqrt(p.slip1 * p.slip1 + p.slip2 * p.slip2 + p.slip3 * p.slip3);
        if (s > slip) slip = s, best = n;
        n++;
      }
    } largest;
    read_srf(path, largest);
    const SrfPlane& s = largest.plane;
    double x = -s.len / 2 + (largest.best % s.nstk + 0.5) * s.len / s.nstk;
    double y = (largest.best / s.nstk + 0.5) * s.wid / s.ndip;

    TempDir out, scratch;
    Ended r = plot({"-o", out.file("f"), path}, scratch);
    ASSERT_EQ(r.code, 0) << r.err;
    std::string svg = out.read("f.svg");
    expect_mark_at(svg, "largest slip", x, y, s);
    // Its key entry, which may name other roles that the same point holds.
    EXPECT_TRUE(std::regex_search(svg, std::regex("largest slip[a-z ,]* \\(point " + std::to_string(largest.best + 1) + "\\)")));
    char where[128];
    std::snprintf(where, sizeof where, "%.2f km along strike, %.2f km down dip", x, y);
    EXPECT_NE(svg.find(where), std::string::npos) << where;
    std::snprintf(where, sizeof where, "max %.1f", largest.slip);
    EXPECT_NE(svg.find(where), std::string::npos) << where;
  }
}

// The order that places points on the plane is the one the shared files
// hold: the second point lies along the strike azimuth from the first, and
// point NSTK one subfault deeper (both files are vertical: DWID deeper).
TEST(FaultPlot, SharedFilesWalkAlongStrikeFirstFromTheTop) {
  NEED_SHARED();
  for (const std::string& path : {m55, m65}) {
    SCOPED_TRACE(path);
    struct FirstRows : SrfVisitor {
      SrfPlane plane;
      std::vector<SrfPoint> points;
      void header(const SrfHeader& h) override { plane = h.planes.at(0); }
      void point(const SrfPoint& p) override {
        if (points.size() <= static_cast<size_t>(plane.nstk)) points.push_back(p);
      }
    } rows;
    read_srf(path, rows);
    const SrfPoint &a = rows.points[0], &b = rows.points[1], &below = rows.points[rows.plane.nstk];
    double east = (b.lon - a.lon) * std::cos(a.lat * M_PI / 180), north = b.lat - a.lat;
    double azimuth = std::atan2(east, north) * 180 / M_PI;
    if (azimuth < 0) azimuth += 360;
    EXPECT_NEAR(azimuth, rows.plane.stk, 1.0);
    EXPECT_NEAR(a.dep, rows.plane.dtop + rows.plane.wid / rows.plane.ndip / 2, 1e-3);
    EXPECT_NEAR(below.dep - a.dep, rows.plane.wid / rows.plane.ndip, 1e-3);
  }
}

// Failures leave the folder as it was: an older image under the target name
// stays byte for byte, and no temporary is left. Each case with its exact
// line and status.
TEST(FaultPlot, FailuresKeepOlderImagesAndLeaveNoTemporaries) {
  NEED("gnuplot");
  TempDir bin;
  bin.write("gnuplot", "#!/bin/sh\ncat > /dev/null\necho 'line 3: oops' >&2\nexit 1\n");
  chmod(bin.file("gnuplot").c_str(), 0755);
  TempDir gnuplot_only;
  fs::create_symlink("/usr/bin/gnuplot", gnuplot_only.file("gnuplot"));
  struct Case {
    const char* why;
    std::string srf;  // text of the SRF, written as in.srf
    std::vector<std::string> options, env;
    int status;
    std::string message;  // after "slipvel-fault: "; IN is the SRF's path
  } cases[] = {
      // The reader's refusal comes through as it stands, status 2.
      {"a malformed file", "2.0\nPOINTS x\n", {}, {}, 2, ""},
      // gnuplot missing: the package that brings it.
      {"no gnuplot", "1.0\nPOINTS 1\n0 0 1 0 90 1e10 0 0.1\n0 1 1 0 0 0 0\n1\n", {}, {"PATH=/nonexistent"}, 1,
       "gnuplot is not installed (Debian package gnuplot-nox)"},
      // GMT missing for --map: named before anything is drawn.
      {"no gmt for --map", "1.0\nPOINTS 1\n0 0 1 0 90 1e10 0 0.1\n0 1 1 0 0 0 0\n1\n", {"--map"},
       {"PATH=" + gnuplot_only.path}, 1, "gmt is not installed (Debian packages gmt and gmt-gshhg-low)"},
      // gnuplot that fails: its first line of complaint.
      {"gnuplot fails", "1.0\nPOINTS 1\n0 0 1 0 90 1e10 0 0.1\n0 1 1 0 0 0 0\n1\n", {},
       {"PATH=" + bin.path + ":/usr/bin:/bin"}, 1, "gnuplot failed (exit status 1): line 3: oops"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir out, scratch;
    out.write("in.srf", c.srf);
    out.write("fig.png", "older image");
    std::string before = file_state(out.file("fig.png"));
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-o", out.file("fig"), out.file("in.srf")});
    Ended r = plot(args, scratch, c.env);
    std::string message = c.message.empty() ? refusal_of(out.file("in.srf")) : c.message;
    ASSERT_FALSE(message.empty());
    EXPECT_EQ(r.code, c.status);
    EXPECT_EQ(r.err, "slipvel-fault: " + message + "\n");
    EXPECT_EQ(names_in(out.path), (std::vector<std::string>{"fig.png", "in.srf"}));
    EXPECT_EQ(out.read("fig.png"), "older image");
    EXPECT_EQ(file_state(out.file("fig.png")), before);
  }
}

// The command line: wrong ones are refused with the usage line, status 2,
// nothing written.
TEST(FaultPlot, CommandLineRefusals) {
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
  } cases[] = {
      {{}, "no SRF file given"},
      {{"-o"}, "-o needs a PREFIX"},
      {{"--colour", "a.srf"}, "unknown option --colour"},
      {{"a.srf", "b.srf"}, "one SRF file at a time: b.srf"},
  };
  for (const Case& c : cases) {
    TempDir scratch;
    Ended r = plot(c.args, scratch);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "slipvel-fault: " + c.first_line + "\nusage: slipvel-fault plot [--map] [-o PREFIX] FILE.srf\n");
    EXPECT_EQ(names_in(scratch.path), (std::vector<std::string>{"command.err", "command.out"}));
  }
}

// --map: GMT's PNG and PDF beside the figure; two runs at once, each in its
// own GMT folder under TMPDIR, both whole, and the folders gone afterwards.
TEST(FaultPlot, MapDrawnByGmtTwoRunsAtOnce) {
  NEED_SHARED();
  NEED("gnuplot");
  NEED("gmt");
  TempDir out, tmp, scratch_a, scratch_b;
  std::vector<std::string> env = {"TMPDIR=" + tmp.path};
  pid_t a = start_command({tool, "plot", "--map", "-o", out.file("a"), m55}, env, scratch_a);
  pid_t b = start_command({tool, "plot", "--map", "-o", out.file("b"), m65}, env, scratch_b);
  Ended ra = finish_command(a, scratch_a), rb = finish_command(b, scratch_b);
  ASSERT_EQ(ra.code, 0) << ra.err;
  ASSERT_EQ(rb.code, 0) << rb.err;
  EXPECT_EQ(names_in(out.path), (std::vector<std::string>{"a-map.pdf", "a-map.png", "a.png", "a.svg", "b-map.pdf",
                                                           "b-map.png", "b.png", "b.svg"}));
  for (const char* p : {"a-map.png", "b-map.png"}) expect_png(out.file(p), 0);
  for (const char* p : {"a-map.pdf", "b-map.pdf"}) {
    std::string pdf = out.read(p);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-") << p;
    EXPECT_NE(pdf.find("%%EOF"), std::string::npos) << p;  // whole
  }
  EXPECT_EQ(names_in(tmp.path), std::vector<std::string>{});
}

// An end signal while gnuplot works: the tool ends by that signal within a
// few seconds, gnuplot is ended too, and neither the partial images that
// gnuplot had begun nor any temporary remain; an older image stays. The
// stand-in gnuplot writes a partial image to each output it is given, notes
// that, and waits.
TEST(FaultPlot, SignalWhileGnuplotRunsLeavesNoPartialImage) {
  NEED_SHARED();
  TempDir bin;
  bin.write("gnuplot",
            "#!/bin/bash\n"
            "n=0\n"
            "while IFS= read -r line; do\n"
            "  case $line in 'set output '*)\n"
            "    f=${line#set output \\\"}; f=${f%\\\"}; printf partial > \"$f\"; n=$((n + 1))\n"
            "    if [ $n = 2 ]; then echo $$ > \"$NOTE\"; exec sleep 60; fi;;\n"
            "  esac\n"
            "done\n");
  chmod(bin.file("gnuplot").c_str(), 0755);
  struct Case {
    const char* why;
    int signal;
    bool group;  // to the whole job, as a terminal's ^C; else to the tool alone
  } cases[] = {{"SIGTERM to the tool", SIGTERM, false}, {"SIGINT to the job", SIGINT, true},
               {"SIGHUP to the tool", SIGHUP, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir out, scratch;
    out.write("fig.png", "older image");
    std::string note = scratch.file("gnuplot-waits");
    pid_t pid = start_command({tool, "plot", "-o", out.file("fig"), m55},
                              {"PATH=" + bin.path + ":/usr/bin:/bin", "NOTE=" + note}, scratch);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((!fs::exists(note) || fs::file_size(note) == 0) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(note)) << "the stand-in never started";
    // Both partial images exist now, under temporary names.
    EXPECT_EQ(names_in(out.path).size(), 3u);
    if (c.group) killpg(pid, c.signal);
    else kill(pid, c.signal);
    Ended r = finish_command(pid, scratch, 10);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, c.signal);
    EXPECT_EQ(names_in(out.path), std::vector<std::string>{"fig.png"});
    EXPECT_EQ(out.read("fig.png"), "older image");
    // No stand-in left waiting: the tool ended it and reaped it.
    pid_t stand_in = std::stoi(read_file(note));
    EXPECT_NE(kill(stand_in, 0), 0) << "gnuplot stand-in " << stand_in << " still runs";
  }
}

namespace {

// A small SRF 2.0 text: the given planes (each STK 90, DIP 90), their points
// in order along strike fastest, in one POINTS block or one per segment.
// Point n has slip 10 + n cm and two samples.
std::string small_srf(const std::vector<std::pair<int, int>>& planes, bool block_per_segment) {
  std::string t = "2.0\nPLANE " + std::to_string(planes.size()) + "\n";
  int total = 0;
  char line[256];
  for (auto [nstk, ndip] : planes) {
    std::snprintf(line, sizeof line, "%12.6f %11.6f %5d %5d %10.4f %10.4f\n  90   90     0.0000     0.0000     1.0000\n",
                  -122.0, 38.0, nstk, ndip, 1.0 * nstk, 1.0 * ndip);
    t += line;
    total += nstk * ndip;
  }
  int n = 0;
  for (size_t k = 0; k < planes.size(); k++) {
    int count = planes[k].first * planes[k].second;
    if (block_per_segment) t += "POINTS " + std::to_string(count) + "\n";
    else if (k == 0) t += "POINTS " + std::to_string(total) + "\n";
    for (int m = 0; m < count; m++, n++) {
      double slip = 10 + n;
      std::snprintf(line, sizeof line,
                    "%12.6f %11.6f %12.5e %4.0f %4.0f %12.5e %13.6e %12.5e %13.5e %13.5e\n"
                    "%4.0f %10.4f %6d %10.4f %6d %10.4f %6d\n%13.5e%13.5e\n",
                    -122.0 + 0.01 * m, 38.0, 0.5 + m / planes[k].first, 90.0, 90.0, 1e10, 0.1 * n, 0.1, 3e5, 2.7,
                    0.0, slip, 2, 0.0, 0, 0.0, 0, slip * 10, 0.0);
      t += line;
    }
  }
  return t;
}

}  // namespace

// Several segments: one row of panels each, with its own titles and slip
// image, whether the file has one POINTS block per segment or one for all
// (split by NSTK x NDIP in order); segment 2 holds the largest slip (the last,
// bottom-right point: also the edge's) and its mark.
TEST(FaultPlot, OneRowOfPanelsPerSegment) {
  NEED("gnuplot");
  for (bool per_segment : {true, false}) {
    SCOPED_TRACE(per_segment ? "a block per segment" : "one block");
    TempDir out, scratch;
    out.write("two.srf", small_srf({{3, 2}, {4, 2}}, per_segment));
    Ended r = plot({"-o", out.file("two"), out.file("two.srf")}, scratch);
    ASSERT_EQ(r.code, 0) << r.err;
    std::string svg = out.read("two.svg");
    for (const char* t : {"Segment 1: Slip (cm): min 10.0, mean 12.5, max 15.0",
                          "Segment 2: Slip (cm): min 16.0, mean 19.5, max 23.0", "Segment 2: Peak slip rate (cm/s)",
                          "Segment 2: Slip duration (s)", "<title>slip on segment 2</title>",
                          "largest slip, edge (point 14)", "1.50 km along strike, 1.50 km down dip of segment 2"})
      EXPECT_NE(svg.find(t), std::string::npos) << t;
    expect_well_formed_xml(out.file("two.svg"));
  }
}

// Points without a PLANE (version 1.0 allows it) are drawn from their own
// positions, in one row, and the figure says so.
TEST(FaultPlot, PointsWithoutAPlaneDrawnFromTheirPositions) {
  NEED("gnuplot");
  std::string srf = small_srf({{3, 2}}, true);
  srf = srf.substr(0, srf.find("PLANE")) + srf.substr(srf.find("POINTS"));
  TempDir out, scratch;
  out.write("free.srf", srf);
  Ended r = plot({"-o", out.file("free"), out.file("free.srf")}, scratch);
  ASSERT_EQ(r.code, 0) << r.err;
  std::string svg = out.read("free.svg");
  for (const char* t : {"Drawn from the points' own positions (no usable PLANE)", "Slip (cm): min 10.0, mean 12.5, max 15.0",
                        "<title>slip on segment 1</title>", "largest slip"})
    EXPECT_NE(svg.find(t), std::string::npos) << t;
  EXPECT_EQ(svg.find("Segment 2"), std::string::npos);
}

// A plane of more than 250 subfaults along a side is drawn in blocks (their
// means): the image still spans the plane, the largest slip is still marked
// at its own subfault, and the title's numbers come from every subfault.
TEST(FaultPlot, LongPlaneDrawnInBlocksKeepsItsFrameAndNumbers) {
  NEED("gnuplot");
  TempDir out, scratch;
  out.write("long.srf", small_srf({{600, 2}}, true));
  Ended r = plot({"-o", out.file("long"), out.file("long.srf")}, scratch);
  ASSERT_EQ(r.code, 0) << r.err;
  std::string svg = out.read("long.svg");
  SrfPlane s;
  s.len = 600;
  s.wid = 2;
  expect_mark_at(svg, "largest slip", 299.5, 1.5, s);  // the last point: bottom right
  EXPECT_NE(svg.find("Slip (cm): min 10.0, mean 609.5, max 1209.0"), std::string::npos);
}
