#include "fault/nearest_key.h"

#include <algorithm>
#include <cctype>

namespace {

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Levenshtein distance, one row at a time.
size_t edits(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); j++) row[j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    size_t diag = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); j++) {
      size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (fold(a[i - 1]) != fold(b[j - 1]))});
      diag = up;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string nearest_key(std::string_view key, const std::vector<std::string_view>& known) {
  std::string best;
  size_t best_edits = std::max<size_t>(key.size() / 2, 1) + 1;
  for (std::string_view k : known) {
    size_t e = edits(key, k);
    if (e < best_edits) best_edits = e, best = std::string(k);
  }
  return best;
}
