#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/ISImageEx.h"
#include "image/lib/Imaging.h"
#include "support/TestSupport.h"

namespace {

constexpr uint32_t kMethods[] = {0, 16, 17};

struct Size {
  uint32_t w, h;
};
// Source and target sizes: exact and odd factors both ways, mixed axes,
// single rows and columns, the x2 / x4 slice exports and their inverses.
const std::pair<Size, Size> kCases[] = {
    {{240, 160}, {60, 40}},   {{240, 160}, {480, 320}}, {{128, 128}, {512, 512}},
    {{512, 512}, {128, 128}}, {{301, 199}, {97, 61}},   {{97, 61}, {301, 199}},
    {{200, 50}, {50, 170}},   {{1, 1}, {7, 5}},         {{90, 70}, {1, 1}},
    {{33, 1}, {5, 1}},        {{1, 40}, {1, 9}},        {{150, 100}, {149, 101}},
};

void FillConstant(CISImageEx& im, const uint8_t* colour) {
  const uint32_t bpp = im.m_bitsPerPixel / 8;
  for (size_t i = 0; i < size_t(im.m_width) * im.m_height; ++i)
    std::memcpy(im.Pixels() + i * bpp, colour, bpp);
}

std::vector<double> Means(const CISImageEx& im) {
  const uint32_t bpp = im.m_bitsPerPixel / 8;
  std::vector<double> sum(bpp, 0.0);
  const size_t n = size_t(im.m_width) * im.m_height;
  for (size_t i = 0; i < n; ++i)
    for (uint32_t c = 0; c < bpp; ++c) sum[c] += im.Pixels()[i * bpp + c];
  for (double& s : sum) s /= double(n);
  return sum;
}

void MakePicture(CISImageEx& im, uint32_t w, uint32_t h, uint32_t bits, uint32_t seed) {
  CISImageEx rgb;
  testing_support::MakeTestPicture(rgb, w, h, seed);
  ASSERT_EQ(im.Create(w, h, bits), kISOk);
  const uint32_t bpp = bits / 8;
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    std::memcpy(im.Pixels() + i * bpp, rgb.Pixels() + i * 3, 3);
    if (bpp == 4) im.Pixels()[i * 4 + 3] = uint8_t(rgb.Pixels()[i * 3] ^ rgb.Pixels()[i * 3 + 2]);
  }
}

TEST(ResizeMethods, ConstantPicturesStayExactlyConstant) {
  const uint8_t colours[][4] = {{0, 255, 127, 1}, {200, 13, 254, 128}, {255, 255, 255, 255}};
  for (uint32_t method : kMethods)
    for (uint32_t bits : {24u, 32u})
      for (const auto& [from, to] : kCases)
        for (const uint8_t* colour : colours) {
          CISImageEx im;
          ASSERT_EQ(im.Create(from.w, from.h, bits), kISOk);
          FillConstant(im, colour);
          ASSERT_EQ(im.Resize(to.w, to.h, method), kISOk);
          ASSERT_EQ(im.m_width, to.w);
          ASSERT_EQ(im.m_height, to.h);
          ASSERT_EQ(im.m_bitsPerPixel, bits);
          const uint32_t bpp = bits / 8;
          for (size_t i = 0; i < size_t(to.w) * to.h * bpp; ++i)
            ASSERT_EQ(im.Pixels()[i], colour[i % bpp])
                << "method " << method << " " << from.w << "x" << from.h << " -> " << to.w << "x"
                << to.h << " at " << i;
        }
}

TEST(ResizeMethods, MeanIsKeptWithinALevel) {
  for (uint32_t method : kMethods)
    for (uint32_t bits : {24u, 32u})
      for (const auto& [from, to] : kCases) {
        if (from.w * from.h < 1000 || to.w * to.h < 1000) continue;  // too few pixels to average
        CISImageEx im;
        MakePicture(im, from.w, from.h, bits, from.w + to.w);
        const auto before = Means(im);
        ASSERT_EQ(im.Resize(to.w, to.h, method), kISOk);
        const auto after = Means(im);
        for (size_t c = 0; c < before.size(); ++c)
          EXPECT_NEAR(after[c], before[c], 1.0)
              << "method " << method << " channel " << c << " " << from.w << "x" << from.h << " -> "
              << to.w << "x" << to.h;
      }
}

TEST(ResizeMethods, ReducingAveragesInsteadOfAliasing) {
  // A one-pixel checkerboard reduced by 4 (method 0, 16) or 3.5 (17) is grey.
  for (uint32_t method : kMethods) {
    CISImageEx im;
    ASSERT_EQ(im.Create(280, 280, 24), kISOk);
    for (uint32_t y = 0; y < 280; ++y)
      for (uint32_t x = 0; x < 280; ++x)
        std::memset(im.Pixels() + (size_t(y) * 280 + x) * 3, (x + y) % 2 ? 255 : 0, 3);
    ASSERT_EQ(im.Resize(method == 17 ? 80 : 70, method == 17 ? 80 : 70, method), kISOk);
    for (size_t i = 0; i < size_t(im.RowBytes()) * im.m_height; ++i)
      ASSERT_NEAR(im.Pixels()[i], 127.5, method == 17 ? 6 : 1) << "method " << method;
  }
}

TEST(ResizeMethods, EnlargingAStepNeitherWrapsNorBlursFar) {
  for (uint32_t method : kMethods) {
    CISImageEx im;
    ASSERT_EQ(im.Create(32, 8, 24), kISOk);
    for (uint32_t y = 0; y < 8; ++y)
      for (uint32_t x = 0; x < 32; ++x)
        std::memset(im.Pixels() + (size_t(y) * 32 + x) * 3, x < 16 ? 0 : 255, 3);
    ASSERT_EQ(im.Resize(128, 32, method), kISOk);
    const uint8_t* row = im.Pixels() + size_t(16) * 128 * 3;
    // The edge lies between outputs 63 and 64; Lanczos-3 reaches 3 source
    // pixels (12 outputs) to either side, the others one.
    const int reach = method == 17 ? 12 : 4;
    for (int x = 0; x < 64 - reach; ++x) ASSERT_LE(row[x * 3], 1) << method << " x " << x;
    for (int x = 64 + reach; x < 128; ++x) ASSERT_GE(row[x * 3], 254) << method << " x " << x;
    if (method == 17) {
      EXPECT_EQ(row[60 * 3], 0);    // the first negative lobe, clamped
      EXPECT_EQ(row[67 * 3], 255);  // its overshoot, clamped
      EXPECT_GT(row[64 * 3], 128);
    }
    // Ringing is clamped, never wrapped round; without a negative lobe the
    // edge is monotone.
    if (method == 17) continue;
    for (int x = 1; x < 128; ++x) ASSERT_GE(row[x * 3], row[(x - 1) * 3]);
  }
}

TEST(ResizeMethods, UpAndDownAgainComesBackClose) {
  CISImageEx im, back;
  testing_support::MakeTestPicture(im, 160, 120, 5);
  for (uint32_t factor : {2u, 4u}) {
    ASSERT_EQ(back.ResizeFrom(im, 160 * factor, 120 * factor, 17), kISOk);
    ASSERT_EQ(back.Resize(160, 120, 17), kISOk);
    // Away from the block edges of the picture the round trip is near exact.
    int worst = 0;
    for (uint32_t y = 2; y < 118; ++y)
      for (uint32_t x = 2; x < 158; ++x)
        for (int c = 0; c < 2; ++c) {
          size_t i = (size_t(y) * 160 + x) * 3 + c;
          worst = std::max(worst, std::abs(int(back.Pixels()[i]) - int(im.Pixels()[i])));
        }
    EXPECT_LE(worst, 4) << "factor " << factor;
  }
}

TEST(ResizeMethods, UnknownMethodAndBadArgumentsFailWithoutChange) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 20, 10);
  const uint8_t* block = im.Pixels();
  qimg::SetLastError(0);
  EXPECT_EQ(im.Resize(10, 5, 3), uint32_t(qimg::kErrParam));
  EXPECT_EQ(im.Pixels(), block);
  EXPECT_EQ(im.m_width, 20u);
  EXPECT_EQ(im.Resize(20, 10, 0), kISOk);  // own size: a copy
  EXPECT_EQ(im.m_width, 20u);
  CISImageEx empty;
  EXPECT_EQ(empty.Resize(4, 4, 0), kISRefused);
  uint8_t out[12];
  EXPECT_FALSE(qimg::ResizeImage(im.Pixels(), 20, 10, 59, out, 2, 2, 6, 3, 0));  // short rows
  EXPECT_FALSE(qimg::ResizeImage(im.Pixels(), 20, 10, 60, out, 2, 2, 6, 2, 0));
  EXPECT_EQ(qimg::GetLastError(), uint32_t(qimg::kErrParam));
}

TEST(ResizeMethods, HonoursRowStrides) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 50, 40, 9);
  for (uint32_t method : kMethods) {
    CISImageEx packed;
    ASSERT_EQ(packed.ResizeFrom(im, 23, 71, method), kISOk);
    std::vector<uint8_t> src(size_t(40) * 157, 0xEE), dst(size_t(71) * 80, 0xEE);
    for (int y = 0; y < 40; ++y) std::memcpy(&src[size_t(y) * 157], im.Pixels() + y * 150, 150);
    ASSERT_TRUE(qimg::ResizeImage(src.data(), 50, 40, 157, dst.data(), 23, 71, 80, 3, method));
    for (int y = 0; y < 71; ++y) {
      ASSERT_EQ(std::memcmp(&dst[size_t(y) * 80], packed.Pixels() + y * 69, 69), 0) << y;
      ASSERT_EQ(dst[size_t(y) * 80 + 69], 0xEE);  // padding untouched
    }
  }
}

}  // namespace
