#pragma once
// The fault run: a description to an SRF file (and, on request, the
// subfaults' CSV and a table for slipvel-batch).
#include <string>

struct FaultRunRequest {
  std::string description;           // the TOML file
  std::string srf;                   // the SRF file
  std::string csv, table;            // also these where named
  std::string srf_version = "2.0";   // "1.0" or "2.0"
  int jobs = 1;                      // threads
  bool points_per_segment = false;   // one POINTS block per segment
};

// Reads the description, computes every subfault's pulse on `jobs` threads
// and streams the files, each renamed into place only when complete; then
// prints the summary on standard output. A description, a table or a pulse
// that cannot be used throws Refusal, with nothing written.
void run_fault(const FaultRunRequest& request);
