#include "crust/medium.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "srf/magnitude.h"
#include "sys/refusal.h"
#include "sys/text_file.h"

namespace {

std::string show(double x) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

// Blank-separated fields of a line (spaces, tabs, a carriage return).
std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t k = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (k < line.size()) {
    while (k < line.size() && blank(line[k])) k++;
    size_t start = k;
    while (k < line.size() && !blank(line[k])) k++;
    if (k > start) out.push_back(line.substr(start, k - start));
  }
  return out;
}

// A whole field as a finite double (a leading '+' allowed, as the platforms'
// own readers take it).
bool parse_number(std::string_view s, double& x) {
  if (s.starts_with('+')) s.remove_prefix(1);
  auto r = std::from_chars(s.data(), s.data() + s.size(), x);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(x);
}

}  // namespace

Medium layered_medium(std::vector<Layer> layers) {
  Medium m;
  m.layers = std::move(layers);
  double top = 0;
  for (const Layer& l : m.layers) {
    m.tops.push_back(top);
    top += l.thickness;
  }
  return m;
}

const Layer& layer_at(const Medium& m, double km) {
  size_t k = 0;
  // The deepest layer whose top is at or above the depth: a boundary goes
  // to the deeper layer.
  while (k + 1 < m.layers.size() && m.tops[k + 1] <= km) k++;
  return m.layers[k];
}

double layer_shear_modulus(const Layer& l) { return shear_modulus(l.vs, l.density); }

std::string layer_fault(const Layer& l, int number, bool last) {
  std::string n = "layer " + std::to_string(number) + ": ";
  if (!last && !(l.thickness > 0)) return n + "thickness = " + show(l.thickness) + " is outside (0, inf) km";
  if (!(l.vs > 0)) return n + "vs = " + show(l.vs) + " is outside (0, inf) km/s";
  if (!(l.density > 0)) return n + "density = " + show(l.density) + " is outside (0, inf) g/cm^3";
  return "";
}

Medium read_velocity_file(const std::string& path) {
  std::string text = read_text_file(path);
  long line_no = 0;
  auto refuse = [&](const std::string& what) { throw Refusal(path + ":" + std::to_string(line_no) + ": " + what); };
  std::string_view rest = text;
  long declared = -1;
  long declared_line = 0;
  std::vector<Layer> layers;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    line_no++;
    std::vector<std::string_view> f = fields(line);
    if (f.empty()) continue;  // blank lines, as at the end of many files
    if (declared < 0) {
      auto r = std::from_chars(f[0].data(), f[0].data() + f[0].size(), declared);
      if (f.size() != 1 || r.ec != std::errc() || r.ptr != f[0].data() + f[0].size() || declared < 1 ||
          declared > 100000)
        refuse("the first line must be the number of layers, a whole number from 1, not \"" + std::string(line) +
               "\"");
      declared_line = line_no;
      continue;
    }
    int number = static_cast<int>(layers.size()) + 1;
    if (number > declared)
      refuse("more layers than the " + std::to_string(declared) + " that line " + std::to_string(declared_line) +
             " declares");
    if (f.size() != 6)
      refuse("layer " + std::to_string(number) + " has " + std::to_string(f.size()) +
             " fields, not 6 (thickness vp vs rho qp qs)");
    double x[6];
    static const char* names[] = {"thickness", "vp", "vs", "rho", "qp", "qs"};
    for (int k = 0; k < 6; k++)
      if (!parse_number(f[static_cast<size_t>(k)], x[k]))
        refuse("layer " + std::to_string(number) + ": " + names[k] + " \"" + std::string(f[static_cast<size_t>(k)]) +
               "\" is not a finite number");
    Layer l{x[0], x[1], x[2], x[3]};
    std::string fault = layer_fault(l, number, number == declared);
    if (!fault.empty()) refuse(fault);
    layers.push_back(l);
  }
  if (declared < 0) throw Refusal(path + ": no layers (the first line is the number of layers)");
  if (static_cast<long>(layers.size()) < declared)
    throw Refusal(path + ": " + std::to_string(layers.size()) + " layers, fewer than the " + std::to_string(declared) +
                  " that line " + std::to_string(declared_line) + " declares");
  return layered_medium(std::move(layers));
}

double ratio_at(const VelocityRatio& r, double km) {
  if (!r.shallow_ratio) return r.ratio;
  double top = *r.shallow_depth;
  if (km <= top) return *r.shallow_ratio;
  if (km >= top + 1) return r.ratio;
  // The kilometre below shallow_depth: a straight line between the two.
  return *r.shallow_ratio + (r.ratio - *r.shallow_ratio) * (km - top);
}
