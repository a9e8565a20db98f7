// The SRF reader: the grammar of versions 1.0 and 2.0, line by line, one
// point at a time.
#include <algorithm>
#include <climits>
#include <string_view>

#include "sys/refusal.h"
#include "srf/srf_fields.h"
#include "srf/srf_file.h"
#include "sys/text_lines.h"

namespace {

constexpr const char* point_names_1[] = {"LON", "LAT", "DEP", "STK", "DIP", "AREA", "TINIT", "DT"};
constexpr const char* point_names_2[] = {"LON", "LAT", "DEP", "STK", "DIP", "AREA", "TINIT", "DT", "VS", "DEN"};
constexpr const char* slip_names[] = {"RAKE", "SLIP1", "NT1", "SLIP2", "NT2", "SLIP3", "NT3"};
constexpr const char* plane_names_a[] = {"ELON", "ELAT", "NSTK", "NDIP", "LEN", "WID"};
constexpr const char* plane_names_b[] = {"STK", "DIP", "DTOP", "SHYP", "DHYP"};
constexpr const char* plane_line[] = {"PLANE", "NSEG"};
constexpr const char* points_line[] = {"POINTS", "NP"};
constexpr const char* run_names[] = {"SR1", "SR2", "SR3"};

// A sample count is at most what an int holds (the counts of the writers);
// memory is taken only for the samples that are there, not for the count.
constexpr long most_samples = INT_MAX;

std::string names(const char* const* first, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; i++) {
    if (i) s += ' ';
    s += first[i];
  }
  return s;
}

class SrfReader {
 public:
  SrfReader(const std::string& path, SrfVisitor& visitor, std::vector<std::string>* warnings)
      : path_(path == "-" ? "standard input" : path), lines_(path), visitor_(visitor), warnings_(warnings) {}

  void read() {
    read_version();
    bool more = next_content();
    if (more && fields_[0] == "PLANE") {
      read_planes();
      more = next_content();
    }
    visitor_.header(header_);
    int blocks = 0;
    for (; more; more = next_content(), blocks++) {
      if (fields_[0] != "POINTS") refuse(lines_.number(), unexpected(blocks));
      read_block(blocks);
    }
    if (blocks == 0) refuse(last_line(), "the file ends before its first POINTS block");
  }

 private:
  [[noreturn]] void refuse(long line, const std::string& what) const {
    throw Refusal(path_ + ":" + std::to_string(line) + ": " + what);
  }
  void warn(long line, const std::string& what) const {
    if (warnings_) warnings_->push_back(path_ + ":" + std::to_string(line) + ": warning: " + what);
  }
  // The last line of the file (1 for an empty one), where a file cut short ends.
  long last_line() const { return lines_.number() ? lines_.number() : 1; }

  void read_version() {
    std::string_view line;
    if (!lines_.next(line)) refuse(1, "the file is empty (no version line)");
    split_fields(line, fields_);
    if (fields_.size() == 1 && (fields_[0] == "1.0" || fields_[0] == "2.0")) {
      header_.version = std::string(fields_[0]);
      comments_ = fields_[0] == "2.0";
      return;
    }
    refuse(1, shown(line) + " is not a version line (1.0 or 2.0)");
  }

  // The next line with fields, past blank lines and (2.0) comment lines;
  // false at the end of the file.
  bool next_content() {
    std::string_view line;
    while (lines_.next(line)) {
      split_fields(line, fields_);
      if (fields_.empty()) continue;
      if (fields_[0][0] != '#') return true;
      if (!comments_) refuse(lines_.number(), "a comment line, which version 1.0 does not allow");
    }
    return false;
  }
  // The next line with fields, where the file must go on; `what` names what
  // is missing and is called only then (it builds its text).
  template <typename What>
  void need_content(What what) {
    if (!next_content()) refuse(last_line(), "the file ends before " + what());
  }

  // What is said of a line that is neither a POINTS line nor the end.
  std::string unexpected(int blocks) const {
    if (blocks > 0 && looks_like_point())
      return "more points than the " + std::to_string(declared_) + " that POINTS on line " +
             std::to_string(block_line_) + " declares";
    const char* wanted = blocks > 0 ? "POINTS or the end of the file"
                         : header_.planes.empty() ? "PLANE or POINTS" : "POINTS";
    return std::string("expected ") + wanted + ", found " + shown(fields_[0]);
  }
  bool looks_like_point() const {
    if (fields_.size() != 8 && fields_.size() != 10) return false;
    double v;
    for (auto f : fields_)
      if (!to_real(f, v).empty()) return false;
    return true;
  }

  void expect_fields(const char* const* first, size_t n) const {
    if (fields_.size() != n)
      refuse(lines_.number(), std::to_string(fields_.size()) +
                                  (fields_.size() == 1 ? " field, " : " fields, ") +
                                  std::to_string(n) + " expected (" + names(first, n) + ")");
  }
  double real(size_t i, const char* name) const {
    double v;
    std::string wrong = to_real(fields_[i], v);
    if (!wrong.empty()) refuse(lines_.number(), std::string(name) + " " + wrong);
    return v;
  }
  double size(size_t i, const char* name) const {  // a real that cannot be negative
    double v = real(i, name);
    if (v < 0) refuse(lines_.number(), std::string(name) + " " + shown(fields_[i]) + " is negative");
    return v;
  }
  long count(size_t i, const char* name, long least, long largest) const {
    long v;
    std::string wrong = to_count(fields_[i], largest, v);
    if (wrong.empty() && v < least)
      wrong = shown(fields_[i]) + " is less than " + std::to_string(least);
    if (!wrong.empty()) refuse(lines_.number(), std::string(name) + " " + wrong);
    return v;
  }

  void read_planes() {
    expect_fields(plane_line, 2);
    long nseg = count(1, "NSEG", 1, INT_MAX);
    std::string plane_at = " of the PLANE on line " + std::to_string(lines_.number());
    for (long s = 1; s <= nseg; s++) {
      std::string seg = "segment " + std::to_string(s) + plane_at;
      SrfPlane p;
      need_content([&] { return "the first line of " + seg; });
      expect_fields(plane_names_a, 6);
      p.elon = real(0, "ELON"), p.elat = real(1, "ELAT");
      p.nstk = int(count(2, "NSTK", 1, INT_MAX)), p.ndip = int(count(3, "NDIP", 1, INT_MAX));
      p.len = size(4, "LEN"), p.wid = size(5, "WID");
      need_content([&] { return "the second line of " + seg; });
      expect_fields(plane_names_b, 5);
      p.stk = real(0, "STK"), p.dip = real(1, "DIP"), p.dtop = real(2, "DTOP");
      p.shyp = real(3, "SHYP"), p.dhyp = real(4, "DHYP");
      header_.planes.push_back(p);
    }
  }

  void read_block(int index) {
    expect_fields(points_line, 2);
    declared_ = count(1, "NP", 0, LONG_MAX);
    block_line_ = lines_.number();
    visitor_.block(index, declared_);
    for (long k = 0; k < declared_; k++) read_point(index, k);
  }

  std::string of_declared(long k) const {
    return std::to_string(k) + " of the " + std::to_string(declared_) +
           " points that POINTS on line " + std::to_string(block_line_) + " declares";
  }

  void read_point(int block, long k) {
    if (!next_content()) refuse(last_line(), "the file ends after " + of_declared(k));
    if (fields_[0] == "POINTS") refuse(lines_.number(), "POINTS after " + of_declared(k));
    point_.block = block;
    point_.line = lines_.number();
    read_position();
    need_content([&] {
      return "the RAKE SLIP1 NT1 SLIP2 NT2 SLIP3 NT3 line of the point on line " +
             std::to_string(point_.line);
    });
    expect_fields(slip_names, 7);
    point_.rake = real(0, "RAKE");
    point_.slip1 = real(1, "SLIP1"), point_.slip2 = real(3, "SLIP2"), point_.slip3 = real(5, "SLIP3");
    long nt1 = count(2, "NT1", 0, most_samples), nt2 = count(4, "NT2", 0, most_samples),
         nt3 = count(6, "NT3", 0, most_samples);
    if (nt1 + nt2 + nt3 > 0 && point_.dt == 0)
      refuse(lines_.number(), "samples with DT = 0 (line " + std::to_string(point_.line) + ")");
    read_samples(nt1, nt2, nt3);
    visitor_.point(point_);
  }

  // LON LAT DEP STK DIP AREA TINIT DT, and in 2.0 VS DEN. The first point of
  // a 2.0 file decides whether its points carry VS and DEN: a file whose
  // points all have 8 fields is read as a 1.0 file's, with a warning.
  void read_position() {
    if (point_fields_ == 0) {
      point_fields_ = header_.version == "2.0" ? 10 : 8;
      if (point_fields_ == 10 && fields_.size() == 8) {
        point_fields_ = 8;
        warn(lines_.number(),
             "a version 2.0 point with 8 fields (no VS, DEN): its points are read as version "
             "1.0 points, VS and DEN unknown");
      }
    }
    expect_fields(point_fields_ == 10 ? point_names_2 : point_names_1, size_t(point_fields_));
    point_.lon = real(0, "LON"), point_.lat = real(1, "LAT"), point_.dep = real(2, "DEP");
    point_.stk = real(3, "STK"), point_.dip = real(4, "DIP");
    point_.area = size(5, "AREA"), point_.tinit = real(6, "TINIT"), point_.dt = size(7, "DT");
    point_.has_medium = point_fields_ == 10;
    point_.vs = point_.has_medium ? size(8, "VS") : 0;
    point_.den = point_.has_medium ? size(9, "DEN") : 0;
  }

  // The NT1 + NT2 + NT3 samples, any number to a line; the last one ends its line.
  void read_samples(long nt1, long nt2, long nt3) {
    std::vector<double>* runs[] = {&point_.sr1, &point_.sr2, &point_.sr3};
    long wanted[] = {nt1, nt2, nt3};
    constexpr long reserve_at_most = 1 << 16;  // a count is a claim, the samples are the proof
    for (int r = 0; r < 3; r++) {
      runs[r]->clear();
      runs[r]->reserve(size_t(std::min(wanted[r], reserve_at_most)));
    }
    long total = nt1 + nt2 + nt3, got = 0;
    while (got < total) {
      need_content([&] {
        return "the end of the samples of the point on line " + std::to_string(point_.line) +
               " (" + std::to_string(got) + " of " + std::to_string(total) + ")";
      });
      for (size_t i = 0; i < fields_.size(); i++, got++) {
        if (got == total)
          refuse(lines_.number(), shown(fields_[i]) + " after the last of the " +
                                      std::to_string(total) + " samples of the point on line " +
                                      std::to_string(point_.line));
        int r = got < nt1 ? 0 : got < nt1 + nt2 ? 1 : 2;
        long n = got - (r == 0 ? 0 : r == 1 ? nt1 : nt1 + nt2);
        double v;
        std::string wrong = to_real(fields_[i], v);
        if (!wrong.empty())
          refuse(lines_.number(),
                 std::string(run_names[r]) + " sample " + std::to_string(n + 1) + " " + wrong);
        runs[r]->push_back(v);
      }
    }
  }

  const std::string path_;  // as reports name it
  TextLines lines_;
  SrfVisitor& visitor_;
  std::vector<std::string>* warnings_;
  std::vector<std::string_view> fields_;
  SrfHeader header_;
  SrfPoint point_;
  bool comments_ = false;
  int point_fields_ = 0;  // fields of a point's first line, set by the first point
  long declared_ = 0, block_line_ = 0;
};

}  // namespace

void read_srf(const std::string& path, SrfVisitor& visitor, std::vector<std::string>* warnings) {
  SrfReader(path, visitor, warnings).read();
}
