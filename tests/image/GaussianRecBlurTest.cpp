#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "image/kernels/GaussianRecBlur.h"

namespace {

// The recurrence transcribed term by term, one line at a time.
void ReferenceLine(std::vector<uint8_t>& x, double r) {
  const double sigma = r * 0.5;
  const double q =
      sigma >= 2.5 ? 0.98711 * sigma - 0.9633 : 3.97156 - 4.14554 * std::sqrt(1 - 0.26891 * sigma);
  const double b0 = 1.57825 + 2.44413 * q + 1.4281 * q * q + 0.422205 * q * q * q;
  const double b1 = 2.44413 * q + 2.85619 * q * q + 1.26661 * q * q * q;
  const double b2 = -(1.4281 * q * q + 1.26661 * q * q * q);
  const double b3 = 0.422205 * q * q * q;
  const double r0 = 1 / b0, c1 = b1 * r0, c2 = b2 * r0, c3 = b3 * r0;
  const double B = 1 - (b1 + b2 + b3) * r0;
  const int n = int(x.size());
  std::vector<double> w(n), o(n);
  w[0] = x[0] * B + x[0] * c1 + x[0] * c2 + x[0] * c3;
  w[1] = x[1] * B + w[0] * c1 + w[0] * c2 + w[0] * c3;
  w[2] = x[2] * B + w[1] * c1 + w[0] * c2 + w[0] * c3;
  for (int k = 3; k < n; ++k) w[k] = x[k] * B + w[k - 1] * c1 + w[k - 2] * c2 + w[k - 3] * c3;
  o[n - 1] = w[n - 1] * B + w[n - 1] * c1 + w[n - 1] * c2 + w[n - 1] * c3;
  o[n - 2] = o[n - 1] * c1 + w[n - 2] * B + o[n - 1] * c2 + o[n - 1] * c3;
  o[n - 3] = w[n - 3] * B + o[n - 2] * c1 + o[n - 1] * c2 + o[n - 1] * c3;
  for (int k = n - 4; k >= 0; --k) o[k] = w[k] * B + o[k + 1] * c1 + o[k + 2] * c2 + o[k + 3] * c3;
  for (int k = 0; k < n; ++k) x[k] = uint8_t(std::trunc(std::clamp(o[k], 0.0, 255.0)));
}

void ReferenceBlur(std::vector<uint8_t>& buf, int width, int height, double r) {
  std::vector<uint8_t> line;
  for (int y = 0; y < height; ++y) {
    line.assign(buf.begin() + y * width, buf.begin() + (y + 1) * width);
    ReferenceLine(line, r);
    std::copy(line.begin(), line.end(), buf.begin() + y * width);
  }
  line.resize(height);
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) line[y] = buf[y * width + x];
    ReferenceLine(line, r);
    for (int y = 0; y < height; ++y) buf[y * width + x] = line[y];
  }
}

TEST(GaussianRecBlur, MatchesTheLineByLineRecurrence) {
  std::mt19937 rng(7);
  struct Case {
    int w, h;
    double r;
  } cases[] = {{3, 3, 0.62},  {17, 9, 2.0},   {31, 40, 4.9},
               {64, 23, 5.0}, {100, 101, 30}, {9, 250, 60}};
  for (const Case& c : cases) {
    std::vector<uint8_t> buf(size_t(c.w) * c.h);
    for (auto& b : buf) b = uint8_t(rng() % 4 == 0 ? 255 : rng() & 0xFF);
    std::vector<uint8_t> want = buf;
    ReferenceBlur(want, c.w, c.h, c.r);
    CGaussianRecBlur().Blur(buf.data(), c.w, c.h, c.r);
    EXPECT_EQ(buf, want) << c.w << "x" << c.h << " r=" << c.r;
  }
}

TEST(GaussianRecBlur, SmallRadiusOrNarrowBufferChangesNothing) {
  std::vector<uint8_t> buf(2 * 10);
  for (size_t i = 0; i < buf.size(); ++i) buf[i] = uint8_t(i * 37);
  std::vector<uint8_t> orig = buf;
  CGaussianRecBlur().Blur(buf.data(), 2, 10, 30);
  EXPECT_EQ(buf, orig);
  buf.assign(100, 0);
  buf[55] = 255;
  orig = buf;
  CGaussianRecBlur().Blur(buf.data(), 10, 10, 0.5);
  EXPECT_EQ(buf, orig);
}

TEST(GaussianRecBlur, ConstantBuffersStayConstantUpToTruncation) {
  // The coefficients sum to 1 only up to rounding: 200, 255 and 0 come back
  // exactly, 127 comes back as 126.99999... and truncates to 126.
  for (auto [level, want] : {std::pair{200, 200}, {127, 126}, {255, 255}, {0, 0}}) {
    std::vector<uint8_t> buf(60 * 60, uint8_t(level));
    CGaussianRecBlur().Blur(buf.data(), 60, 60, 30);
    for (uint8_t b : buf) ASSERT_EQ(b, want) << "level " << level;
  }
}

TEST(GaussianRecBlur, SpreadsAnImpulseSymmetricallyKeepingItsMass) {
  const int n = 61;
  std::vector<uint8_t> buf(n * n, 0);
  for (int y = 25; y <= 35; ++y)
    for (int x = 25; x <= 35; ++x) buf[y * n + x] = 255;
  CGaussianRecBlur().Blur(buf.data(), n, n, 6);
  long sum = 0;
  for (uint8_t b : buf) sum += b;
  EXPECT_NEAR(double(sum), 121 * 255.0, 121 * 255.0 * 0.05);
  EXPECT_LT(buf[30 * n + 30], 255);
  EXPECT_GT(buf[30 * n + 20], 0);
  // Recursive filters are not exactly symmetric, but close.
  EXPECT_NEAR(buf[30 * n + 20], buf[30 * n + 40], 3);
  EXPECT_NEAR(buf[20 * n + 30], buf[30 * n + 20], 3);
}

}  // namespace
