// The product's own 30-second time-out, with a converter that never finishes.
#include <chrono>

#include "converter_test_util.h"

using namespace pelorin;
using pelorin_test::ConverterTest;

using RealTimeoutTest = ConverterTest;

TEST_F(RealTimeoutTest, ConverterIsKilledAfterThirtySeconds) {
  ASSERT_EQ(GetRunLimits().TimeoutMs, 30000u);
  int32_t code = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunProcessWait(testpaths::SleepStandInExe(), testpaths::SleepStandInExe(), code));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(code, -1);
  EXPECT_GE(seconds, 29.5);
  EXPECT_LT(seconds, 60.0);
  EXPECT_NE(Log().find("RunProcessWait: TIMEOUT after 30000 ms, terminating obabel process"), std::string::npos);
}
