#pragma once
// The known key nearest to a misspelt one, for the message that refuses it.
#include <string>
#include <string_view>
#include <vector>

// The known key with the fewest single-letter edits (case ignored) from
// `key`; empty when none is within half the key's length.
std::string nearest_key(std::string_view key, const std::vector<std::string_view>& known);
