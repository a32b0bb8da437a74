#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "document/MergeBlend.h"
#include "image/kernels/Compositing.h"

namespace {

TEST(MergeBlend, VectorRowsEqualTheFormulaForEveryLength) {
  std::mt19937 rng(5);
  for (int n = 0; n <= 41; ++n) {
    std::vector<uint8_t> mask(n), overlay(4 * n), backup(3 * n);
    for (auto* v : {&mask, &overlay, &backup})
      for (auto& b : *v) b = uint8_t(rng());
    if (n > 2) mask[0] = 255, mask[1] = 0, overlay[3] = 255;  // the extremes
    std::vector<uint8_t> main(3 * n, 7), blend(n, 7);
    merge::BlendRow(mask.data(), overlay.data(), backup.data(), main.data(), blend.data(), n);
    for (int i = 0; i < n; ++i) {
      const uint32_t e = uint32_t(mask[i]) * overlay[4 * i + 3] / 255;
      ASSERT_EQ(blend[i], e) << n << " " << i;
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(main[3 * i + c], (backup[3 * i + c] * (255 - e) + overlay[4 * i + c] * e) / 255)
            << n << " " << i << " " << c;
    }
  }
}

TEST(MergeBlend, OneChannelSampleEqualsTheFullSample) {
  std::mt19937 rng(9);
  const int w = 17, h = 13;
  std::vector<uint8_t> rgba(w * h * 4);
  for (auto& b : rgba) b = uint8_t(rng());
  std::uniform_real_distribution<double> px(-2, w + 1), py(-2, h + 1);
  for (int i = 0; i < 2000; ++i) {
    double x = px(rng), y = py(rng);
    uint8_t out[4];
    SampleBicubic(rgba.data(), w, h, x, y, 4, out);
    for (int k = 0; k < 4; ++k)
      ASSERT_EQ(SampleBicubicChannel(rgba.data(), w, h, x, y, 4, k), out[k]) << x << "," << y;
  }
}

}  // namespace
