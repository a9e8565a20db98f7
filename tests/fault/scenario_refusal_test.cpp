// A scenario that cannot be built is refused with one line naming the file,
// the line and the key, exit status 2, and the folder left as it was. The
// figures in the texts were worked by hand: the plane 8 x 6 km, Mw 5.8,
// vs 3.2 km/s give Sa = 12.5554 km^2, a square asperity 3.54336 km wide.
#include <gtest/gtest.h>

#include "support/tool_support.h"

namespace {

const std::string base =
    "LON_TOP_CENTER = 138.25\nLAT_TOP_CENTER = 36.5\nDEPTH_TO_TOP = 2.0\nFAULT_LENGTH = 8.0\nDLEN = 2.0\n"
    "FAULT_WIDTH = 6.0\nDWID = 2.0\nSTRIKE = 30.0\nDIP = 60.0\nRAKE = 90.0\nHYPO_ALONG_STK = -1.0\n"
    "HYPO_DOWN_DIP = 3.0\nMAGNITUDE = 5.8\n"  // line 13
    "\n[rupture]\nvelocity = 2.5\n\n[medium]\nvs = 3.2\ndensity = 2.6\n"
    "\n[scenario]\nfmax = 6\n"                                // lines 22, 23
    "\n[[asperity]]\nalong_strike = -1.0\ndown_dip = 3.0\n";  // lines 25-27

// The same plane as the first of two segments, and a second 9 km east.
std::string segment(const char* lon) {
  return std::string("\n[[segment]]\nLON_TOP_CENTER = ") + lon +
         "\nLAT_TOP_CENTER = 36.5\nDEPTH_TO_TOP = 2.0\nFAULT_LENGTH = 8.0\nDLEN = 2.0\nFAULT_WIDTH = 6.0\n"
         "DWID = 2.0\nSTRIKE = 30.0\nDIP = 60.0\nRAKE = 90.0\n";
}
const std::string segments = "HYPO_SEGMENT = 1\nHYPO_ALONG_STK = -1.0\nHYPO_DOWN_DIP = 3.0\nMAGNITUDE = 5.8\n" +
                             segment("138.25") + segment("138.35") +  // lines 5-16, 17-28
                             "\n[rupture]\nvelocity = 2.5\n\n[medium]\nvs = 3.2\ndensity = 2.6\n"
                             "\n[scenario]\nfmax = 6\n"  // lines 37, 38
                             "\n[[asperity]]\nalong_strike = -1.0\ndown_dip = 3.0\n";

std::string edited(const std::string& from, const std::string& to) {
  std::string text = base;
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(ScenarioRefusal, EachBadScenarioOneLineStatus2FolderUntouched) {
  const std::string asperity = "[[asperity]]\nalong_strike = -1.0\ndown_dip = 3.0\n";
  struct {
    const char* why;
    std::string description, message;
  } cases[] = {
      {"no asperity", edited(asperity, ""), "s.toml:22: [scenario] has no [[asperity]]: a scenario needs at least one"},
      {"asperities without a scenario", edited("[scenario]\nfmax = 6\n", ""),
       "s.toml:23: [[asperity]] without [scenario]: the asperities belong to a scenario"},
      {"a pulse beside the scenario", edited("[scenario]", "[pulse]\nfmax = 6\nslip = 1\nvm = 1\nts = 1\n[scenario]"),
       "s.toml:22: [pulse] and [scenario] both give the whole plane's answers: keep one"},
      {"misspelt scenario key", edited("fmax = 6", "fmx = 6"),
       "s.toml:23: unknown key scenario.fmx (did you mean scenario.fmax?)"},
      {"fmax 0", edited("fmax = 6", "fmax = 0"), "s.toml:23: scenario.fmax = 0 is outside (0, 3.4e38]"},
      {"off the plane along strike", edited("along_strike = -1.0", "along_strike = -3.0"),
       "s.toml:26: asperity.along_strike = -3: asperity 1, 3.54336 km long, spans [-4.77168, -1.22832] km along "
       "strike and leaves the plane [-4, 4]"},
      {"off the plane down dip", edited("down_dip = 3.0", "down_dip = 1.0"),
       "s.toml:27: asperity.down_dip = 1: asperity 1, 3.54336 km wide, spans [-0.77168, 2.77168] km down dip and "
       "leaves the plane [0, 6]"},
      // Two of half the area each, 2.50553 km square, 2 km apart.
      {"two that overlap", base + "[[asperity]]\nalong_strike = 1.0\ndown_dip = 3.0\n",
       "s.toml:28: asperity 2, [-0.252767, 2.25277] x [1.74723, 4.25277] km, overlaps asperity 1, [-2.25277, "
       "0.252767] x [1.74723, 4.25277] km (along strike x down dip)"},
      {"share 0", base + "share = 0\n", "s.toml:28: asperity.share = 0 is outside (0, inf)"},
      {"negative aspect", base + "aspect = -1\n", "s.toml:28: asperity.aspect = -1 is outside (0, inf)"},
      {"share not finite", base + "share = nan\n", "s.toml:28: asperity.share is not finite"},
      {"aspect not finite", base + "aspect = inf\n", "s.toml:28: asperity.aspect is not finite"},
      {"share a word", base + "share = \"two\"\n", "s.toml:28: asperity.share must be a number"},
      // Mw 6.4 on 48 km^2: the crack's asperity is larger than the plane.
      {"Sa beyond S", edited("MAGNITUDE = 5.8", "MAGNITUDE = 6.4"),
       "s.toml:13: MAGNITUDE = 6.4: the asperities' area is not less than the plane's (Sa = 198.99 km^2, S = 48 "
       "km^2): they would cover the whole plane"},
      // Mw 6.0: Sa over half of S leaves the background a negative slip.
      {"background without slip", edited("MAGNITUDE = 5.8", "MAGNITUDE = 6.0"),
       "s.toml:13: MAGNITUDE = 6: the asperities carry the whole moment: the background's slip would be Db = "
       "-0.902128 m (Sa = 31.5378 km^2, S = 48 km^2)"},
      // Aspect 4: 7.08672 x 1.77168 km, narrower than DWID; 1/4 the other way.
      {"narrower than a subfault", base + "aspect = 4\n",
       "s.toml:25: asperity 1 is 1.77168 km wide down dip, narrower than one subfault (DWID = 2 km): it would cover "
       "no subfault"},
      {"shorter than a subfault", base + "aspect = 0.25\n",
       "s.toml:25: asperity 1 is 1.77168 km long along strike, shorter than one subfault (DLEN = 2 km): it would "
       "cover no subfault"},
      // fmax 1 Hz: the asperity's pulse (slip and vm as the moment's factor
      // scales them) cannot carry its slip.
      {"a derived pulse that cannot be computed", edited("fmax = 6", "fmax = 1"),
       "subfault (2, 2) in asperity 1 with fmax = 1, slip = 1.3016306, vm = 3.682504, ts = 1.0630082: sample 72 "
       "(t = 0.71 s) is not finite"},
      // The asperities are laid out on one plane of one area and width.
      {"a scenario on several segments", segments,
       "s.toml:37: [scenario] and [[segment]] cannot be combined: a scenario derives its asperities on one plane; "
       "describe a single plane or leave out [scenario]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    dir.write("s.toml", c.description);
    dir.write("s.srf", "an older SRF\n");
    std::string before = folder_state(dir.path);
    Ended r = run_fault(dir.path, {"--csv", "sub.csv", "--table", "rows.csv", "s.toml"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "slipvel-fault: " + c.message + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(folder_state(dir.path), before);
  }
  // The base itself runs.
  TempDir dir;
  dir.write("s.toml", base);
  Ended r = run_fault(dir.path, {"s.toml"});
  EXPECT_EQ(r.code, 0) << r.err;
}

}  // namespace
