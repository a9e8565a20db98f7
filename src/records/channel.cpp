// The channel operations as the record statements use them: the one place
// where a failed operation becomes the failure report, and where an end
// signal seen by a wait or at a record boundary ends the run.
#include "records/channel.h"

#include "records/channel_table.h"
#include "records/end_signal.h"
#include "records/hand_over.h"
#include "records/read_ahead.h"
#include "records/report.h"
#include "records/run.h"

namespace {

void must(Fault f) {
  if (!f) return;
  if (f.err == err_end_signal) end_by_signal(end_signal());
  fail_run(f.err, f.context);
}

}  // namespace

void end_if_signalled() {
  if (int sig = end_signal()) end_by_signal(sig);
}

void open_file_channel(const char* name, const char* status) {
  if (channel(unit_file).connected) close_file_channel();
  note_statement(unit_file, false, nullptr);
  must(open_channel(name, status));
}

void close_file_channel() { must(close_channel(unit_file)); }

void close_all_channels() {
  for (int unit = 0; unit < channel_count; unit++) must(close_channel(unit));
}

void switch_to_writing(int unit, const char* context) { must(start_writing(unit, context)); }

void write_record(int unit, const char* text, size_t len) {
  must(hand_record(unit, text, len));
  end_if_signalled();
}

void flush_output() {
  if (channel(unit_output).connected) must(flush_channel(unit_output));
}

int read_char(int unit) {
  int c = next_char(unit);
  if (c == read_failed) must(channel(unit).fault);
  return c;
}

void unread_char(int unit, int c) { put_back(unit, c); }
