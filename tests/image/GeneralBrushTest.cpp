#include <gtest/gtest.h>

#include <vector>

#include "image/kernels/GaussianRecBlur.h"
#include "image/kernels/GeneralBrush.h"

namespace {

TEST(GeneralBrush, DefaultStampIsTheTrimmedBlurredDisc) {
  CGeneralBrush brush;
  ASSERT_TRUE(brush.Build());
  ASSERT_EQ(brush.m_stampSide, 206);
  EXPECT_EQ(brush.m_stamp[103 * 206 + 103], 125);

  // Rebuild the untrimmed square: side 248, half 123, limit 4096, level 127.
  const int side = 248;
  std::vector<uint8_t> full(side * side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      full[y * side + x] = (x - 123) * (x - 123) + (y - 123) * (y - 123) < 4096 ? 127 : 0;
  CGaussianRecBlur().Blur(full.data(), side, side, 30.0);
  for (int y = 0; y < 206; ++y)
    for (int x = 0; x < 206; ++x)
      ASSERT_EQ(brush.m_stamp[y * 206 + x], full[(y + 20) * side + x + 20]) << x << "," << y;
  // Everything outside rows and columns 21..225 of the blurred square is zero.
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      if (x < 21 || y < 21 || x > 225 || y > 225) {
        ASSERT_EQ(full[y * side + x], 0);
      }
}

TEST(GeneralBrush, SoftnessZeroIsAnUntrimmedHardDisc) {
  CGeneralBrush brush;
  brush.m_softness = 0;
  ASSERT_TRUE(brush.Build());
  ASSERT_EQ(brush.m_stampSide, 128);
  const uint8_t* row63 = brush.m_stamp.get() + 63 * 128;
  for (int x = 0; x <= 126; ++x) ASSERT_EQ(row63[x], 127) << x;
  EXPECT_EQ(row63[127], 0);
  EXPECT_EQ(brush.m_stamp[0], 0);
  EXPECT_EQ(brush.m_stamp[63], 127);  // top row touches the disc at the centre column
}

TEST(GeneralBrush, DegenerateSizesAndOpacityFloor) {
  struct Case {
    int size;
    double softness;
    int opacity;
    int side;
    int centre;
  } cases[] = {
      {0, 0, 50, 0, -1},    // empty stamp
      {1, 0, 100, 1, 255},  // a single byte
      {1, 0, 0, 1, 25},     // opacity floor 0.1
      {2, 0, 100, 2, 255},  // half is at least 1
      {10, 0, 0, 10, 25},
  };
  for (const Case& c : cases) {
    CGeneralBrush brush;
    brush.m_brushSize = c.size;
    brush.m_softness = c.softness;
    brush.m_opacity = c.opacity;
    ASSERT_TRUE(brush.Build());
    ASSERT_EQ(brush.m_stampSide, c.side) << c.size;
    if (c.side == 0) {
      EXPECT_EQ(brush.m_stamp, nullptr);
      continue;
    }
    const int half = c.side == 1 ? 0 : std::max(1, (c.side - 1) / 2);
    EXPECT_EQ(brush.m_stamp[half * c.side + half], c.centre) << c.size;
  }
}

TEST(GeneralBrush, RebuildReplacesTheStampAndRejectsAbsurdSizes) {
  CGeneralBrush brush;
  brush.m_brushSize = 255;
  brush.m_softness = 60;
  brush.m_opacity = 100;
  ASSERT_TRUE(brush.Build());
  const int big = brush.m_stampSide;
  EXPECT_GT(big, 255);
  EXPECT_LE(big, 495);
  brush.m_brushSize = 20;
  brush.m_softness = 4;
  ASSERT_TRUE(brush.Build());
  EXPECT_LT(brush.m_stampSide, 36);
  brush.m_softness = 1e12;
  EXPECT_FALSE(brush.Build());
  EXPECT_EQ(brush.m_stamp, nullptr);
  EXPECT_EQ(brush.m_stampSide, 0);
}

}  // namespace
