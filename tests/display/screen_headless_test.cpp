#include <gtest/gtest.h>

#include "display/screen.h"

namespace {

TEST(HeadlessScreen, CountsLiveScreensAndKeepsTheContract) {
  EXPECT_EQ(screenClassUseCount, 0);
  {
    Screen first("Demo", 640, 480, false);
    EXPECT_EQ(screenClassUseCount, 1);
    EXPECT_EQ(first.pixelCount, 640u * 480u);
    EXPECT_NE(first.frameBuffer, nullptr);
    EXPECT_NE(first.convertRow, nullptr);
    {
      Screen second("Demo", 8, 4, true);
      EXPECT_EQ(screenClassUseCount, 2);
      EXPECT_TRUE(second.fullscreen);
      EXPECT_TRUE(second.present());
    }
    EXPECT_EQ(screenClassUseCount, 1);
    EXPECT_TRUE(first.present());
  }
  EXPECT_EQ(screenClassUseCount, 0);
}

}  // namespace
