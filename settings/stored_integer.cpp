#include "settings/stored_integer.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace kelvo {

bool ParseStoredInteger(const std::string& text, std::int32_t& value) {
  if (text.empty()) return false;
  const char* begin = text.c_str();
  // Only a whole decimal number, optionally signed: no blanks, no other bases.
  const char* digits = (*begin == '-' || *begin == '+') ? begin + 1 : begin;
  if (*digits < '0' || *digits > '9') return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(begin, &end, 10);
  if (errno != 0 || end != begin + text.size() || parsed < INT32_MIN || parsed > INT32_MAX)
    return false;
  value = static_cast<std::int32_t>(parsed);
  return true;
}

}  // namespace kelvo
