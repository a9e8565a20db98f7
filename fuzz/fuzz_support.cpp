// Failure hook and scratch directory of the fuzz targets.
#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/channel.h"
#include "records/early_end.h"

namespace {

void throw_failure(int errnum, const char* context) { throw RunFailure{errnum, context}; }

char scratch[] = "/tmp/slipvel-fuzz-XXXXXX";
const char* const* scratch_files;

void remove_scratch() {
  for (const char* const* f = scratch_files; *f; f++) unlink(*f);
  if (chdir("/") == 0) rmdir(scratch);
}

}  // namespace

void catch_failures() { failure_hook = throw_failure; }

void finding(const char* what, const std::string& detail) {
  std::fprintf(stderr, "FINDING: %s %s\n", what, detail.c_str());
  std::abort();
}

void expect_read_failure(const RunFailure& f) {
  // Malformed numbers share one message; the end of the input has its own.
  static const char* const malformed[] = {"invalid number", "bad repetition count",
                                          "exponent field"};
  for (const char* c : malformed)
    if (f.context == c && f.errnum == err_list_input) return;
  if ((f.context == "list in" || f.context == "read start") && f.errnum == err_eof) return;
  finding("unexpected failure report", f.context + " / " + std::to_string(f.errnum));
}

void enter_scratch_directory(const char* const* files) {
  if (!mkdtemp(scratch) || chdir(scratch) != 0) finding("no scratch directory");
  scratch_files = files;
  std::atexit(remove_scratch);
}
