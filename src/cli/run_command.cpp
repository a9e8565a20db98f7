#include "cli/run_command.h"

#include <algorithm>
#include <charconv>
#include <thread>

#include "cli/command_line.h"
#include "fault/fault_run.h"
#include "sys/refusal.h"

const char* const run_synopsis =
    "usage: slipvel-fault [-j N] [-o FILE.srf] [--srf-version 1.0|2.0] [--points-per-segment] [--csv FILE.csv] "
    "[--table FILE.csv] DESCRIPTION.toml";
const char* const run_details =
    "Writes the fault of a TOML description as one SRF file, every subfault with the pulse of slipvel.\n"
    "  -o FILE.srf           the SRF file (\"-\": standard output; default: the description's name with .srf,\n"
    "                        in this folder)\n"
    "  --srf-version V       1.0 or 2.0 (default 2.0)\n"
    "  --points-per-segment  one POINTS block per segment (default: one for all)\n"
    "  --csv FILE.csv        also every subfault's position, rupture time, answers, slip and moment\n"
    "  --table FILE.csv      also a table for slipvel-batch with every subfault's four answers\n"
    "  -j N                  subfaults computed on N threads (default: every core)\n";

namespace {

const Usage usage = {run_synopsis, run_details};

int parse_jobs(const std::string& text) {
  int n = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), n);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || n < 1 || n > 1024)
    throw Refusal("-j takes a whole number from 1 to 1024, not \"" + text + "\"");
  return n;
}

// The SRF's default name: the description's, ending in .srf, in this folder.
std::string default_srf(const std::string& description) {
  std::string name = description.substr(description.rfind('/') + 1);
  if (name.ends_with(".toml")) name.resize(name.size() - 5);
  return name + ".srf";
}

}  // namespace

int fault_run_command(int argc, char** argv) {
  CommandLine line = parse_command_line(
      argc, argv, {{"-j", "a value"}, {"-o", "a value"}, {"--csv", "a value"}, {"--table", "a value"}, {"--srf-version", "a value"},
                  {"--points-per-segment"}},
      usage);
  if (line.help) return print_usage(usage);
  FaultRunRequest r;
  r.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (const auto& [name, value] : line.options) {
    if (name == "-j") r.jobs = parse_jobs(value);
    if (name == "-o") r.srf = value;
    if (name == "--csv") r.csv = value;
    if (name == "--table") r.table = value;
    if (name == "--points-per-segment") r.points_per_segment = true;
    if (name == "--srf-version") {
      if (value != "1.0" && value != "2.0") throw Refusal("--srf-version is 1.0 or 2.0, not \"" + value + "\"");
      r.srf_version = value;
    }
  }
  if (line.operands.empty()) refuse_command_line("no description given", usage);
  if (line.operands.size() > 1) refuse_command_line("one description at a time", usage);
  r.description = line.operands[0];
  if (r.srf.empty()) r.srf = default_srf(r.description);
  run_fault(r);
  return 0;
}
