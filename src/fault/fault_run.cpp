// The fault run: every subfault's pulse on all cores, streamed in subfault
// order into the SRF file (and, on request, the subfault CSV and a batch
// table), each file renamed into place only when complete.
#include "fault/fault_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "sys/atomic_file.h"
#include "fault/derivation_table.h"
#include "fault/description.h"
#include "sys/end_signal.h"
#include "fault/geometry.h"
#include "fault/rupture_times.h"
#include "srf/magnitude.h"
#include "sys/progress.h"
#include "sys/refusal.h"
#include "fault/scenario_regions.h"
#include "sys/standard_streams.h"
#include "sys/target_lock.h"
#include "sys/text_format.h"
#include "srf/srf_facts.h"
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

// The double that `x` printed with `layout` reads back as.
double as_printed(const char* layout, double x) { return std::strtod(formatted(layout, x).c_str(), nullptr); }

// What the whole run shares: read-only while the workers run.
struct Job {
  const Description& d;
  const SubfaultAnswers& answers;
  bool medium;                   // the points carry VS and DEN (SRF 2.0)
  std::vector<SrfPlane> planes;  // each segment's plane as the SRF states it
  PulseGrid grid;                // as long as the longest pulse needs
  const std::vector<double>& tinit;  // s, by subfault; empty: distance / velocity
  std::vector<long> first;           // each segment's first subfault, then the count of all
  const ScenarioRegions* regions = nullptr;  // a scenario's regions, to name each subfault's
  std::vector<std::string> region_phrases;   // "asperity 1", ..., "the background"
  // The segment of subfault `index` (over all segments, from 0).
  int segment_of(long index) const {
    return static_cast<int>(std::upper_bound(first.begin(), first.end(), index) - first.begin()) - 1;
  }
};

Job job_for(const Description& d, const SubfaultAnswers& answers, bool medium, const std::vector<double>& tinit,
            const ScenarioRegions* regions) {
  Job job{d, answers, medium, {}, PulseGrid(longest_ts(d)), tinit, {0}, regions, {}};
  for (const Segment& s : d.segments) {
    job.planes.push_back(srf_plane(s.plane));
    job.first.push_back(job.first.back() + static_cast<long>(s.plane.nstk) * s.plane.ndip);
  }
  if (regions)
    for (size_t k = 0; k <= regions->asperities.size(); k++) {
      std::string name = region_name(*regions, static_cast<int>(k));
      job.region_phrases.push_back(k < regions->asperities.size() ? name : "the " + name);
    }
  return job;
}

// Why a pulse scaled by MAGNITUDE failed: the slip it was given. (A
// scenario's pulses are named by their region, whose answers it derived.)
std::string scaled_by(const Job& job, const SubfaultPlace& place) {
  if (job.answers.slip_factor() == 1 || job.d.scenario) return "";
  return " (the slip is the described " + float_text(job.answers.unscaled(place).slip) + " m scaled by " +
         formatted("%.9g", job.answers.slip_factor()) + " for MAGNITUDE = " + formatted("%g", *job.d.magnitude) + ")";
}

// One subfault as the writers need it.
struct PointResult {
  SubfaultPlace place;
  Answers answers;
  float td = 0, tr = 0, peak = 0;
  int nt1 = 0;
  double slip1 = 0, moment = 0;  // cm, N m
  double file_moment = 0;         // N m, of the point as printed: what info finds
  int region = -1;               // in a scenario: its region
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
    static const std::string no_region;
    if (job.regions) r.region = region_of(*job.regions, r.place);
    try {
      compute_pulse(job.grid, r.answers, r.place.i, r.place.j, pulse,
                    job.regions ? job.region_phrases[static_cast<size_t>(r.region)] : no_region);
    } catch (const Refusal& e) {
      throw Refusal(e.what() + scaled_by(job, r.place));
    }
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
    r.slip1 = append_srf_point(r.srf, f, pulse.rate.data(), pulse.nt1);
    r.moment = layer_shear_modulus(layer) * (area_km2 * 1e6) * (r.slip1 / 100);
    // The moment of the point as its lines print it: what info finds.
    SrfPoint printed;
    printed.has_medium = true;
    printed.area = as_printed("%12.5e", f.area);
    printed.vs = as_printed("%13.5e", f.vs);
    printed.den = as_printed("%13.5e", f.den);
    printed.slip1 = as_printed("%10.4f", r.slip1);
    r.file_moment = point_moment(printed);
  } catch (const std::exception& e) {
    // With several segments the subfault (i, j) is named with its segment.
    r.error = job.d.segments.size() > 1 ? "segment " + std::to_string(g + 1) + ", " + e.what() : e.what();
  }
}

// Subfaults index(0) .. index(n - 1) on `jobs` threads, interleaved so that
// slow pulses spread over all of them; results in that order.
template <class Index>
void run_points(const Job& job, long n, Index index, std::vector<PointResult>& out, int jobs) {
  auto work = [&](long t) {
    SubfaultPulse pulse;
    for (long k = t; k < n; k += jobs) compute_point(job, index(k), pulse, out[static_cast<size_t>(k)]);
  };
  std::vector<std::jthread> threads;
  for (long t = 1; t < jobs && t < n; t++) threads.emplace_back(work, t);
  work(0);
}

// Subfaults first .. first + n - 1.
void run_chunk(const Job& job, long first, long n, std::vector<PointResult>& out, int jobs) {
  run_points(job, n, [first](long k) { return first + k; }, out, jobs);
}

// The fault's totals, summed in subfault order: the same for every -j.
struct Totals {
  long points = 0, with_slip = 0;
  // The moment as the file states it (the same sum as `info`'s), and the
  // rest from the computed values.
  double moment = 0, sum_slip = 0, max_slip = 0, max_tinit = 0, end = 0;
  std::vector<long> per_region;  // a scenario's subfaults by region
  void add(const PointResult& r) {
    points++;
    if (r.region >= 0) per_region[static_cast<size_t>(r.region)]++;
    moment += r.file_moment;
    sum_slip += r.slip1;
    max_slip = std::max(max_slip, r.slip1);
    max_tinit = std::max(max_tinit, r.place.tinit);
    if (r.nt1 > 0) {
      with_slip++;
      end = std::max(end, r.place.tinit + (r.nt1 - 1) * grid_step);
    }
  }
};

// With several segments a first column names the segment (from 1); a
// scenario names each subfault's region in a last one.
std::string csv_line(const PointResult& r, const Job& job) {
  const bool segments = job.d.segments.size() > 1;
  char buf[512];
  int n = segments ? std::snprintf(buf, sizeof buf, "%d,", r.place.segment + 1) : 0;
  std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), "%d,%d,%.4f,%.4f,%.6f,%.6f,%.5f,%.6f,%s,%s,%s,%s,%s,%s,%d,%.5e,%.4f,%.6e\n", r.place.i,
                r.place.j, r.place.along, r.place.down, r.place.lon, r.place.lat, r.place.depth, r.place.tinit,
                float_text(r.answers.fmax).c_str(), float_text(r.answers.slip).c_str(),
                float_text(r.answers.vm).c_str(), float_text(r.answers.ts).c_str(), float_text(r.td).c_str(),
                float_text(r.tr).c_str(), r.nt1, static_cast<double>(r.peak) * 100, r.slip1, r.moment);
  std::string line = buf;
  // A scenario names each subfault's region in a last column.
  if (job.regions) {
    line.back() = ',';
    line += region_name(*job.regions, r.region);
    line += '\n';
  }
  return line;
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
  if (job.regions) totals.per_region.resize(job.regions->asperities.size() + 1);
  for_each_point(job, jobs, [&](const PointResult& r) {
    if (points_per_segment && r.place.segment > 0 && r.place.i == 1 && r.place.j == 1) {
      size_t g = static_cast<size_t>(r.place.segment);
      srf.write("POINTS " + std::to_string(job.first[g + 1] - job.first[g]) + "\n");
    }
    srf.write(r.srf);
    if (csv) csv->write(csv_line(r, job));
    if (table) table->write(table_line(r, job.d));
    totals.add(r);
  });
  return totals;
}

// Subfaults of the same described answers in the same layer, of the same
// area, carry the same moment at any factor: one pulse of each class tells
// the moment of all.
struct AnswerClass {
  long index = 0;  // its first subfault, from 0 in subfault order over all segments
  long count = 0;
};

// The classes of the fault's subfaults, keyed by the four answers, the
// rigidity of the layer that holds the centre and the segment's subfault
// area, or none where there are more
// than `most` (a table of single subfaults): then every pulse is computed.
std::vector<AnswerClass> answer_classes(const Description& d, size_t most) {
  SubfaultAnswers answers(d, 1);
  std::map<std::tuple<std::array<float, 4>, double, double>, size_t> seen;
  std::vector<AnswerClass> classes;
  long index = 0;
  for (size_t g = 0; g < d.segments.size(); g++) {
    const Plane& p = d.segments[g].plane;
    const double area_km2 = subfault_area_km2(p);
    for (int j = 1; j <= p.ndip; j++) {
      const double mu = layer_shear_modulus(layer_at(d.medium, depth_at(p, centre_of(p, 1, j).down)));
      for (int i = 1; i <= p.nstk; i++, index++) {
        SubfaultPlace s = centre_of(p, i, j);
        s.segment = static_cast<int>(g);
        Answers a = answers.unscaled(s);
        auto [at, fresh] = seen.emplace(std::tuple{std::array<float, 4>{a.fmax, a.slip, a.vm, a.ts}, mu, area_km2},
                                        classes.size());
        if (fresh) {
          if (classes.size() == most) return {};
          classes.push_back({index, 0});
        }
        classes[at->second].count++;
      }
    }
  }
  return classes;
}

// The factor that gives the fault the moment `m0` (N m). Scaling the
// described slips by the moments' ratio is not quite enough: each pulse
// carries its target slip only to within the boundary search's tolerance
// (4.6476 m for 4.65 m), and as a slip alone grows the slip carried moves in
// steps (about 0.15% for 0.8 m at 1 m/s), so the fault's moment is a
// staircase in the factor. (A scenario scales vm too: its pulses keep their
// shape and the moment follows the factor to rounding.) The moment is
// measured with the pulse of one subfault per class of answers: the factor
// is corrected by the ratio of the moments until one above and one below M0
// are known, then halving finds the stair nearest M0. Its pulses stay within
// one run's: at most 40 evaluations, and at most the subfaults per class;
// with every subfault its own class, one pass of all the pulses corrects the
// first factor once.
double slip_factor(const Description& d, double m0, int jobs, const std::vector<double>& tinit,
                   const ScenarioRegions* regions) {
  double first = moment_factor(d, m0);
  if (!std::isfinite(first) || first <= 0)
    throw Refusal(d.path + (d.scenario ? ": [scenario]" : ": MAGNITUDE") +
                  ": every slip of the plane is 0, so no factor gives the fault that moment");
  long np = 0;
  for (const Segment& s : d.segments) np += static_cast<long>(s.plane.nstk) * s.plane.ndip;
  std::vector<AnswerClass> classes = answer_classes(d, 4096);
  auto carried = [&](double factor) {
    SubfaultAnswers answers(d, factor);
    Job job = job_for(d, answers, true, tinit, regions);
    double moment = 0;
    if (classes.empty()) {
      for_each_point(job, jobs, [&](const PointResult& r) { moment += r.moment; });
      return moment;
    }
    // In chunks, as the run's, so that an end signal is seen between them.
    const long nc = static_cast<long>(classes.size()), chunk = 1024;
    std::vector<PointResult> results(static_cast<size_t>(std::min(chunk, nc)));
    for (long first = 0; first < nc; first += chunk) {
      long n = std::min(chunk, nc - first);
      run_points(job, n, [&](long k) { return classes[static_cast<size_t>(first + k)].index; }, results, jobs);
      check_end_signal();
      for (long k = 0; k < n; k++) {
        const PointResult& r = results[static_cast<size_t>(k)];
        if (!r.error.empty()) throw Refusal(r.error);
        moment += static_cast<double>(classes[static_cast<size_t>(first + k)].count) * r.moment;
      }
    }
    return moment;
  };
  long evaluations = classes.empty() ? 1 : std::clamp(np / static_cast<long>(classes.size()), 1L, 40L);
  double factor = first, below = 0, above = 0, best = 0, best_error = INFINITY;
  for (long n = 0; n < evaluations; n++) {
    double moment = carried(factor);
    double error = std::fabs(moment - m0);
    // Closer than the slips' 4 decimals of cm in the SRF can show.
    if (error <= 1e-7 * m0) return factor;
    if (error < best_error) best_error = error, best = factor;
    (moment < m0 ? below : above) = factor;
    bool bracket = below > 0 && above > 0;
    // The ratio's correction three times and until M0 is bracketed; then
    // halving, which finds the nearest stair of a staircase.
    double next = !bracket || n < 3 ? factor * (m0 / moment) : below + (above - below) / 2;
    if (bracket && !(next > below && next < above)) next = below + (above - below) / 2;
    if (bracket && above - below <= 1e-12 * above) break;
    factor = next;
  }
  // Without a factor on each side of M0 the last correction is the best guess.
  return below > 0 && above > 0 ? best : factor;
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
  // A scenario's derivation has said it.
  if (d.magnitude && !d.scenario) appendf(out, "magnitude %g: every slip scaled by %.9g\n", *d.magnitude, factor);
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
  bool streamed = false;
  std::vector<const AtomicFile*> files = {&srf};
  files.insert(files.end(), extras.begin(), extras.end());
  for (const AtomicFile* f : files) {
    streamed |= f->is_standard_output();
    appendf(out, "written: %s (%lld bytes)\n", f->is_standard_output() ? "standard output" : f->target().c_str(),
            f->size());
  }
  // Where an output is standard output, the summary goes to standard error,
  // out of the data's way.
  if (!streamed) print_out(out);
  else std::fputs(out.c_str(), stderr);
}

}  // namespace

void run_fault(const FaultRunRequest& o) {
  std::vector<std::string> warnings;
  Description d = read_description(o.description, warnings);
  warn_idle_areas(d, warnings);
  for (const auto& w : warnings) std::fprintf(stderr, "slipvel-fault: warning: %s\n", w.c_str());
  refuse_overlaps(o, d);
  // A scenario gives every subfault its region's answers, and the moment.
  std::optional<ScenarioRegions> regions;
  if (d.scenario) apply_regions(regions.emplace(derive_regions(d)), d);
  const ScenarioRegions* scenario = regions ? &*regions : nullptr;
  const std::vector<double> tinit = rupture_times(d, o.jobs);
  // Each output's name is this run's until it ends: a second run on any of
  // them is refused before it computes anything.
  std::list<TargetLock> locks;
  for (const std::string* name : {&o.srf, &o.csv, &o.table})
    if (!name->empty() && *name != "-") locks.emplace_back(*name);
  std::optional<double> m0;
  if (regions) m0 = regions->figures.m0;
  else if (d.magnitude) m0 = seismic_moment(*d.magnitude);
  double factor = m0 ? slip_factor(d, *m0, o.jobs, tinit, scenario) : 1;
  SubfaultAnswers answers(d, factor);
  Job job = job_for(d, answers, o.srf_version == "2.0", tinit, scenario);

  // The outputs, each under a temporary name until the end.
  AtomicFile srf(o.srf);
  std::optional<AtomicFile> csv, table;
  if (!o.csv.empty()) {
    std::string header = (d.segments.size() > 1 ? "segment," : "") + std::string(csv_header);
    if (regions) header.back() = ',', header += "region\n";
    csv.emplace(o.csv).write(header);
  }
  if (!o.table.empty()) table.emplace(o.table).write("id,fmax,slip,vm,ts\n");
  // PLANE with every segment; one POINTS block of them all, or one each.
  SrfHeader header{o.srf_version, {}};
  for (const Plane& p : planes_with_starts(d, tinit)) header.planes.push_back(srf_plane(p));
  srf.write(srf_header(header, o.points_per_segment ? job.first[1] : job.first.back()));

  Totals totals = stream_points(job, o.jobs, o.points_per_segment, srf, csv, table);
  if (totals.with_slip == 0)
    std::fprintf(stderr, "slipvel-fault: warning: %s:%d: every subfault's slip is 0: the fault has no moment\n",
                 d.path.c_str(), d.pulse_line);
  std::vector<const AtomicFile*> extras;
  for (auto* f : {&csv, &table})
    if (*f) (*f)->commit(), extras.push_back(&**f);
  srf.commit();
  if (regions) print_out(derivation_table(d, *regions, totals.per_region, factor));
  print_summary(d, totals, factor, srf, extras);
}
