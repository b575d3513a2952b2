#include "core/random.h"

#include "core/os.h"

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
  const TimeOfDay now = LocalTimeOfDay();
  return ((now.hour * 60 + now.minute) * 60 + now.second) * 1000 + now.millisecond;
}

}  // namespace kelvo
