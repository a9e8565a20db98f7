#include "fault/subfault_table.h"

#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <string_view>

#include "fault/answer_range.h"
#include "sys/refusal.h"
#include "sys/text_file.h"

namespace {

const std::string_view one_segment = "i,j,fmax,slip,vm,ts", segments = "segment,i,j,fmax,slip,vm,ts";

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> out;
  for (size_t start = 0;;) {
    size_t comma = line.find(',', start);
    out.push_back(line.substr(start, comma - start));
    if (comma == std::string_view::npos) return out;
    start = comma + 1;
  }
}

}  // namespace

std::vector<SubfaultRow> read_subfault_table(const std::string& path, int nstk, int ndip) {
  return read_subfault_table(path, {{nstk, ndip}});
}

std::vector<SubfaultRow> read_subfault_table(const std::string& path, const std::vector<std::pair<int, int>>& sizes) {
  // With several segments, each row names its segment (from 1) first.
  const int g0 = sizes.size() > 1 ? 1 : 0;
  const std::string_view header = g0 ? segments : one_segment;
  std::string text = read_text_file(path);
  std::vector<SubfaultRow> rows;
  std::map<std::array<int, 3>, int> seen;  // subfault -> line that gave it
  int line_no = 0;
  auto refuse = [&](const std::string& what) { throw Refusal(path + ":" + std::to_string(line_no) + ": " + what); };
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    line_no++;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line_no == 1) {
      if (line != header) refuse("the first line must be exactly " + std::string(header));
      continue;
    }
    // Blank and comment lines are skipped, as in slipvel-batch's tables.
    if (line.find_first_not_of(" \t") == std::string_view::npos || line.starts_with('#')) continue;
    std::vector<std::string_view> f = fields(line);
    const size_t want = 6 + static_cast<size_t>(g0);
    if (f.size() != want)
      refuse("a row has " + std::to_string(want) + " fields (" + std::string(header) + "), this one " +
             std::to_string(f.size()));
    SubfaultRow row;
    // Indices: whole numbers within the plane.
    auto index = [&](std::string_view s, const char* name) {
      int v = 0;
      auto r = std::from_chars(s.data(), s.data() + s.size(), v);
      if (r.ec != std::errc() || r.ptr != s.data() + s.size()) refuse(std::string(name) + " must be a whole number, not \"" + std::string(s) + "\"");
      return v;
    };
    std::string of;  // " of segment G" with several
    if (g0) {
      int g = index(f[0], "segment");
      if (g < 1 || g > static_cast<int>(sizes.size()))
        refuse("segment " + std::to_string(g) + " does not exist: the fault has " + std::to_string(sizes.size()) +
               " segments");
      row.segment = g - 1;
      of = " of segment " + std::to_string(g);
    }
    const auto [nstk, ndip] = sizes[static_cast<size_t>(row.segment)];
    row.i = index(f[static_cast<size_t>(g0)], "i");
    row.j = index(f[static_cast<size_t>(g0) + 1], "j");
    if (row.i < 1 || row.i > nstk || row.j < 1 || row.j > ndip)
      refuse("subfault (" + std::to_string(row.i) + ", " + std::to_string(row.j) + ")" + of + " does not exist: the " +
             (g0 ? "segment" : "plane") + " has " + std::to_string(nstk) + " x " + std::to_string(ndip) + " subfaults");
    // Answers: the nearest double, then the nearest float, as the program reads them.
    const char* names[] = {"fmax", "slip", "vm", "ts"};
    float* values[] = {&row.answers.fmax, &row.answers.slip, &row.answers.vm, &row.answers.ts};
    for (int k = 0; k < 4; k++) {
      std::string_view s = f[static_cast<size_t>(g0 + 2 + k)];
      double x = 0;
      auto r = std::from_chars(s.data(), s.data() + s.size(), x);
      if (r.ec != std::errc() || r.ptr != s.data() + s.size() || s.empty())
        refuse(std::string(names[k]) + " must be a number, not \"" + std::string(s) + "\"");
      float v = static_cast<float>(x);
      std::string wrong = answer_out_of_range(names[k], x, v);
      if (!wrong.empty()) refuse(std::string(names[k]) + " = " + std::string(s) + " " + wrong);
      *values[k] = v;
    }
    auto [it, fresh] = seen.emplace(std::array{row.segment, row.i, row.j}, line_no);
    if (!fresh)
      refuse("subfault (" + std::to_string(row.i) + ", " + std::to_string(row.j) + ")" + of + " is already given on line " +
             std::to_string(it->second));
    rows.push_back(row);
  }
  if (line_no == 0) throw Refusal(path + ":1: the table is empty; the first line must be exactly " + std::string(header));
  return rows;
}
