// Any text as a stored settings value: it reads as a number exactly when it
// is a whole decimal number that fits 32 bits, and then as that number.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/stored_integer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::int32_t value = 0;
  const bool parsed = kelvo::ParseStoredInteger(text, value);

  // An independent reading, digit by digit with a saturating magnitude.
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const bool digitsOnly =
      i < text.size() && text.find_first_not_of("0123456789", i) == std::string::npos;
  std::int64_t magnitude = 0;
  for (; digitsOnly && i < text.size(); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > (std::int64_t{1} << 40)) magnitude = std::int64_t{1} << 40;
  }
  const std::int64_t expected = negative ? -magnitude : magnitude;
  const bool fits = digitsOnly && expected >= INT32_MIN && expected <= INT32_MAX;
  if (parsed != fits) std::abort();
  if (parsed && value != expected) std::abort();
  return 0;
}
