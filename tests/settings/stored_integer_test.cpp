#include "settings/stored_integer.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace kelvo {
namespace {

TEST(ParseStoredInteger, OnlyWholeNumbersThatFitInt32) {
  struct Case {
    const char* text;
    bool ok;
    std::int32_t value;
  } cases[] = {{"0", true, 0},
               {"120", true, 120},
               {"-1", true, -1},
               {"+5", true, 5},
               {"2147483647", true, INT32_MAX},
               {"-2147483648", true, INT32_MIN},
               {"2147483648", false, 0},
               {"4294967296", false, 0},
               {"", false, 0},
               {"yes", false, 0},
               {"1.5", false, 0},
               {" 1", false, 0},
               {"1 ", false, 0},
               {"0x10", false, 0},
               {"-", false, 0}};
  for (const auto& c : cases) {
    std::int32_t value = 0;
    EXPECT_EQ(ParseStoredInteger(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(ParseStoredInteger, EmbeddedNulIsNoNumber) {
  std::int32_t value = 0;
  EXPECT_FALSE(ParseStoredInteger(std::string("12\0"
                                              "34",
                                              5),
                                  value));
}

}  // namespace
}  // namespace kelvo
