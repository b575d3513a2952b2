#include "core/random.h"

#include <chrono>
#include <ctime>

namespace kelvo {

namespace {
std::int32_t g_state = 1;
}

std::int32_t MinimalStandardStep(std::int32_t state) {
  const std::int32_t hi = state / 127773;
  const std::int32_t lo = state % 127773;
  const std::int32_t t = 16807 * lo - 2836 * hi;
  return t > 0 ? t : t + 2147483647;
}

std::int32_t SeedRandom(std::int32_t seed) {
  g_state = seed == 0 ? 64 : seed;
  return g_state;
}

std::int32_t NextRandom() {
  g_state = MinimalStandardStep(g_state);
  return g_state;
}

std::int32_t MillisecondsSinceLocalMidnight() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto ms = static_cast<std::int32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms;
}

}  // namespace kelvo
