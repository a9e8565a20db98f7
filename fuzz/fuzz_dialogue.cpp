// Fuzz target: arbitrary bytes as standard input of the parameter dialogue.
// The four answers are read as the driver reads them, one real per read
// statement. Every input must end in four values or in one of the reader's
// failure reports; the first answer is also checked against an independent
// reading of the simplest kind of answer line.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "records/channel.h"
#include "records/channel_table.h"
#include "records/free_format.h"

namespace {

int input_fd() {
  static int fd = [] {
    catch_failures();
    int m = memfd_create("answers", 0);
    if (m < 0) finding("no memfd");
    return m;
  }();
  return fd;
}

// Standard input now holds exactly these bytes, read from the start.
void feed(const uint8_t* data, size_t size) {
  int fd = input_fd();
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) ||
      lseek(fd, 0, SEEK_SET) != 0 || dup2(fd, STDIN_FILENO) < 0)
    finding("cannot feed standard input");
  connect_standard_channels();
}

// What an independent reading of the first answer predicts.
struct Expected {
  enum { unknown, value, null, invalid, end } kind = unknown;
  float x = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A plain decimal number: sign, digits with at most one point, an optional
// exponent with a letter, at most 40 digits in all (none dropped).
bool plain_number(const std::string& t) {
  size_t i = 0, digits = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) i++;
  bool point = false;
  for (; i < t.size() && (is_digit(t[i]) || (t[i] == '.' && !point)); i++) {
    if (t[i] == '.') point = true;
    else digits++;
  }
  if (digits == 0 || digits > 40) return false;
  if (i == t.size()) return true;
  if (std::strchr("eEdD", t[i]) == nullptr) return false;
  if (++i < t.size() && (t[i] == '+' || t[i] == '-')) i++;
  size_t exp_digits = 0;
  for (; i < t.size() && is_digit(t[i]); i++) exp_digits++;
  return i == t.size() && exp_digits >= 1 && exp_digits <= 4;
}

Expected first_answer(const char* p, size_t n) {
  Expected e;
  size_t i = 0;
  // Blanks, tabs and line ends (a carriage return before a line feed
  // included) come before the first item.
  for (; i < n; i++) {
    if (p[i] == ' ' || p[i] == '\t' || p[i] == '\n') continue;
    if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') continue;
    break;
  }
  if (i == n) return e.kind = Expected::end, e;
  char c = p[i];
  if (c == ',' || c == '/') return e.kind = Expected::null, e;
  if (!std::strchr("+-.*0123456789", c)) return e.kind = Expected::invalid, e;
  // The item runs to the next separator or line end.
  std::string token;
  for (; i < n; i++) {
    if (std::strchr(" \t\n,/", p[i]) || (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n')) break;
    token += p[i];
  }
  if (!plain_number(token)) return e;
  for (char& ch : token)
    if (ch == 'd' || ch == 'D') ch = 'e';
  e.kind = Expected::value;
  e.x = static_cast<float>(std::strtod(token.c_str(), nullptr));
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  feed(data, size);
  float answer[4] = {0, 0, 0, 0};  // a null answer leaves its 0
  int answered = 0;
  bool failed = false;
  std::string context;
  try {
    for (float& a : answer) {
      begin_free_read(unit_input);
      get_real(a);
      end_free_read();
      answered++;
    }
  } catch (const RunFailure& f) {
    expect_read_failure(f);
    failed = true;
    context = f.context;
  }

  Expected e = first_answer(reinterpret_cast<const char*>(data), size);
  switch (e.kind) {
    case Expected::value:
      if (answered < 1 || std::memcmp(&answer[0], &e.x, sizeof e.x) != 0)
        finding("first answer differs from the nearest float of its text");
      break;
    case Expected::null:
      if (answered < 1 || answer[0] != 0 || std::signbit(answer[0]))
        finding("a null first answer changed its value");
      break;
    case Expected::invalid:
      if (answered != 0 || context != "invalid number")
        finding("a first answer without digits was not rejected", context);
      break;
    case Expected::end:
      if (answered != 0 || context != "list in") finding("empty input read", context);
      break;
    case Expected::unknown:
      break;
  }
  if (!failed && answered != 4) finding("dialogue stopped without a report");
  return 0;
}
