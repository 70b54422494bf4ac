#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "common/ErrorChannel.h"
#include "noxtrel.h"

namespace {

TEST(ErrorChannel, GuardRecordsCodeAndMessageAndReturnsFallback) {
  nx::ClearLastNxError();
  int r = nx::NxGuard(-1, []() -> int { throw nx::ENxError(nx::nxeFile, "Cannot create file x.pdf"); });
  EXPECT_EQ(r, -1);
  EXPECT_EQ(NxGetLastError(), nx::nxeFile);
  char buf[64];
  NxGetLastErrorText(buf, sizeof buf);
  EXPECT_STREQ(buf, "Cannot create file x.pdf");

  nx::NxGuardVoid([] { throw std::logic_error("plain"); });
  EXPECT_EQ(NxGetLastError(), nx::nxeGeneral);
  nx::NxGuardVoid([] { throw 42; });
  NxGetLastErrorText(buf, sizeof buf);
  EXPECT_STREQ(buf, "Unknown error");
}

TEST(ErrorChannel, TextIsTruncatedToTheBufferAndNeverOverruns) {
  nx::SetLastNxError(nx::nxeGeneral, "abcdefghij");
  char buf[8];
  std::memset(buf, 'X', sizeof buf);
  NxGetLastErrorText(buf, 5);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(buf[5], 'X');
  NxGetLastErrorText(buf, 0);  // nothing written, no crash
  NxGetLastErrorText(nullptr, 10);
  nx::ClearLastNxError();
  EXPECT_EQ(NxGetLastError(), 0);
}

}  // namespace
