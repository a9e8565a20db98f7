// The channel operations as the record statements use them: the one place
// where a failed operation becomes the failure report, and where an end
// signal seen by a wait or at a record boundary ends the run.
#include "records/channel.h"

#include "records/channel_table.h"
#include "records/early_end.h"
#include "records/end_signal.h"
#include "records/hand_over.h"
#include "records/read_ahead.h"

namespace {

void must(Failure f) {
  if (!f) return;
  if (f.err == err_end_signal) end_by_signal(end_signal());
  fail_run(f.err, f.context);
}

// The records go to the system before the descriptor is closed; a file was
// cut where writing started, so it then ends after its last record.
void close_unit(int unit) {
  if (channel(unit).connected && channel(unit).writing) must(flush_channel(unit));
  must(close_channel(unit));
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

void close_file_channel() { close_unit(unit_file); }

void close_all_channels() {
  for (int unit = 0; unit < channel_count; unit++) close_unit(unit);
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
  if (c == read_failed) must(channel(unit).failure);
  return c;
}

void unread_char(int unit, int c) { put_back(unit, c); }
