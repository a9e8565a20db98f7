// Fuzz target: arbitrary bytes as the text of slip_t.csv, read back by the
// read-back stage with the characteristic times of the example answers.
// Every text must be read whole or end in one of the reader's failure
// reports; a complete read must pick only samples that the file held.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "records/channel.h"
#include "records/channel_table.h"
#include "program/read_slip_t.h"

namespace {

const char* const files[] = {"slip_t.csv", nullptr};

void write_slip_t_text(const uint8_t* data, size_t size) {
  int fd = open("slip_t.csv", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || close(fd) != 0)
    finding("cannot write slip_t.csv");
}

bool same(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The picked time, and the velocity kept with it, come from one row.
void expect_row(const Samples& tm, const Samples& rate, float t, const float* v) {
  for (int i = 1; i <= nt_grid; i++)
    if (same(tm(i), t) && (!v || same(rate(i), *v))) return;
  finding("a picked sample is not a row of the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (catch_failures(), enter_scratch_directory(files), true);
  (void)ready;
  write_slip_t_text(data, size);
  connect_standard_channels();

  // td, tr and ts of the answers 6, 4.65, 4.32 and 2.8.
  const float td = 0.0530516468f, tr = 1.86666667f, ts = 2.8f;
  static Samples tm, rate;
  Picks p;
  try {
    read_slip_t(nt_grid, td, tr, ts, tm, rate, p);
  } catch (const RunFailure& f) {
    expect_read_failure(f);
    close_file_channel();
    return 0;
  }
  if (channel(unit_file).connected) finding("the read-back left its file open");
  expect_row(tm, rate, p.td2, nullptr);
  expect_row(tm, rate, p.tr2, &p.v_tr);
  expect_row(tm, rate, p.ts2, &p.v_ts);
  expect_row(tm, rate, p.tr2_2, &p.v_tr_2);
  expect_row(tm, rate, p.tr2_3, &p.v_tr_3);
  expect_row(tm, rate, p.tr2_4, &p.v_tr_4);
  return 0;
}
