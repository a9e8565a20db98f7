// The description's numbers are read as the program reads its answers: the
// nearest double to the text, then the nearest float, so that the same text
// gives a subfault and a direct run the same four answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "fault/description.h"
#include "support/tool_support.h"

namespace {

TEST(Description, NumbersReadAsTheProgramReadsItsAnswers) {
  std::mt19937_64 rng(7);
  TempDir dir;
  std::string text = fault_data("small.toml");
  text = text.substr(0, text.find("[subfaults]"));
  const std::string from = "slip = 0.5";
  size_t at = text.find(from);
  // Long digit strings and texts near the midpoint of two floats, where a
  // parser that is off by one unit in the last place of the double, or that
  // rounds straight to float, gives another float.
  std::vector<std::string> texts = {"4.65", "0.1000000000000000055511151231257827021181583404541015625",
                                    "1.00000005960464477539062500000000000000001", "1.000000059604644775390625",
                                    "3.4028234663852886e38", "1e-45", "7.006492321624085e-46"};
  for (int n = 0; n < 300; n++) {
    std::uniform_int_distribution<int> digit(0, 9), len(1, 24), exp(-20, 20);
    std::string t = std::to_string(digit(rng) + 1) + ".";
    for (int k = len(rng); k > 0; k--) t += static_cast<char>('0' + digit(rng));
    texts.push_back(t + "e" + std::to_string(exp(rng)));
  }
  for (const std::string& t : texts) {
    SCOPED_TRACE(t);
    std::string d = text;
    d.replace(at, from.size(), "slip = " + t);
    dir.write("d.toml", d);
    std::vector<std::string> warnings;
    float expected = static_cast<float>(std::strtod(t.c_str(), nullptr));
    if (expected == 0) continue;  // a slip of 0 is its own case
    Description desc = read_description(dir.file("d.toml"), warnings);
    EXPECT_EQ(desc.pulse.slip, expected);
  }
}

}  // namespace
