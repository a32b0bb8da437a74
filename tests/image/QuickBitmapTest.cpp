#include <gtest/gtest.h>

#include <vector>

#include "image/kernels/QuickBitmap.h"

namespace {

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

TEST(QuickBitmap, CreateZeroFillsAndReusesTheSameSize) {
  CQuickBitmap bm;
  ASSERT_TRUE(bm.Create(5, 3));
  EXPECT_TRUE(bm.HasPixels());
  EXPECT_EQ(bm.m_bitsPerPixel, 32);
  EXPECT_TRUE(AllZero(bm.m_pixels.get(), 5 * 3 * 4));
  bm.m_pixels[7] = 9;
  const uint8_t* before = bm.m_pixels.get();
  ASSERT_TRUE(bm.Create(5, 3));
  EXPECT_EQ(bm.m_pixels.get(), before);
  EXPECT_TRUE(AllZero(bm.m_pixels.get(), 5 * 3 * 4));
  ASSERT_TRUE(bm.Create(2, 7));
  EXPECT_EQ(bm.m_width, 2);
  EXPECT_EQ(bm.m_height, 7);
  EXPECT_TRUE(AllZero(bm.m_pixels.get(), 2 * 7 * 4));
}

TEST(QuickBitmap, SetFromRGBAddsOpaqueAlpha) {
  const uint8_t rgb[] = {1, 2, 3, 4, 5, 6};
  CQuickBitmap bm;
  ASSERT_TRUE(bm.SetFromRGB(rgb, 2, 1));
  const std::vector<uint8_t> want = {1, 2, 3, 255, 4, 5, 6, 255};
  EXPECT_EQ(std::vector<uint8_t>(bm.m_pixels.get(), bm.m_pixels.get() + 8), want);
  EXPECT_FALSE(bm.SetFromRGB(nullptr, 2, 1));
  EXPECT_FALSE(bm.HasPixels());
}

TEST(QuickBitmap, ImpossibleSizesFailCleanly) {
  CQuickBitmap bm;
  ASSERT_TRUE(bm.Create(4, 4));
  EXPECT_FALSE(bm.Create(1 << 20, 1 << 20));  // 4 TiB
  EXPECT_FALSE(bm.HasPixels());
  EXPECT_EQ(bm.m_width, 0);
  EXPECT_TRUE(bm.Create(0, 10));
  EXPECT_FALSE(bm.HasPixels());

  CQuickBitmap8 mask;
  EXPECT_FALSE(mask.Create(1 << 21, 1 << 20));
  EXPECT_FALSE(mask.HasPixels());
}

TEST(QuickBitmap8, NonPositiveSizeLeavesItAbsentWithItsStoredSize) {
  CQuickBitmap8 mask;
  ASSERT_TRUE(mask.Create(6, 4));
  EXPECT_TRUE(AllZero(mask.m_pixels.get(), 24));
  mask.m_pixels[3] = 1;
  ASSERT_TRUE(mask.Create(6, 4));
  EXPECT_TRUE(AllZero(mask.m_pixels.get(), 24));
  EXPECT_TRUE(mask.Create(0, 4));
  EXPECT_FALSE(mask.HasPixels());
  EXPECT_EQ(mask.m_width, 6);
  EXPECT_EQ(mask.m_height, 4);
  // Same stored size but no pixels: a fresh buffer, not a write through null.
  ASSERT_TRUE(mask.Create(6, 4));
  EXPECT_TRUE(mask.HasPixels());
  mask.Release();
  EXPECT_FALSE(mask.HasPixels());
}

}  // namespace
