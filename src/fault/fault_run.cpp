// The fault run: every subfault's pulse on all cores, streamed in subfault
// order into the SRF file (and, on request, the subfault CSV and a batch
// table), each file renamed into place only when complete.
#include "fault/fault_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "sys/atomic_file.h"
#include "fault/description.h"
#include "sys/end_signal.h"
#include "fault/geometry.h"
#include "fault/rupture_times.h"
#include "srf/magnitude.h"
#include "sys/progress.h"
#include "sys/refusal.h"
#include "sys/standard_streams.h"
#include "sys/text_format.h"
#include "srf/srf_write.h"
#include "fault/subfault_answers.h"
#include "fault/subfault_pulse.h"
#include "pulse/pulse_times.h"

namespace {

// An output must not replace an input, nor another output.
void refuse_overlaps(const FaultRunRequest& o, const Description& d) {
  auto same = [](const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (a == b) return true;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  };
  std::vector<std::string> inputs = {o.description};
  if (!d.table_path.empty()) inputs.push_back(d.table_path);
  if (!d.velocity_file.empty()) inputs.push_back(d.velocity_file);
  std::vector<std::string> outputs = {o.srf};
  if (!o.csv.empty()) outputs.push_back(o.csv);
  if (!o.table.empty()) outputs.push_back(o.table);
  for (size_t k = 0; k < outputs.size(); k++) {
    for (const auto& in : inputs)
      if (same(outputs[k], in)) throw Refusal(outputs[k] + ": is an input of this run; choose another name");
    for (size_t m = k + 1; m < outputs.size(); m++)
      if (same(outputs[k], outputs[m])) throw Refusal(outputs[k] + ": named for two outputs");
  }
}

// What the whole run shares: read-only while the workers run.
struct Job {
  const Description& d;
  const SubfaultAnswers& answers;
  bool medium;                 // the points carry VS and DEN (SRF 2.0)
  std::vector<SrfPlane> planes;  // each segment's plane as the SRF states it
  Samples tm;
  const std::vector<double>& tinit;  // s, by subfault; empty: distance / velocity
  std::vector<long> first;           // each segment's first subfault, then the count of all
  // The segment of subfault `index` (over all segments, from 0).
  int segment_of(long index) const {
    return static_cast<int>(std::upper_bound(first.begin(), first.end(), index) - first.begin()) - 1;
  }
};

Job job_for(const Description& d, const SubfaultAnswers& answers, bool medium, const std::vector<double>& tinit) {
  Job job{d, answers, medium, {}, {}, tinit, {0}};
  for (const Segment& s : d.segments) {
    job.planes.push_back(srf_plane(s.plane));
    job.first.push_back(job.first.back() + static_cast<long>(s.plane.nstk) * s.plane.ndip);
  }
  fill_time_grid(job.tm, nt_grid);
  return job;
}

// One subfault as the writers need it.
struct PointResult {
  SubfaultPlace place;
  Answers answers;
  float td = 0, tr = 0, peak = 0;
  int nt1 = 0;
  double slip1 = 0, moment = 0;  // cm, N m
  std::string srf, error;
};

void compute_point(const Job& job, long index, SubfaultPulse& pulse, PointResult& r) {
  const int g = job.segment_of(index);
  const Plane& p = job.d.segments[static_cast<size_t>(g)].plane;
  const long k = index - job.first[static_cast<size_t>(g)];
  const double area_km2 = subfault_area_km2(p);
  r.srf.clear();
  r.error.clear();
  try {
    r.place = place_on(p, job.planes[static_cast<size_t>(g)], static_cast<int>(k % p.nstk) + 1,
                       static_cast<int>(k / p.nstk) + 1);
    r.place.segment = g;
    r.place.tinit = job.tinit.empty() ? straight_time(p, r.place, job.d.rupture_velocity)
                                      : job.tinit[static_cast<size_t>(index)];
    r.answers = job.answers.of(r.place);
    compute_pulse(job.tm, r.answers, r.place.i, r.place.j, pulse);
    r.td = pulse.td, r.tr = pulse.tr, r.nt1 = pulse.nt1;
    r.peak = pulse.peak;
    SrfPoint f;
    f.lon = r.place.lon, f.lat = r.place.lat, f.dep = r.place.depth;
    f.stk = p.strike, f.dip = p.dip, f.rake = p.rake;
    f.area = area_km2 * 1e10;  // km^2 -> cm^2
    f.tinit = r.place.tinit;
    f.dt = grid_step;
    f.has_medium = job.medium;
    // The layer that holds the centre: its VS, DEN and mu.
    const Layer& layer = layer_at(job.d.medium, r.place.depth);
    f.vs = layer.vs * 1e5;  // km/s -> cm/s
    f.den = layer.density;
    r.slip1 = append_srf_point(r.srf, f, pulse.rate.v, pulse.nt1);
    r.moment = layer_shear_modulus(layer) * (area_km2 * 1e6) * (r.slip1 / 100);
  } catch (const std::exception& e) {
    // With several segments the subfault (i, j) is named with its segment.
    r.error = job.d.segments.size() > 1 ? "segment " + std::to_string(g + 1) + ", " + e.what() : e.what();
  }
}

// Subfaults first .. first + n - 1 on `jobs` threads, interleaved so that
// slow pulses spread over all of them; results in subfault order.
void run_chunk(const Job& job, long first, long n, std::vector<PointResult>& out, int jobs) {
  auto work = [&](long t) {
    SubfaultPulse pulse;
    for (long k = t; k < n; k += jobs) compute_point(job, first + k, pulse, out[static_cast<size_t>(k)]);
  };
  std::vector<std::jthread> threads;
  for (long t = 1; t < jobs && t < n; t++) threads.emplace_back(work, t);
  work(0);
}

void write(AtomicFile& f, const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), f.stream()) != text.size())
    throw Refusal(f.target() + ": write failed: " + std::strerror(errno), status_failed);
}

// The fault's totals, summed in subfault order: the same for every -j.
struct Totals {
  long points = 0, with_slip = 0;
  double moment = 0, sum_slip = 0, max_slip = 0, max_tinit = 0, end = 0;
  void add(const PointResult& r) {
    points++;
    moment += r.moment;
    sum_slip += r.slip1;
    max_slip = std::max(max_slip, r.slip1);
    max_tinit = std::max(max_tinit, r.place.tinit);
    if (r.nt1 > 0) {
      with_slip++;
      end = std::max(end, r.place.tinit + (r.nt1 - 1) * grid_step);
    }
  }
};

// With several segments a first column names the segment (from 1).
std::string csv_line(const PointResult& r, bool segments) {
  char buf[512];
  int n = segments ? std::snprintf(buf, sizeof buf, "%d,", r.place.segment + 1) : 0;
  std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), "%d,%d,%.4f,%.4f,%.6f,%.6f,%.5f,%.6f,%s,%s,%s,%s,%s,%s,%d,%.5e,%.4f,%.6e\n", r.place.i,
                r.place.j, r.place.along, r.place.down, r.place.lon, r.place.lat, r.place.depth, r.place.tinit,
                float_text(r.answers.fmax).c_str(), float_text(r.answers.slip).c_str(),
                float_text(r.answers.vm).c_str(), float_text(r.answers.ts).c_str(), float_text(r.td).c_str(),
                float_text(r.tr).c_str(), r.nt1, static_cast<double>(r.peak) * 100, r.slip1, r.moment);
  return buf;
}

const char* csv_header =
    "i,j,along_strike_km,down_dip_km,lon,lat,depth_km,tinit_s,fmax,slip,vm,ts,td,tr,nt1,peak_slip_rate_cm_s,"
    "slip1_cm,moment_N_m\n";

// A row of slipvel-batch's table: the subfault's id (with several segments
// g<segment>_ first) and its four answers.
std::string table_line(const PointResult& r, const Description& d) {
  const Plane& p = d.segments[static_cast<size_t>(r.place.segment)].plane;
  int wi = static_cast<int>(std::to_string(p.nstk).size()), wj = static_cast<int>(std::to_string(p.ndip).size());
  char id[80];
  int n = d.segments.size() > 1 ? std::snprintf(id, sizeof id, "g%d_", r.place.segment + 1) : 0;
  std::snprintf(id + n, sizeof id - static_cast<size_t>(n), "s%0*d_%0*d", wi, r.place.i, wj, r.place.j);
  return std::string(id) + "," + float_text(r.answers.fmax) + "," + float_text(r.answers.slip) + "," +
         float_text(r.answers.vm) + "," + float_text(r.answers.ts) + "\n";
}

// The subfaults in chunks, each chunk on all threads and then handed to
// `take` in subfault order: memory stays the same for any fault size.
template <class Take>
void for_each_point(const Job& job, int jobs, Take take) {
  const long np = job.first.back();
  const long chunk = 1024;
  std::vector<PointResult> results(static_cast<size_t>(std::min(chunk, np)));
  Progress progress(np);
  for (long first = 0; first < np; first += chunk) {
    long n = std::min(chunk, np - first);
    run_chunk(job, first, n, results, jobs);
    check_end_signal();
    for (long k = 0; k < n; k++) {
      const PointResult& r = results[static_cast<size_t>(k)];
      if (!r.error.empty()) throw Refusal(r.error);
      take(r);
    }
    progress.show(first + n);
  }
}

// With `points_per_segment` each segment after the first opens its own
// POINTS block.
Totals stream_points(const Job& job, int jobs, bool points_per_segment, AtomicFile& srf,
                     std::optional<AtomicFile>& csv, std::optional<AtomicFile>& table) {
  Totals totals;
  const bool segments = job.d.segments.size() > 1;
  for_each_point(job, jobs, [&](const PointResult& r) {
    if (points_per_segment && r.place.segment > 0 && r.place.i == 1 && r.place.j == 1) {
      size_t g = static_cast<size_t>(r.place.segment);
      write(srf, "POINTS " + std::to_string(job.first[g + 1] - job.first[g]) + "\n");
    }
    write(srf, r.srf);
    if (csv) write(*csv, csv_line(r, segments));
    if (table) write(*table, table_line(r, job.d));
    totals.add(r);
  });
  return totals;
}

// The factor that gives the fault the moment of magnitude `mw`. Scaling the
// described slips by the moments' ratio is not quite enough: each pulse
// carries its target slip only to within the boundary search's tolerance
// (4.6476 m for 4.65 m), and that share changes with the slip. One pass over
// the pulses with the first factor measures the moment they carry, and the
// factor is corrected by that ratio.
double slip_factor(const Description& d, double mw, int jobs, const std::vector<double>& tinit) {
  double first = magnitude_factor(d, mw);
  if (!std::isfinite(first) || first <= 0)
    throw Refusal(d.path + ": MAGNITUDE: every slip of the plane is 0, so no factor gives the fault that moment");
  SubfaultAnswers answers(d, first);
  Job job = job_for(d, answers, true, tinit);
  double carried = 0;
  for_each_point(job, jobs, [&](const PointResult& r) { carried += r.moment; });
  return first * (seismic_moment(mw) / carried);
}

void print_summary(const Description& d, const Totals& t, double factor, const AtomicFile& srf,
                   const std::vector<const AtomicFile*>& extras) {
  std::string out;
  appendf(out, "subfaults: %ld (", t.points);
  double area = 0;
  for (size_t g = 0; g < d.segments.size(); g++) {
    const Plane& p = d.segments[g].plane;
    appendf(out, "%s%d along strike x %d down dip, %g x %g km", g ? "; " : "", p.nstk, p.ndip, p.dlen, p.dwid);
    area += p.length * p.width;
  }
  appendf(out, "), %ld with slip\n", t.with_slip);
  appendf(out, "area: %g km^2\n", area);
  if (t.moment > 0) appendf(out, "moment: %.6e N m, Mw %.4f\n", t.moment, moment_magnitude(t.moment));
  else out += "moment: 0 N m\n";
  appendf(out, "slip: mean %.4f cm, largest %.4f cm\n", t.sum_slip / static_cast<double>(t.points), t.max_slip);
  if (d.magnitude) appendf(out, "magnitude %g: every slip scaled by %.9g\n", *d.magnitude, factor);
  if (d.medium.layers.size() > 1)
    appendf(out, "medium: %zu layers, over the plane (area-weighted) vs %.4f km/s, density %.4f g/cm^3, mu %.6e Pa\n",
            d.medium.layers.size(), d.vs, d.density, d.mu);
  if (d.rupture_ratio) {
    appendf(out, "rupture velocity: %g x VS", d.rupture_ratio->ratio);
    if (d.rupture_ratio->shallow_ratio)
      appendf(out, " (%g x VS above %g km)", *d.rupture_ratio->shallow_ratio, *d.rupture_ratio->shallow_depth);
    appendf(out, ", over the plane (area-weighted) %.4f km/s\n", d.rupture_velocity);
  }
  appendf(out, "rupture duration: %.2f s (the front reaches the last subfault at %.2f s)\n", t.end, t.max_tinit);
  appendf(out, "written: %s (%lld bytes)\n", srf.target().c_str(), srf.size());
  for (const AtomicFile* f : extras) appendf(out, "written: %s (%lld bytes)\n", f->target().c_str(), f->size());
  print_out(out);
}

}  // namespace

void run_fault(const FaultRunRequest& o) {
  std::vector<std::string> warnings;
  Description d = read_description(o.description, warnings);
  for (const auto& w : warnings) std::fprintf(stderr, "slipvel-fault: warning: %s\n", w.c_str());
  refuse_overlaps(o, d);
  const std::vector<double> tinit = rupture_times(d, o.jobs);
  double factor = d.magnitude ? slip_factor(d, *d.magnitude, o.jobs, tinit) : 1;
  SubfaultAnswers answers(d, factor);
  Job job = job_for(d, answers, o.srf_version == "2.0", tinit);

  // The outputs, each under a temporary name until the end.
  AtomicFile srf(o.srf);
  std::optional<AtomicFile> csv, table;
  if (!o.csv.empty()) write(csv.emplace(o.csv), (d.segments.size() > 1 ? "segment," : "") + std::string(csv_header));
  if (!o.table.empty()) write(table.emplace(o.table), "id,fmax,slip,vm,ts\n");
  // PLANE with every segment; one POINTS block of them all, or one each.
  SrfHeader header{o.srf_version, {}};
  for (const Plane& p : planes_with_starts(d, tinit)) header.planes.push_back(srf_plane(p));
  write(srf, srf_header(header, o.points_per_segment ? job.first[1] : job.first.back()));

  Totals totals = stream_points(job, o.jobs, o.points_per_segment, srf, csv, table);
  std::vector<const AtomicFile*> extras;
  for (auto* f : {&csv, &table})
    if (*f) (*f)->commit(), extras.push_back(&**f);
  srf.commit();
  print_summary(d, totals, factor, srf, extras);
}
