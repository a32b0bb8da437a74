#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "image/ISImageEx.h"
#include "image/kernels/TwoPassScale.h"

namespace {

// The resampler written out plainly: full windows including zero weights,
// one sample at a time.
struct RefRow {
  std::vector<double> weights;
  int left, right;
};

std::vector<RefRow> RefTable(int n, int m) {
  const double s = double(n) / double(m);
  double w = 1.0, f = 1.0;
  if (s < 1) {
    w = 1.0 / s;
    f = s;
  }
  const int window = 2 * int(std::ceil(w)) + 1;
  std::vector<RefRow> rows(n);
  for (int i = 0; i < n; ++i) {
    const double c = i / s;
    int left = std::max(0, int(std::floor(c - w)));
    int right = std::min(int(std::ceil(c + w)), m - 1);
    if (right - left + 1 > window) ++left;
    RefRow& row = rows[i];
    row.left = left;
    row.right = right;
    double total = 0;
    for (int j = left; j <= right; ++j) {
      double d = std::fabs((c - j) * f);
      row.weights.push_back(f * (d < 1 ? 1 - d : 0.0));
      total += row.weights.back();
    }
    if (total > 0)
      for (double& x : row.weights) x /= total;
  }
  return rows;
}

std::vector<uint8_t> RefScale(const std::vector<uint8_t>& src, int sw, int sh, int tw, int th,
                              int C) {
  std::vector<uint8_t> mid(size_t(tw) * sh * C), out(size_t(tw) * th * C);
  auto h = RefTable(tw, sw);
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < tw; ++x)
      for (int c = 0; c < C; ++c) {
        float a = 0;
        for (int j = h[x].left; j <= h[x].right; ++j)
          a = float(double(a) +
                    double(src[(size_t(y) * sw + j) * C + c]) * h[x].weights[j - h[x].left]);
        mid[(size_t(y) * tw + x) * C + c] = uint8_t(std::trunc(a));
      }
  auto v = RefTable(th, sh);
  for (int x = 0; x < tw; ++x)
    for (int y = 0; y < th; ++y)
      for (int c = 0; c < C; ++c) {
        float a = 0;
        for (int j = v[y].left; j <= v[y].right; ++j)
          a = float(double(a) +
                    double(mid[(size_t(j) * tw + x) * C + c]) * v[y].weights[j - v[y].left]);
        out[(size_t(y) * tw + x) * C + c] = uint8_t(std::trunc(a));
      }
  return out;
}

template <class Pixel>
std::vector<uint8_t> Fast(const std::vector<uint8_t>& src, int sw, int sh, int tw, int th) {
  std::vector<uint8_t> out(size_t(tw) * th * Pixel::kChannels, 0xCD);
  C2PassScale<CBilinearFilter, Pixel> scaler;
  EXPECT_EQ(scaler.Scale(src.data(), sw, sh, out.data(), tw, th), out.data());
  return out;
}

std::vector<uint8_t> Random(size_t n, std::mt19937& rng) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

TEST(TwoPassScale, MatchesThePlainResamplerOnRandomData) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> side(1, 260);
  for (int iter = 0; iter < 60; ++iter) {
    const int sw = side(rng), sh = side(rng), tw = side(rng), th = side(rng);
    auto src3 = Random(size_t(sw) * sh * 3, rng);
    ASSERT_EQ(Fast<CDataRGB_UBYTE>(src3, sw, sh, tw, th), RefScale(src3, sw, sh, tw, th, 3))
        << sw << "x" << sh << " -> " << tw << "x" << th;
    auto src4 = Random(size_t(sw) * sh * 4, rng);
    ASSERT_EQ(Fast<CDataRGBA_UBYTE>(src4, sw, sh, tw, th), RefScale(src4, sw, sh, tw, th, 4))
        << sw << "x" << sh << " -> " << tw << "x" << th << " (4 channels)";
  }
}

TEST(TwoPassScale, ScalarPathsMatchToo) {
  qkern::EnableVectorPaths(false);
  std::mt19937 rng(777);
  std::uniform_int_distribution<int> side(1, 120);
  for (int iter = 0; iter < 20; ++iter) {
    const int sw = side(rng), sh = side(rng), tw = side(rng), th = side(rng);
    auto src3 = Random(size_t(sw) * sh * 3, rng);
    EXPECT_EQ(Fast<CDataRGB_UBYTE>(src3, sw, sh, tw, th), RefScale(src3, sw, sh, tw, th, 3));
    auto src4 = Random(size_t(sw) * sh * 4, rng);
    EXPECT_EQ(Fast<CDataRGBA_UBYTE>(src4, sw, sh, tw, th), RefScale(src4, sw, sh, tw, th, 4));
  }
  qkern::EnableVectorPaths(true);
}

TEST(TwoPassScale, LargeReductionWithThreadsMatchesToo) {
  std::mt19937 rng(99);
  const int sw = 1203, sh = 907, tw = 301, th = 203;
  auto src = Random(size_t(sw) * sh * 3, rng);
  EXPECT_EQ(Fast<CDataRGB_UBYTE>(src, sw, sh, tw, th), RefScale(src, sw, sh, tw, th, 3));
}

TEST(TwoPassScale, TruncationCountsOfFlatRows) {
  std::vector<uint8_t> row(3000 * 3, 255);
  auto out = Fast<CDataRGB_UBYTE>(row, 3000, 1, 512, 1);
  int at254 = 0;
  for (int x = 0; x < 512; ++x) {
    EXPECT_TRUE(out[x * 3] == 254 || out[x * 3] == 255);
    at254 += out[x * 3] == 254;
    EXPECT_EQ(out[x * 3], out[x * 3 + 1]);
    EXPECT_EQ(out[x * 3], out[x * 3 + 2]);
  }
  EXPECT_EQ(at254, 177);
  row.assign(4096 * 3, 255);
  out = Fast<CDataRGB_UBYTE>(row, 4096, 1, 1024, 1);
  for (uint8_t b : out) ASSERT_EQ(b, 255);
}

TEST(TwoPassScale, EnlargingByTwoAveragesNeighbours) {
  qkern::Contributions t;
  qkern::BuildContributions(1024, 512, CBilinearFilter(), t);
  EXPECT_EQ(t.windowSize, 3);
  EXPECT_EQ(t.first[0], 0);
  EXPECT_EQ(t.count[0], 1);
  EXPECT_EQ(t.weights[t.offset[0]], 1.0);
  EXPECT_EQ(t.first[1], 0);
  ASSERT_EQ(t.count[1], 2);
  EXPECT_EQ(t.weights[t.offset[1]], 0.5);
  EXPECT_EQ(t.weights[t.offset[1] + 1], 0.5);
  std::vector<uint8_t> src(512 * 3);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 11 + 10);
  auto out = Fast<CDataRGB_UBYTE>(src, 512, 1, 1024, 1);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(out[c], src[c]);
    EXPECT_EQ(out[3 + c], (src[c] + src[3 + c]) / 2);
  }
}

TEST(TwoPassScale, ReducingByTwoUsesTheTentAroundTwoI) {
  qkern::Contributions t;
  qkern::BuildContributions(256, 512, CBilinearFilter(), t);
  EXPECT_EQ(t.windowSize, 5);
  for (int i = 1; i < 255; ++i) {
    // Window 2i-2 .. 2i+2; its outer two weigh 0 and are not stored.
    ASSERT_EQ(t.first[i], 2 * i - 1);
    ASSERT_EQ(t.count[i], 3);
    EXPECT_EQ(t.weights[t.offset[i]], 0.25);
    EXPECT_EQ(t.weights[t.offset[i] + 1], 0.5);
    EXPECT_EQ(t.weights[t.offset[i] + 2], 0.25);
  }
  // At the left edge the window is clipped at 0 and renormalised.
  EXPECT_EQ(t.first[0], 0);
  ASSERT_EQ(t.count[0], 2);
  EXPECT_DOUBLE_EQ(t.weights[t.offset[0]], 2.0 / 3);
}

TEST(TwoPassScale, FourthChannelIsResampledInPlaceWithoutAlphaWeighting) {
  std::mt19937 rng(4);
  const int sw = 37, sh = 29, tw = 50, th = 11;
  auto rgba = Random(size_t(sw) * sh * 4, rng);
  std::vector<uint8_t> alphaAsRed(size_t(sw) * sh * 3), colour(size_t(sw) * sh * 3);
  for (int i = 0; i < sw * sh; ++i) {
    alphaAsRed[i * 3] = rgba[i * 4 + 3];
    for (int c = 0; c < 3; ++c) colour[i * 3 + c] = rgba[i * 4 + c];
  }
  auto out4 = Fast<CDataRGBA_UBYTE>(rgba, sw, sh, tw, th);
  auto outA = Fast<CDataRGB_UBYTE>(alphaAsRed, sw, sh, tw, th);
  auto outC = Fast<CDataRGB_UBYTE>(colour, sw, sh, tw, th);
  for (int i = 0; i < tw * th; ++i) {
    ASSERT_EQ(out4[i * 4 + 3], outA[i * 3]);
    for (int c = 0; c < 3; ++c) ASSERT_EQ(out4[i * 4 + c], outC[i * 3 + c]);
  }
}

TEST(TwoPassScale, SameSizePassesValuesThrough) {
  std::mt19937 rng(8);
  auto src = Random(70 * 33 * 3, rng);
  EXPECT_EQ(Fast<CDataRGB_UBYTE>(src, 70, 33, 70, 33), src);
  uint8_t out[3];
  EXPECT_EQ((C2PassScale<CBilinearFilter, CDataRGB_UBYTE>().Scale(src.data(), 0, 3, out, 1, 1)),
            nullptr);
}

TEST(ResizeBilinear, ResizesInPlaceAndKeepsSameSizeUntouched) {
  CISImageEx im;
  EXPECT_EQ(im.ResizeBilinear(10, 10), kISRefused);
  ASSERT_EQ(im.Create(90, 61, 24), kISOk);
  std::mt19937 rng(3);
  for (size_t i = 0; i < size_t(90) * 61 * 3; ++i) im.Pixels()[i] = uint8_t(rng());
  std::vector<uint8_t> src(im.Pixels(), im.Pixels() + 90 * 61 * 3);
  const uint8_t* block = im.Pixels();
  EXPECT_EQ(im.ResizeBilinear(90, 61), kISOk);
  EXPECT_EQ(im.Pixels(), block);
  EXPECT_EQ(std::vector<uint8_t>(block, block + src.size()), src);

  ASSERT_EQ(im.ResizeBilinear(40, 97), kISOk);
  EXPECT_EQ(im.m_width, 40u);
  EXPECT_EQ(im.m_height, 97u);
  EXPECT_EQ(im.m_bitsPerPixel, 24u);
  EXPECT_EQ(std::vector<uint8_t>(im.Pixels(), im.Pixels() + 40 * 97 * 3),
            RefScale(src, 90, 61, 40, 97, 3));

  ASSERT_EQ(im.Create(20, 20, 32), kISOk);
  std::vector<uint8_t> src4(20 * 20 * 4);
  for (auto& b : src4) b = uint8_t(rng());
  std::copy(src4.begin(), src4.end(), im.Pixels());
  ASSERT_EQ(im.ResizeBilinear(7, 9), kISOk);
  EXPECT_EQ(im.m_bitsPerPixel, 32u);
  EXPECT_EQ(std::vector<uint8_t>(im.Pixels(), im.Pixels() + 7 * 9 * 4),
            RefScale(src4, 20, 20, 7, 9, 4));

  // A zero size is refused and leaves the image as it was.
  EXPECT_EQ(im.ResizeBilinear(0, 9), kISRefused);
  EXPECT_EQ(im.m_width, 7u);
  ASSERT_EQ(im.Create(8, 8, 8), kISOk);
  EXPECT_EQ(im.ResizeBilinear(4, 4), kISRefused);
}

}  // namespace
