#pragma once
// How a stored settings text is read as a 32-bit integer.

#include <cstdint>
#include <string>

namespace kelvo {

// True, with the value, when `text` is a whole decimal number (an optional
// sign, then digits only) that fits a signed 32-bit integer.
bool ParseStoredInteger(const std::string& text, std::int32_t& value);

}  // namespace kelvo
