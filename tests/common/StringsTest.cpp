#include <gtest/gtest.h>

#include <string>

#include "common/Strings.h"

namespace {

using nx::WString;

// The table conversion must give the code page converter's byte for every
// UTF-16 unit, and '?' wherever that converter has no single byte.
TEST(Strings, WideTo1252MatchesTheCodePageConverterForEveryUnit) {
  int mismatches = 0;
  for (unsigned u = 0; u <= 0xFFFF; ++u) {
    const WString one(1, static_cast<WCHAR>(u));
    const std::string converted = nx::WideToAnsi(one, 1252);
    const char expected = converted.size() == 1 ? converted[0] : '?';
    const std::string got = nx::WideTo1252(one);
    ASSERT_EQ(1u, got.size()) << std::hex << u;
    if (got[0] != expected && ++mismatches <= 10)
      ADD_FAILURE() << "U+" << std::hex << u << ": table " << int(uint8_t(got[0])) << ", converter "
                    << int(uint8_t(expected));
  }
  EXPECT_EQ(0, mismatches);
}

TEST(Strings, WideTo1252KeepsOneBytePerUnit) {
  // Euro, a gap code kept as its control, Greek alpha, a surrogate pair.
  EXPECT_EQ(std::string("\x80" "a\x81?" "??\xE9", 7), nx::WideTo1252(u"\u20AC" "a\u0081\u03B1\U0001F600\u00E9"));
  EXPECT_EQ(std::string(), nx::WideTo1252(WString()));
}

}  // namespace
