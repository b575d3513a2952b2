#pragma once
// The player's pseudo-random generator: the minimal standard generator
// (16807 * state mod 2147483647) by Schrage's method in signed 32-bit
// arithmetic. One state for the whole process; 1 until the first seeding.

#include <cstdint>

namespace kelvo {

// Sets the state to `seed`, or to 64 when `seed` is 0; returns the new state.
std::int32_t SeedRandom(std::int32_t seed);
// Advances one step and returns the new state, always in 1..2147483646.
std::int32_t NextRandom();
// One step from a given state, without touching the process's state.
std::int32_t MinimalStandardStep(std::int32_t state);

// Milliseconds since local midnight, the start-up seed (0..86399999).
std::int32_t MillisecondsSinceLocalMidnight();

}  // namespace kelvo
