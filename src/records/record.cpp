// The record buffer: 400 characters at first, then 1024, doubled as needed.
#include "records/record.h"

#include <cstdlib>
#include <cstring>

#include "records/early_end.h"

Record record;

namespace {

void reserve(Record& r, size_t need) {
  if (need <= r.cap) return;
  size_t cap = r.cap == 0 ? 400 : 1024;
  while (cap < need) cap *= 2;
  char* buf = static_cast<char*>(std::malloc(cap));
  if (!buf) fail_run(err_no_space, "malloc failure");
  if (r.len) std::memcpy(buf, r.buf, r.len);
  std::free(r.buf);
  r.buf = buf;
  r.cap = cap;
}

}  // namespace

char* Record::room(size_t n) {
  reserve(*this, len + n);
  return buf + len;
}

void Record::put(const char* text, size_t n) {
  std::memcpy(room(n), text, n);
  len += n;
}

void Record::put(char c, size_t n) {
  std::memset(room(n), c, n);
  len += n;
}
