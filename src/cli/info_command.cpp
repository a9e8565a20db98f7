#include "cli/info_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "srf/srf_facts.h"
#include "sys/standard_streams.h"

namespace {

const Usage usage = {
    "usage: slipvel-fault info FILE.srf",
    "Prints the facts of an SRF file (version 1.0 or 2.0), one a line: version, segments,\n"
    "points, moment and Mw, largest NT1 and TINIT, and how far SLIP1 is from DT*sum(SR1).\n"
    "FILE may be a pipe or a FIFO; \"--\" lets its name start with \"-\".\n"};

}  // namespace

int srf_info_command(int argc, char** argv) {
  CommandLine line = parse_command_line(argc, argv, {}, usage);
  if (line.help) return print_usage(usage);
  if (line.operands.empty()) refuse_command_line("no SRF file given", usage);
  if (line.operands.size() > 1) refuse_command_line("one SRF file at a time: " + line.operands[1], usage);
  SrfFacts facts;
  std::vector<std::string> warnings;
  read_srf(line.operands[0], facts, &warnings);
  for (const std::string& w : warnings) std::fprintf(stderr, "slipvel-fault: %s\n", w.c_str());
  print_out(facts_text(facts));
  return 0;
}
