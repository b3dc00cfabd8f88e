// The one reader of whole decimal numbers on the programs' command lines and in sweep
// definitions: digits alone (a sign only where asked for), nothing before or after.
#pragma once

#include <optional>
#include <string_view>

enum class Sign { refused, allowed };

// The value of `text` when it is wholly a decimal number whose magnitude is at most
// `limit` (0 <= limit < 2^62); nullopt for an empty word, a blank, any other character, a
// sign where `sign` refuses one, a lone sign, or a larger magnitude.
inline std::optional<long long> parseWholeNumber(std::string_view text, long long limit, Sign sign = Sign::refused) {
  bool negative = false;
  if (sign == Sign::allowed && !text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    // Past the limit the word is refused, so the sum never nears overflow.
    if (value > limit) return std::nullopt;
  }
  return negative ? -value : value;
}
