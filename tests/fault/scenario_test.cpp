// A scenario (asperities in a background) derives every subfault's answers:
// each printed figure against the relations worked by hand here, each
// subfault's answers and region in the CSV, and the SRF's moment.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>

#include "support/tool_support.h"
#include "sys/text_format.h"

namespace {

const double pi = std::numbers::pi;

// A scenario as the tests describe it: km, km/s, g/cm^3, Hz.
struct Asperity {
  double along, down, share, aspect;
};
struct Scenario {
  double mw;  // NaN: the moment from the plane's area
  double length, width, dlen, dwid, vs, density, vr, fmax;
  std::vector<Asperity> asperities;
};

std::string description(const Scenario& c) {
  std::string t = formatted(
      "LON_TOP_CENTER = 138.25\nLAT_TOP_CENTER = 36.5\nDEPTH_TO_TOP = 2.0\nFAULT_LENGTH = %.17g\nDLEN = %.17g\n"
      "FAULT_WIDTH = %.17g\nDWID = %.17g\nSTRIKE = 30.0\nDIP = 60.0\nRAKE = 90.0\nHYPO_ALONG_STK = 0.0\n"
      "HYPO_DOWN_DIP = 3.0\n",
      c.length, c.dlen, c.width, c.dwid);
  if (!std::isnan(c.mw)) t += formatted("MAGNITUDE = %.17g\n", c.mw);
  t += formatted("[rupture]\nvelocity = %.17g\n[medium]\nvs = %.17g\ndensity = %.17g\n[scenario]\nfmax = %.17g\n", c.vr,
                 c.vs, c.density, c.fmax);
  for (const Asperity& a : c.asperities)
    t += formatted("[[asperity]]\nalong_strike = %.17g\ndown_dip = %.17g\nshare = %.17g\naspect = %.17g\n", a.along,
                   a.down, a.share, a.aspect);
  return t;
}

// One region worked by hand: its rectangle (km) and its figures (SI).
struct Region {
  double along0 = 0, along1 = 0, down0 = 0, down1 = 0;
  double area = 0, length = 0, width = 0, slip = 0, stress = 0, rise = 0, vm = 0, ts = 0;
  long covered = 0;
};

// The characterized source model worked by hand, in the relations' own
// notation, and the lines of the derivation that the run prints.
struct ByHand {
  double m0, mw, mu, d;
  std::vector<Region> regions;  // the asperities, then the background
  std::vector<std::string> lines;

  explicit ByHand(const Scenario& c) {
    double S = c.length * c.width * 1e6;  // m^2
    double S_km2 = c.length * c.width;
    const char* stage = "";
    if (std::isnan(c.mw)) {
      if (S_km2 <= 400)
        m0 = std::pow(S_km2 / 2.23e-15, 1.5) * 1e-7, stage = "Somerville et al., 1999";
      else if (S_km2 <= 1800)
        m0 = std::pow(S_km2 / 4.24e-11, 2) * 1e-7, stage = "Irikura and Miyake, 2001";
      else
        m0 = S_km2 * 1e17, stage = "Murotani et al., 2015";
    } else {
      m0 = std::pow(10, 1.5 * c.mw + 9.1);
    }
    mw = (std::log10(m0) - 9.1) / 1.5;
    double rho = c.density * 1000, beta = c.vs * 1000, Vr = c.vr * 1000, W = c.width * 1000;
    mu = rho * beta * beta;
    d = m0 / (mu * S);
    double A = 2.46e10 * std::pow(m0 * 1e7, 1.0 / 3);
    double R = std::sqrt(S / pi);
    bool large = m0 >= 7.5e18;
    double r, Sa, dsigma;
    if (!large) {
      r = 7 * pi / 4 * m0 * beta * beta / (A * R);
      Sa = pi * r * r;
      dsigma = 7.0 / 16 * m0 / (R * R * R);
    } else {
      Sa = 0.22 * S;
      dsigma = 3.1e6;
      r = std::sqrt(Sa / pi);
    }
    double dsigma_a = dsigma * S / Sa;
    double Da = 2 * d, shares = 0, sum_gamma3 = 0;
    for (const Asperity& a : c.asperities) shares += a.share;
    std::vector<double> gamma;
    for (const Asperity& a : c.asperities) {
      Region g;
      g.area = Sa * a.share / shares;
      g.width = std::sqrt(g.area / a.aspect);
      g.length = g.width * a.aspect;
      g.along0 = a.along - g.length / 2000, g.along1 = a.along + g.length / 2000;
      g.down0 = a.down - g.width / 2000, g.down1 = a.down + g.width / 2000;
      gamma.push_back(std::sqrt(g.area / pi) / r);
      sum_gamma3 += std::pow(gamma.back(), 3);
      g.stress = dsigma_a;
      regions.push_back(g);
    }
    for (size_t k = 0; k < regions.size(); k++) regions[k].slip = Da * gamma[k] / sum_gamma3;
    Region b;
    b.area = S - Sa, b.length = c.length * 1000, b.width = W;
    b.slip = (m0 - mu * Da * Sa) / (mu * b.area);
    b.stress = b.slip / W * std::sqrt(pi) / Da * r * sum_gamma3 * dsigma_a;
    regions.push_back(b);
    for (Region& g : regions) {
      g.rise = g.width / (2 * Vr);
      g.ts = 1.5 * g.rise;
      g.vm = g.stress * std::sqrt(2 * c.fmax * g.width * Vr) / mu;
    }
    // Covered: the subfault centres in each rectangle, the rest the background's.
    long all = std::lround(c.length / c.dlen) * std::lround(c.width / c.dwid);
    regions.back().covered = all;
    for (size_t k = 0; k + 1 < regions.size(); k++) {
      Region& g = regions[k];
      long n_along = 0, n_down = 0;
      for (double x = -c.length / 2 + c.dlen / 2; x < c.length / 2; x += c.dlen)
        n_along += x >= g.along0 && x <= g.along1;
      for (double y = c.dwid / 2; y < c.width; y += c.dwid) n_down += y >= g.down0 && y <= g.down1;
      g.covered = n_along * n_down;
      regions.back().covered -= g.covered;
    }

    size_t n = c.asperities.size();
    lines.push_back(formatted("scenario: %zu asperit%s in a background", n, n == 1 ? "y" : "ies"));
    if (std::isnan(c.mw)) {
      lines.push_back(
          formatted("M0: %.6g N m, Mw %.6g (the area-moment scaling of the plane's area: %s)", m0, mw, stage));
      lines.push_back(formatted("S: %.6g km^2 (the plane)", S_km2));
    } else {
      // The area of this moment: the stage chosen by the moment.
      double scaled = m0 < 7.5e18 ? 2.23e-15 * std::pow(m0 * 1e7, 2.0 / 3) : 4.24e-11 * std::sqrt(m0 * 1e7);
      lines.push_back(formatted("M0: %.6g N m, Mw %.6g (MAGNITUDE)", m0, mw));
      lines.push_back(formatted("S: %.6g km^2 (the plane), %.6g km^2 (the area-moment scaling of M0: %s)", S_km2,
                                scaled, m0 < 7.5e18 ? "Somerville et al., 1999" : "Irikura and Miyake, 2001"));
    }
    lines.push_back(formatted("mu: %.6g Pa (density %.6g g/cm^3, vs %.6g km/s)", mu, c.density, c.vs));
    lines.push_back(formatted("D: %.6g m (mean slip, M0 / (mu S))", d));
    lines.push_back(formatted("A: %.6g N m/s^2 (short-period level, Dan et al., 2001%s)", A,
                              large ? "; not used: M0 >= 7.5e18 N m" : ""));
    lines.push_back(formatted("R: %.6g km (sqrt(S / pi))", R / 1000));
    lines.push_back(formatted("r: %.6g km (the asperities' equivalent radius)", r / 1000));
    lines.push_back(formatted("Sa: %.6g km^2, Sa/S %.6g (%s)", Sa / 1e6, Sa / S,
                              large ? "M0 >= 7.5e18 N m: Sa = 0.22 S" : "pi r^2"));
    lines.push_back(formatted("stress drop: mean %.6g MPa, asperities %.6g MPa", dsigma / 1e6, dsigma_a / 1e6));
    lines.push_back(formatted("Vr: %.6g km/s, fmax %.6g Hz", c.vr, c.fmax));
    lines.push_back(
        "region            asked    covered     length      width       slip     stress  rise time         vm"
        "         ts");
    lines.push_back(
        "                   km^2       km^2         km         km          m        MPa          s        m/s"
        "          s");
    for (size_t k = 0; k < regions.size(); k++) {
      const Region& g = regions[k];
      std::string name = k < n ? formatted("asperity %zu", k + 1) : "background";
      lines.push_back(formatted("%-12s %10.6g %10.6g %10.6g %10.6g %10.6g %10.6g %10.6g %10.6g %10.6g", name.c_str(),
                                g.area / 1e6, g.covered * c.dlen * c.dwid, g.length / 1000, g.width / 1000, g.slip,
                                g.stress / 1e6, g.rise, g.vm, g.ts));
    }
  }

  // The region (from 0; the background last) whose rectangle holds (along, down).
  size_t region_at(double along, double down) const {
    for (size_t k = 0; k + 1 < regions.size(); k++) {
      const Region& g = regions[k];
      if (along >= g.along0 && along <= g.along1 && down >= g.down0 && down <= g.down1) return k;
    }
    return regions.size() - 1;
  }
};

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (size_t next; (next = line.find(sep, at)) != std::string::npos; at = next + 1)
    fields.push_back(line.substr(at, next - at));
  fields.push_back(line.substr(at));
  return fields;
}

// Runs the scenario with the CSV and checks, against the hand computation:
// the derivation's lines, the factor, each subfault's answers and region,
// and the SRF's moment and Mw as `info` reads them.
void check_scenario(const Scenario& c, const std::string& extra = "") {
  ByHand hand(c);
  TempDir dir;
  dir.write("s.toml", description(c) + extra);
  Ended run = run_fault(dir.path, {"--csv", "s.csv", "s.toml"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<std::string> out = split(run.out, '\n');
  ASSERT_GT(out.size(), hand.lines.size());
  for (size_t k = 0; k < hand.lines.size(); k++) EXPECT_EQ(out[k], hand.lines[k]);
  const std::string factor_head = "moment factor: ";
  ASSERT_EQ(out[hand.lines.size()].rfind(factor_head, 0), 0u) << out[hand.lines.size()];
  double factor = std::stod(out[hand.lines.size()].substr(factor_head.size()));
  EXPECT_NE(out[hand.lines.size()].find(" (every slip and vm, so that the fault's moment is M0)"), std::string::npos);
  EXPECT_NEAR(factor, 1, 0.1);  // the covered areas against the asked, the pulses' slips
  EXPECT_EQ(out[hand.lines.size() + 1].rfind("subfaults: ", 0), 0u);  // then today's summary

  // Every subfault: its region's answers, the slip and vm times the factor.
  std::vector<std::string> rows = file_lines(dir.file("s.csv"));
  ASSERT_TRUE(rows[0].ends_with(",slip1_cm,moment_N_m,region")) << rows[0];
  long subfaults = std::lround(c.length / c.dlen) * std::lround(c.width / c.dwid);
  ASSERT_EQ(static_cast<long>(rows.size()), subfaults + 1);
  for (size_t k = 1; k < rows.size(); k++) {
    std::vector<std::string> f = split(rows[k], ',');
    ASSERT_EQ(f.size(), 19u) << rows[k];
    size_t region = hand.region_at(std::stod(f[2]), std::stod(f[3]));
    const Region& g = hand.regions[region];
    SCOPED_TRACE(rows[k]);
    EXPECT_EQ(f[18], region + 1 < hand.regions.size() ? formatted("asperity %zu", region + 1) : "background");
    EXPECT_EQ(std::stof(f[8]), static_cast<float>(c.fmax));
    EXPECT_NEAR(std::stod(f[9]) / (static_cast<float>(g.slip) * factor), 1, 1e-6);
    EXPECT_EQ(std::stof(f[10]), static_cast<float>(static_cast<float>(g.vm) * factor));
    EXPECT_EQ(std::stof(f[11]), static_cast<float>(g.ts));
  }

  // The SRF as a reader finds it: its moment is M0, its Mw to the 4
  // decimals printed.
  Ended info = run_fault(dir.path, {"info", "s.srf"});
  ASSERT_EQ(info.code, 0) << info.err;
  size_t at = info.out.find("moment M0: ");
  ASSERT_NE(at, std::string::npos) << info.out;
  double m0 = std::stod(info.out.substr(at + 11));
  EXPECT_NEAR(m0 / hand.m0, 1, 1e-6);
  EXPECT_NE(info.out.find(formatted("Mw: %.4f\n", hand.mw)), std::string::npos) << info.out;
}

// Moderate: the moment from the plane's area, one asperity, a small event's
// circular-crack relations.
TEST(Scenario, ModerateOneAsperityMomentFromTheArea) {
  Scenario c{NAN, 14, 10, 1, 1, 3.4, 2.65, 2.7, 5.0, {{-2.0, 5.0, 1, 1.5}}};
  ByHand hand(c);
  ASSERT_LT(hand.m0, 7.5e18);
  check_scenario(c);
}

// Moderate with MAGNITUDE: the area of its moment by the first stage.
TEST(Scenario, ModerateFromMagnitude) {
  Scenario c{5.8, 8, 6, 0.5, 0.5, 3.2, 2.6, 2.5, 6.0, {{-1.0, 3.0, 1, 1}}};
  ByHand hand(c);
  ASSERT_LT(hand.m0, 7.5e18);
  check_scenario(c);
}

// Large: MAGNITUDE, two asperities of different shares and aspects, the
// large-event relations.
TEST(Scenario, LargeTwoAsperitiesFromMagnitude) {
  Scenario c{6.9, 30, 15, 1.5, 1.5, 3.3, 2.8, 2.4, 6.0, {{-6.0, 7.0, 3, 1.5}, {8.0, 9.0, 1, 1}}};
  ByHand hand(c);
  ASSERT_GE(hand.m0, 7.5e18);
  check_scenario(c);
}

// The example of the README, as it stands in examples/.
TEST(Scenario, TheExample) {
  TempDir dir;
  Ended run = run_fault(dir.path, {"-o", "s.srf", std::string(SLIPVEL_SOURCE_DIR) + "/examples/scenario.toml"});
  ASSERT_EQ(run.code, 0) << run.err;
  Scenario c{6.6, 20, 12, 1, 1, 3.5, 2.7, 2.52, 6.0, {{-4.0, 6.0, 2, 1}, {6.0, 8.0, 1, 1}}};
  ByHand hand(c);
  std::vector<std::string> out = split(run.out, '\n');
  for (size_t k = 0; k < hand.lines.size(); k++) EXPECT_EQ(out[k], hand.lines[k]);
}

// The example in three layers: rows 1-3 (depth 5.32 to 6.61 km) in the
// first, 4-9 in the second, 10-12 in the third, so mu over the plane is
// (3 x 2.6624 + 6 x 3.3075 + 3 x 3.8332)e10 / 12 = 3.27765e10 Pa, and each
// subfault's moment takes its own layer's mu: the SRF still carries M0.
TEST(Scenario, LayeredMediumFeedsTheScenario) {
  TempDir dir;
  std::string example = read_file(std::string(SLIPVEL_SOURCE_DIR) + "/examples/scenario.toml");
  size_t from = example.find("vs = 3.5"), to = example.find("\n", example.find("density = 2.7"));
  example.replace(from, to - from, "layers = [[7.0, 5.5, 3.2, 2.6], [4.0, 6.0, 3.5, 2.7], [0.0, 6.4, 3.7, 2.8]]");
  dir.write("s.toml", example);
  Ended run = run_fault(dir.path, {"-o", "s.srf", "s.toml"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("\nmu: 3.27765e+10 Pa (density 2.7 g/cm^3, vs 3.475 km/s)\n"), std::string::npos) << run.out;
  Ended info = run_fault(dir.path, {"info", "s.srf"});
  ASSERT_EQ(info.code, 0) << info.err;
  size_t at = info.out.find("moment M0: ");
  ASSERT_NE(at, std::string::npos) << info.out;
  EXPECT_NEAR(std::stod(info.out.substr(at + 11)) / 1e19, 1, 1e-6);
}

// The scenario's SRF is the SRF of the same fault described by hand with
// the answers that its CSV gives each region: one pulse, one writer.
TEST(Scenario, SameBytesAsTheFaultByHand) {
  TempDir dir;
  std::string example = read_file(std::string(SLIPVEL_SOURCE_DIR) + "/examples/scenario.toml");
  dir.write("s.toml", example);
  Ended run = run_fault(dir.path, {"--csv", "s.csv", "s.toml"});
  ASSERT_EQ(run.code, 0) << run.err;
  std::map<std::string, std::string> answers;  // region: its four answers as keys
  for (const std::string& row : file_lines(dir.file("s.csv"))) {
    std::vector<std::string> f = split(row, ',');
    answers[f[18]] = "fmax = " + f[8] + "\nslip = " + f[9] + "\nvm = " + f[10] + "\nts = " + f[11] + "\n";
  }
  // The rectangles: 5.93296 and 4.19524 km squares about (-4, 6) and (6, 8).
  std::string by_hand = example.substr(0, example.find("MAGNITUDE")) + example.substr(example.find("[rupture]"));
  by_hand = by_hand.substr(0, by_hand.find("[scenario]")) + "[pulse]\n" + answers["background"] +
            "[[area]]\nalong_strike = [-6.97, -1.03]\ndown_dip = [3.03, 8.97]\n" + answers["asperity 1"] +
            "[[area]]\nalong_strike = [3.9, 8.1]\ndown_dip = [5.9, 10.1]\n" + answers["asperity 2"];
  dir.write("h.toml", by_hand);
  Ended hand = run_fault(dir.path, {"h.toml"});
  ASSERT_EQ(hand.code, 0) << hand.err;
  EXPECT_TRUE(dir.read("s.srf") == dir.read("h.srf"));
}

// Areas and the table override the derived answers, before the factor
// scales every slip and vm; the CSV still names the region.
TEST(Scenario, AreasAndTableOverride) {
  Scenario c{NAN, 14, 10, 1, 1, 3.4, 2.65, 2.7, 5.0, {{-2.0, 5.0, 1, 1.5}}};
  TempDir dir;
  dir.write("s.toml", description(c) +
                          "[[area]]\nalong_strike = [-3.0, -1.0]\ndown_dip = [4.0, 6.0]\nvm = 2.5\n"
                          "[subfaults]\ntable = \"t.csv\"\n");
  dir.write("t.csv", "i,j,fmax,slip,vm,ts\n1,1,6,4.65,4.32,2.8\n");
  Ended run = run_fault(dir.path, {"--csv", "s.csv", "s.toml"});
  ASSERT_EQ(run.code, 0) << run.err;
  size_t at = run.out.find("moment factor: ");
  ASSERT_NE(at, std::string::npos) << run.out;
  double factor = std::stod(run.out.substr(at + 15));
  auto scaled = [&](float x) { return formatted("%.9g", static_cast<float>(x * factor)); };
  std::vector<std::string> rows = file_lines(dir.file("s.csv"));
  // (5, 5), centre (-2.5, 4.5): in the area and in the asperity.
  std::vector<std::string> f = split(rows[1 + 4 * 14 + 4], ',');
  EXPECT_EQ(f[0] + "," + f[1], "5,5");
  EXPECT_EQ(formatted("%.9g", std::stof(f[10])), scaled(2.5f));
  EXPECT_EQ(f[18], "asperity 1");
  // (1, 1): the table's row, in the background.
  f = split(rows[1], ',');
  EXPECT_EQ(f[8] + "," + f[11] + "," + f[18], "6,2.8,background");
  EXPECT_EQ(formatted("%.9g", std::stof(f[9])) + " " + formatted("%.9g", std::stof(f[10])),
            scaled(4.65f) + " " + scaled(4.32f));
}

// The three stages of the area-moment scaling on either side of their
// bounds: M0 from the plane's area.
TEST(Scenario, ScalingStagesAtTheirBounds) {
  struct Stage {
    double length, width, dlen, dwid;  // km
    double m0;                         // N m, by hand
    const char* reference;
  } stages[] = {
      {39.9, 10, 3.99, 2.5, std::pow(399 / 2.23e-15, 1.5) / 1e7, "Somerville et al., 1999"},
      {40.1, 10, 4.01, 2.5, std::pow(401 / 4.24e-11, 2) / 1e7, "Irikura and Miyake, 2001"},
      {89.95, 20, 8.995, 5, std::pow(1799 / 4.24e-11, 2) / 1e7, "Irikura and Miyake, 2001"},
      {90.05, 20, 9.005, 5, 1801e17, "Murotani et al., 2015"},
  };
  for (const Stage& s : stages) {
    SCOPED_TRACE(s.length * s.width);
    Scenario c{NAN, s.length, s.width, s.dlen, s.dwid, 3.5, 2.7, 2.52, 6.0, {{0.0, s.width / 2, 1, 2}}};
    TempDir dir;
    dir.write("s.toml", description(c));
    Ended run = run_fault(dir.path, {"s.toml"});
    ASSERT_EQ(run.code, 0) << run.err;
    std::string m0_line = formatted("M0: %.6g N m, Mw %.6g (the area-moment scaling of the plane's area: %s)\n", s.m0,
                                    (std::log10(s.m0) - 9.1) / 1.5, s.reference);
    EXPECT_NE(run.out.find(m0_line), std::string::npos) << run.out << m0_line;
  }
}

}  // namespace
