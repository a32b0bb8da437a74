#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "image/kernels/MergeKernels.h"
#include "image/kernels/RotatedSquare.h"

namespace {

using qkern::PixelRect;

struct RectCase {
  PixelRect a, b, united, common;
};

TEST(PixelRect, UnionAndIntersection) {
  const RectCase cases[] = {
      {{0, 0, 4, 4}, {2, 2, 6, 6}, {0, 0, 6, 6}, {2, 2, 4, 4}},
      {{0, 0, 4, 4}, {4, 0, 8, 4}, {0, 0, 8, 4}, {}},  // touching edges share nothing
      {{0, 0, 4, 4}, {}, {0, 0, 4, 4}, {}},            // empty adds nothing
      {{}, {-3, -2, -1, 5}, {-3, -2, -1, 5}, {}},      // negative coordinates
      {{5, 5, 5, 9}, {1, 1, 2, 2}, {1, 1, 2, 2}, {}},  // zero width counts as empty
      {{1, 1, 9, 9}, {3, 3, 4, 4}, {1, 1, 9, 9}, {3, 3, 4, 4}},
  };
  for (const RectCase& c : cases) {
    EXPECT_EQ(c.a.United(c.b), c.united);
    EXPECT_EQ(c.b.United(c.a), c.united);
    EXPECT_EQ(c.a.Intersected(c.b), c.common);
    EXPECT_EQ(c.b.Intersected(c.a), c.common);
    EXPECT_TRUE(c.united.Contains(c.a) && c.united.Contains(c.b));
  }
}

TEST(PixelView, CropAndCopyStayInside) {
  std::vector<uint8_t> from(6 * 5 * 3), to(6 * 5 * 3, 0);
  for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<uint8_t>(i);
  const PixelRect r{-2, 3, 3, 9};  // sticks out left and bottom
  qkern::CopyPixels(qkern::ConstPixelView::Packed(from.data(), 6, 5, 3).Crop(r),
                    qkern::PixelView::Packed(to.data(), 6, 5, 3).Crop(r));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const size_t at = (static_cast<size_t>(y) * 6 + x) * 3;
      EXPECT_EQ(to[at], y >= 3 && x < 3 ? from[at] : 0) << x << "," << y;
    }
}

// The turned square against the formulas each caller wrote before.
TEST(RotatedSquare, MatchesTheCallersFormulas) {
  for (int degrees : {0, 35, 90, -20, 359, 725}) {
    const float thetaF = static_cast<float>(degrees * M_PI / 180.0);
    const double thetaD = degrees * 3.14159265358979323846 / 180.0;
    const auto f = qkern::RotatedSquareF::FromDegrees(300, 200, degrees);
    const auto d = qkern::RotatedSquareD::FromDegrees(300, 200, degrees);
    ASSERT_EQ(f.cosine, std::cos(thetaF));
    ASSERT_EQ(f.sine, std::sin(thetaF));
    ASSERT_EQ(d.cosine, std::cos(thetaD));
    // The merge's bounding box: corners at (+-hw, +-hh) about the centre.
    const float hw = 256.f, hh = 128.f, c = f.cosine, s = f.sine;
    float minX = 1e9f, maxY = -1e9f;
    for (float u : {-hw, hw})
      for (float v : {-hh, hh}) {
        minX = std::min(minX, 300.f + u * c - v * s);
        maxY = std::max(maxY, 200.f + u * s + v * c);
      }
    const auto box = f.Bounds(hw, hh);
    EXPECT_EQ(box.minX, minX);
    EXPECT_EQ(box.maxY, maxY);
    // The renderer's inverse map and the export's forward map.
    const auto q = f.Inverse(410, 57);
    EXPECT_EQ(q.x, 110.f * c + -143.f * s);
    EXPECT_EQ(q.y, -143.f * c - 110.f * s);
    const auto p = d.Forward(-17.0, 40.0);
    EXPECT_EQ(p.x, 300.0 + -17.0 * d.cosine - 40.0 * d.sine);
    EXPECT_EQ(p.y, 200.0 + -17.0 * d.sine + 40.0 * d.cosine);
  }
}

// The dab as the document painted it before: an edge test at every pixel.
void ReferenceDab(const qkern::MaskLayers& l, const std::vector<uint8_t>& stamp, int side, int cx,
                  int cy, const uint8_t target[256]) {
  for (int v = 0; v < side; ++v)
    for (int u = 0; u < side; ++u) {
      const int mx = cx + u, my = cy + v;
      if (mx < 0 || my < 0 || mx >= l.mask.width || my >= l.mask.height) continue;
      const uint8_t sv = stamp[static_cast<size_t>(v) * side + u];
      if (sv == 0) continue;
      uint8_t& m = *l.mask.At(mx, my);
      m = qkern::MixTowards(m, target[*l.snapshot.At(mx, my)], sv);
      const int X = l.ox + mx, Y = l.oy + my;
      if (!l.blend || X < 0 || Y < 0 || X >= l.main.width || Y >= l.main.height) continue;
      const uint8_t* ov = l.overlay.At(mx, my);
      const uint32_t e = uint32_t{ov[3]} * m / 255;
      *l.blendMask.At(mx, my) = static_cast<uint8_t>(e);
      for (int k = 0; k < 3; ++k)
        l.main.At(X, Y)[k] = qkern::BlendChannel(l.backup.At(X, Y)[k], ov[k], e);
    }
}

TEST(PaintMaskDab, ClippedRangesEqualThePerPixelTest) {
  const int mw = 23, mh = 17, W = 30, H = 20, side = 9;
  std::mt19937 rng(5);
  auto noise = [&rng](size_t n) {
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
    return v;
  };
  const auto snapshot = noise(mw * mh), overlay = noise(mw * mh * 4), backup = noise(W * H * 3);
  auto stamp = noise(side * side);
  stamp[4] = 0;
  uint8_t target[256];
  for (int t = 0; t < 256; ++t) target[t] = static_cast<uint8_t>(255 - t / 2);
  // Overlay origins that put its edges off every side of the main picture,
  // and dab corners across the mask's edges.
  for (int ox : {-5, 0, 12})
    for (int oy : {-4, 8})
      for (int corner : {-6, -1, 3, 15, 20}) {
        std::vector<uint8_t> state[2][3];
        for (int run = 0; run < 2; ++run) {
          auto& [mask, blend, main] = state[run];
          mask = snapshot;
          blend.assign(mw * mh, 0);
          main = backup;
          qkern::MaskLayers l;
          l.mask = qkern::PixelView::Packed(mask.data(), mw, mh, 1);
          l.snapshot = qkern::ConstPixelView::Packed(snapshot.data(), mw, mh, 1);
          l.overlay = qkern::ConstPixelView::Packed(overlay.data(), mw, mh, 4);
          l.blendMask = qkern::PixelView::Packed(blend.data(), mw, mh, 1);
          l.backup = qkern::ConstPixelView::Packed(backup.data(), W, H, 3);
          l.main = qkern::PixelView::Packed(main.data(), W, H, 3);
          l.ox = ox;
          l.oy = oy;
          l.blend = true;
          if (run == 0)
            ReferenceDab(l, stamp, side, corner, corner - 2, target);
          else
            qkern::PaintMaskDab(l, qkern::ConstPixelView::Packed(stamp.data(), side, side, 1),
                                corner, corner - 2, target);
        }
        for (int k = 0; k < 3; ++k)
          ASSERT_EQ(state[0][k], state[1][k]) << ox << " " << oy << " " << corner << " " << k;
      }
}

// The bisected range holds exactly the dabs a scan of every k would keep,
// for segments in every direction, far outside, crossing and inside.
TEST(DabsBetween, EqualsAScanOfEveryDab) {
  const std::pair<int, float> cases[] = {{-5000, 3.7f}, {5000, -3.7f},    {10, 0.0f},
                                         {-100, 0.0f},  {1 << 28, -6e5f}, {70, -0.45f}};
  for (const auto& [start, step] : cases) {
    const qkern::DabRange got = qkern::DabsBetween(start, step, -16, 200, 3000);
    for (int k = 0; k < 3000; ++k) {
      const int corner = static_cast<int>(static_cast<float>(start) + static_cast<float>(k) * step);
      ASSERT_EQ(corner > -16 && corner < 200, k >= got.begin && k < got.end) << start << " " << k;
    }
  }
}

}  // namespace
