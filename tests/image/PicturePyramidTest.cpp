// The picture pyramid: lazily built tiles kept up to date over changed
// rectangles equal a pyramid built afresh.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/kernels/PicturePyramid.h"

using qimg::CPicturePyramid;
using qimg::PyramidRect;

namespace {
constexpr PyramidRect kAll{0, 0, 1 << 20, 1 << 20};

std::vector<uint8_t> Level(CPicturePyramid& p, const std::vector<uint8_t>& pic, int w, int h,
                           int k) {
  const CPicturePyramid::Level l = p.Get(pic.data(), w, h, k, kAll);
  return {l.pixels, l.pixels + size_t(l.width) * size_t(l.height) * 3};
}
}  // namespace

TEST(PicturePyramidTest, BoxFilterOfOddSizes) {
  // 3 x 1: (10, 20) and 30 alone
  const std::vector<uint8_t> pic{10, 10, 10, 20, 20, 20, 30, 31, 32};
  CPicturePyramid p;
  EXPECT_EQ(Level(p, pic, 3, 1, 1), (std::vector<uint8_t>{15, 15, 15, 30, 31, 32}));
  EXPECT_EQ(Level(p, pic, 3, 1, 2), (std::vector<uint8_t>{23, 23, 24}));
}

TEST(PicturePyramidTest, UpdatedOverRandomRectanglesEqualsFresh) {
  const int w = 1001, h = 517, levels = 5;
  std::mt19937 rng(7);
  std::vector<uint8_t> pic(size_t(w) * h * 3);
  for (uint8_t& b : pic) b = uint8_t(rng());
  CPicturePyramid kept;
  for (int k = 1; k <= levels; ++k) Level(kept, pic, w, h, k);
  for (int round = 0; round < 40; ++round) {
    const int x = int(rng() % w), y = int(rng() % h);
    const int rw = 1 + int(rng() % 300), rh = 1 + int(rng() % 200);
    const PyramidRect r{x, y, std::min(w, x + rw), std::min(h, y + rh)};
    const uint8_t value = uint8_t(rng());
    for (int yy = r.top; yy < r.bottom; ++yy)
      std::memset(&pic[(size_t(yy) * w + size_t(r.left)) * 3], value, size_t(r.right - r.left) * 3);
    kept.Invalidate(r);
    // now and then a part of a level is asked for between changes
    if (round % 3 == 0) {
      const int k = 1 + int(rng() % levels);
      kept.Get(pic.data(), w, h, k, {x >> k, y >> k, (x >> k) + 40, (y >> k) + 40});
    }
  }
  CPicturePyramid fresh;
  for (int k = 1; k <= levels; ++k)
    EXPECT_EQ(Level(kept, pic, w, h, k), Level(fresh, pic, w, h, k)) << "level " << k;
}

TEST(PicturePyramidTest, MemoryIsAThirdOfThePicture) {
  const int w = 2000, h = 1500;
  const std::vector<uint8_t> pic(size_t(w) * h * 3, 9);
  CPicturePyramid p;
  for (int k = 1; CPicturePyramid::LevelLength(w, k - 1) > 1; ++k) Level(p, pic, w, h, k);
  EXPECT_LE(double(p.Bytes()), 0.34 * double(pic.size()));
  // a constant picture stays constant at every level
  EXPECT_EQ(Level(p, pic, w, h, 4), std::vector<uint8_t>(size_t(125) * 94 * 3, 9));
}
