#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "image/kernels/Compositing.h"
#include "image/kernels/TwoPassScale.h"

namespace {

std::vector<uint8_t> Smooth(int w, int h, int n) {
  std::vector<uint8_t> p(size_t(w) * h * n);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < n; ++k)
        p[(size_t(y) * w + x) * n + k] =
            uint8_t(128 + 90 * std::sin(x / (19.0 + 7 * k)) * std::cos(y / (23.0 + 5 * k)));
  return p;
}

std::vector<uint8_t> Noise(int w, int h, int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> p(size_t(w) * h * n);
  for (auto& b : p) b = uint8_t(rng());
  return p;
}

TEST(FeatherEdges, RampOfFourOnTenColumns) {
  const int w = 10, h = 12;
  std::vector<uint8_t> px(w * h * 4);
  for (size_t i = 0; i < px.size(); ++i) px[i] = (i % 4 == 3) ? 255 : uint8_t(i);
  std::vector<uint8_t> orig = px;
  FeatherEdges(px.data(), w, h, 4);
  const int want[] = {0, 63, 127, 191, 255, 255, 255, 127, 63, 0};
  for (int y = 4; y <= h - 4; ++y)
    for (int x = 0; x < w; ++x) ASSERT_EQ(px[(y * w + x) * 4 + 3], want[x]) << x << "," << y;
  for (int x = 0; x < w; ++x) {
    EXPECT_EQ(px[x * 4 + 3], 0);
    EXPECT_EQ(px[((h - 1) * w + x) * 4 + 3], 0);
  }
  // Rows ramp like columns: y = 1 has factor 1/4.
  EXPECT_EQ(px[(1 * w + 5) * 4 + 3], 63);
  EXPECT_EQ(px[(1 * w + 1) * 4 + 3], 15);  // 255 * (0.25 * 0.25)
  for (size_t i = 0; i < px.size(); ++i)
    if (i % 4 != 3) {
      ASSERT_EQ(px[i], orig[i]);
    }
}

TEST(FeatherEdges, NonPositiveRampOrHeightChangesNothing) {
  std::vector<uint8_t> px(8 * 8 * 4, 200), orig = px;
  FeatherEdges(px.data(), 8, 8, 0);
  FeatherEdges(px.data(), 8, 8, -3);
  FeatherEdges(px.data(), 8, 0, 4);
  EXPECT_EQ(px, orig);
}

// Cubic convolution written out from its definition, with the tap rules.
void ReferenceSample(const std::vector<uint8_t>& px, int W, int H, double x, double y, int n,
                     uint8_t out[4]) {
  x = std::clamp(x, 0.0, double(W - 1));
  y = std::clamp(y, 0.0, double(H - 1));
  auto taps = [](double p, int size, int t[4]) {
    int ip = int(std::trunc(p));
    t[0] = p >= 1 ? ip - 1 : 0;
    t[1] = p < size - 1 ? ip : size - 1;
    t[2] = p < size - 2 ? ip + 1 : t[1];
    t[3] = p < size - 3 ? ip + 2 : t[2];
  };
  auto weights = [](double t, double w[4]) {
    w[0] = -t * (1 - t) * (1 - t);
    w[1] = 1 - 2 * t * t + t * t * t;
    w[2] = t + t * t - t * t * t;
    w[3] = -t * t * (1 - t);
  };
  int cx[4], cy[4];
  double we[4], wf[4];
  taps(x, W, cx);
  taps(y, H, cy);
  weights(x - std::floor(x), we);
  weights(y - std::floor(y), wf);
  for (int k = 0; k < 4; ++k) out[k] = 0;
  for (int k = 0; k < n; ++k) {
    double rows[4];
    for (int r = 0; r < 4; ++r) {
      auto at = [&](int c) { return double(px[(size_t(cy[r]) * W + cx[c]) * n + k]); };
      rows[r] = we[0] * at(0) + we[1] * at(1) + we[2] * at(2) + we[3] * at(3);
    }
    double v = wf[0] * rows[0] + wf[1] * rows[1] + wf[2] * rows[2] + wf[3] * rows[3] + 0.5;
    out[k] = uint8_t(std::clamp(std::trunc(v), 0.0, 255.0));
  }
}

TEST(SampleBicubic, IntegerPointsReturnThePixel) {
  for (int n : {3, 4}) {
    const int w = 9, h = 7;
    auto px = Noise(w, h, n, 3);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t out[4];
        SampleBicubic(px.data(), w, h, x, y, n, out);
        for (int k = 0; k < n; ++k) ASSERT_EQ(out[k], px[(y * w + x) * n + k]);
        if (n == 3) {
          EXPECT_EQ(out[3], 0);
        }
      }
  }
}

TEST(SampleBicubic, EdgesUseTheClampedTaps) {
  const int w = 12, h = 10, n = 4;
  auto px = Noise(w, h, n, 5);
  uint8_t out[4], ref[4];
  // At the last column the taps 0, +1, +2 all read it; beyond it clamps.
  for (double x : {double(w - 1), w - 0.5, w + 40.0}) {
    SampleBicubic(px.data(), w, h, x, 4.0, n, out);
    for (int k = 0; k < n; ++k) EXPECT_EQ(out[k], px[(4 * w + w - 1) * n + k]) << x;
  }
  SampleBicubic(px.data(), w, h, -7.5, -1.0, n, out);
  for (int k = 0; k < n; ++k) EXPECT_EQ(out[k], px[k]);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> ux(-1.5, w + 0.5), uy(-1.5, h + 0.5);
  for (int i = 0; i < 4000; ++i) {
    double x = ux(rng), y = uy(rng);
    if (i % 4 == 0) x = w - 1 - (i % 3) - 0.37;  // the three intervals before the end
    SampleBicubic(px.data(), w, h, x, y, n, out);
    ReferenceSample(px, w, h, x, y, n, ref);
    for (int k = 0; k < 4; ++k) ASSERT_EQ(out[k], ref[k]) << x << "," << y;
  }
}

TEST(SampleBicubic, OvershootIsClampedToTheByteRange) {
  // A step makes the cubic ring; the ring must be clipped, not wrapped.
  std::vector<uint8_t> px(8 * 4 * 3, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 4; x < 8; ++x)
      for (int k = 0; k < 3; ++k) px[(y * 8 + x) * 3 + k] = 255;
  uint8_t out[4];
  SampleBicubic(px.data(), 8, 4, 2.5, 1.0, 3, out);
  EXPECT_EQ(out[0], 0);
  SampleBicubic(px.data(), 8, 4, 4.5, 1.0, 3, out);
  EXPECT_EQ(out[0], 255);
}

TEST(ExtractRotatedSquare, ZeroAngleCopiesTheSquare) {
  const int W = 300, H = 200, s = 64;
  auto src = Noise(W, H, 3, 9);
  std::vector<uint8_t> cut(s * s * 3);
  for (auto [x0, y0] : {std::pair{10, 20}, std::pair{W - s, H - s}, std::pair{0, 0}}) {
    ExtractRotatedSquare(src.data(), W, H, x0 + s / 2, y0 + s / 2, s, 0.0, cut.data());
    for (int i = 0; i < s; ++i)
      for (int j = 0; j < s * 3; ++j)
        ASSERT_EQ(cut[i * s * 3 + j], src[((y0 + i) * W + x0) * 3 + j]) << x0 << "," << y0;
  }
  // Partly outside: the clamped edge pixels fill the rest.
  ExtractRotatedSquare(src.data(), W, H, 0, 0, s, 0.0, cut.data());
  for (int j = 0; j < 3; ++j) EXPECT_EQ(cut[j], src[j]);
  EXPECT_EQ(cut[((s / 2) * s + s / 2 + 5) * 3], src[5 * 3]);
}

TEST(ExtractRotatedSquare, MatchesTheSamplerAtEveryPoint) {
  const int W = 120, H = 90, s = 50;
  auto src = Noise(W, H, 3, 21);
  std::vector<uint8_t> cut(s * s * 3);
  const double theta = 0.61;
  ExtractRotatedSquare(src.data(), W, H, 100, 30, s, theta, cut.data());
  for (int i = 0; i < s; ++i)
    for (int j = 0; j < s; ++j) {
      double u = j - s / 2, v = i - s / 2;
      uint8_t ref[4];
      ReferenceSample(src, W, H, 100 + u * std::cos(theta) - v * std::sin(theta),
                      30 + u * std::sin(theta) + v * std::cos(theta), 3, ref);
      for (int k = 0; k < 3; ++k) ASSERT_EQ(cut[(i * s + j) * 3 + k], ref[k]);
    }
}

TEST(RenderRotatedOverlay, SamplesTheSliceInSinglePrecision) {
  const int W = 200, H = 150, sw = 64, sh = 48, cx = 120, cy = 40;
  const auto slice = Noise(sw, sh, 4, 31);
  const float theta = 1.1f;
  const int ox = 70, oy = -20, ow = 110, oh = 120;
  std::vector<uint8_t> ov(ow * oh * 4);
  RenderRotatedOverlay(qkern::RotatedSquareF::FromRadians(cx, cy, theta),
                       qkern::ConstPixelView::Packed(slice.data(), sw, sh, 4),
                       {qkern::PixelView::Packed(ov.data(), ow, oh, 4), ox, oy, W, H});
  const float cs = std::cos(theta), sn = std::sin(theta);
  int covered = 0;
  for (int r = 0; r < oh; ++r)
    for (int c = 0; c < ow; ++c) {
      uint8_t want[4] = {0, 0, 0, 0};
      const int x = ox + c, y = oy + r;
      if (y >= 0 && y < H && x >= 0 && x < W) {
        const float dx = float(x - cx), dy = float(y - cy);
        const float sx = dx * cs + dy * sn + float(sw / 2), sy = dy * cs - dx * sn + float(sh / 2);
        if (sx >= 0 && sx < sw && sy >= 0 && sy < sh) {
          SampleBicubic(slice.data(), sw, sh, sx, sy, 4, want);
          ++covered;
        }
      }
      for (int k = 0; k < 4; ++k) ASSERT_EQ(ov[(r * ow + c) * 4 + k], want[k]) << c << "," << r;
    }
  EXPECT_GT(covered, sw * sh / 2);
}

TEST(RenderRotatedOverlay, VectorAndPlainPathsAgree) {
  const int W = 90, H = 70, s = 60;
  const auto bg = Noise(W, H, 3, 41);
  std::vector<uint8_t> cut[2], slice(s * s * 4), ov[2];
  for (int i = 0; i < s * s; ++i)
    for (int k = 0; k < 4; ++k) slice[i * 4 + k] = uint8_t(bg[(i % (W * H)) * 3 + k % 3] ^ k);
  for (int plain = 0; plain < 2; ++plain) {
    qkern::EnableVectorPaths(plain == 0);
    cut[plain].assign(s * s * 3, 0);
    ov[plain].assign(100 * 90 * 4, 0);
    // Centred near the bottom-right corner so the clamped taps are used too.
    ExtractRotatedSquare(bg.data(), W, H, W - 5, H - 3, s, 0.3, cut[plain].data());
    RenderRotatedOverlay(
        qkern::RotatedSquareF::FromRadians(W - 20, H - 10, 0.3f),
        qkern::ConstPixelView::Packed(slice.data(), s, s, 4),
        {qkern::PixelView::Packed(ov[plain].data(), 100, 90, 4), W - 70, H - 60, W, H});
  }
  qkern::EnableVectorPaths(true);
  EXPECT_EQ(cut[0], cut[1]);
  EXPECT_EQ(ov[0], ov[1]);
}

TEST(RenderRotatedOverlay, UndoesTheRotatedCut) {
  const int W = 400, H = 360, s = 160, cx = 210, cy = 170;
  auto bg = Smooth(W, H, 3);
  for (double degrees : {0.0, 35.0, -20.0, 90.0}) {
    const float theta = float(degrees * M_PI / 180);
    std::vector<uint8_t> cut(s * s * 3);
    ExtractRotatedSquare(bg.data(), W, H, cx, cy, s, theta, cut.data());
    std::vector<uint8_t> slice(s * s * 4);
    for (int i = 0; i < s * s; ++i) {
      for (int k = 0; k < 3; ++k) slice[i * 4 + k] = cut[i * 3 + k];
      slice[i * 4 + 3] = 255;
    }
    // Overlay over the turned square's bounding box, sticking out of the background.
    const int ox = cx - 130, oy = cy - 200, ow = 260, oh = 400;
    std::vector<uint8_t> ov(ow * oh * 4, 77);
    RenderRotatedOverlay(qkern::RotatedSquareF::FromRadians(cx, cy, theta),
                         qkern::ConstPixelView::Packed(slice.data(), s, s, 4),
                         {qkern::PixelView::Packed(ov.data(), ow, oh, 4), ox, oy, W, H});
    const double cs = std::cos(theta), sn = std::sin(theta);
    int inside = 0;
    for (int r = 0; r < oh; ++r)
      for (int c = 0; c < ow; ++c) {
        const uint8_t* p = &ov[(r * ow + c) * 4];
        const int x = ox + c, y = oy + r;
        if (y < 0 || y >= H) {
          ASSERT_EQ(p[0] | p[1] | p[2] | p[3], 0);
          continue;
        }
        const double dx = x - cx, dy = y - cy;
        const double u = dx * cs + dy * sn, v = dy * cs - dx * sn;
        const double margin = std::max(std::abs(u), std::abs(v));
        if (margin > s / 2 + 1.5) {
          ASSERT_EQ(p[3], 0) << degrees << ": " << x << "," << y;
        } else if (margin < s / 2 - 3) {
          ++inside;
          ASSERT_EQ(p[3], 255);
          for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(p[k], bg[(size_t(y) * W + x) * 3 + k], degrees == 0 ? 0 : 2)
                << degrees << ": " << x << "," << y;
        }
      }
    EXPECT_GT(inside, (s - 8) * (s - 8) * 9 / 10);
  }
}

}  // namespace
