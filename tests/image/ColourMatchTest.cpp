// The colour match: the Lab conversions, the vector paths against the plain
// ones, and the match on a photo-like square shifted as img2img shifts it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image/kernels/ColourMatch.h"
#include "image/kernels/Parallel.h"
#include "support/TestSupport.h"

namespace {

using testing_support::MagickDecode;
using testing_support::ShellQuote;
using testing_support::TempDir;

// Runs the body with the vector paths off, as on a processor without them.
struct PlainPaths {
  PlainPaths() { qkern::VectorPathsSwitch() = false; }
  ~PlainPaths() { qkern::VectorPathsSwitch() = true; }
};

double DeltaE(const float a[3], const float b[3]) {
  return std::sqrt(double(a[0] - b[0]) * (a[0] - b[0]) + double(a[1] - b[1]) * (a[1] - b[1]) +
                   double(a[2] - b[2]) * (a[2] - b[2]));
}

double MeanPixelDeltaE(const CISImageEx& a, const CISImageEx& b) {
  const size_t n = size_t{a.m_width} * a.m_height;
  double total = 0;
  for (size_t i = 0; i < n; ++i) {
    float la[3], lb[3];
    SrgbToLab(a.Pixels() + 3 * i, la);
    SrgbToLab(b.Pixels() + 3 * i, lb);
    total += DeltaE(la, lb);
  }
  return total / double(n);
}

double MeanColourDeltaE(const CISImageEx& a, const CISImageEx& b) {
  const CLabStats sa = MeasureLabScalar(a.Pixels(), size_t{a.m_width} * a.m_height);
  const CLabStats sb = MeasureLabScalar(b.Pixels(), size_t{b.m_width} * b.m_height);
  const float ma[3] = {float(sa.mean[0]), float(sa.mean[1]), float(sa.mean[2])};
  const float mb[3] = {float(sb.mean[0]), float(sb.mean[1]), float(sb.mean[2])};
  return DeltaE(ma, mb);
}

// L of every pixel minus the mean L of its 5 x 5 neighbourhood (borders left out).
std::vector<double> HighPass(const CISImageEx& im) {
  const int w = int(im.m_width), h = int(im.m_height);
  std::vector<double> l(size_t(w) * h);
  for (size_t i = 0; i < l.size(); ++i) {
    float lab[3];
    SrgbToLab(im.Pixels() + 3 * i, lab);
    l[i] = lab[0];
  }
  std::vector<double> out;
  for (int y = 2; y < h - 2; ++y)
    for (int x = 2; x < w - 2; ++x) {
      double s = 0;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) s += l[size_t(y + dy) * w + (x + dx)];
      out.push_back(l[size_t(y) * w + x] - s / 25);
    }
  return out;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  double ma = 0, mb = 0;
  for (size_t i = 0; i < a.size(); ++i) ma += a[i], mb += b[i];
  ma /= double(a.size());
  mb /= double(b.size());
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

void Match(CISImageEx& slice, const CISImageEx& reference) {
  MatchColours(slice.Pixels(), size_t{slice.m_width} * slice.m_height, reference.Pixels(),
               size_t{reference.m_width} * reference.m_height);
}

// A picture with every kind of colour: smooth ramps, noise, saturated
// corners and grey.
void MakeColourful(CISImageEx& im, uint32_t w, uint32_t h, uint32_t seed) {
  im.Create(w, h, 24);
  std::mt19937 rng(seed);
  uint8_t* p = im.Pixels();
  for (uint32_t i = 0; i < w * h; ++i) {
    for (int c = 0; c < 3; ++c) p[3 * i + c] = uint8_t(rng());
    if (i % 7 == 0) p[3 * i + 1] = p[3 * i + 2] = p[3 * i];  // greys
    if (i % 11 == 0) p[3 * i] = 0, p[3 * i + 1] = 255;       // gamut corners
  }
}

// count pixels of im through the vector path and through the plain one.
void MapBothWays(const CISImageEx& im, size_t count, const CLabTransfer& t, CISImageEx& fast,
                 CISImageEx& plain) {
  fast.CopyFrom(im);
  plain.CopyFrom(im);
  ApplyLabTransfer(fast.Pixels(), count, t);
  ApplyLabTransferScalar(plain.Pixels(), count, t);
}

TEST(ColourMatchTest, LabValuesOfKnownColours) {
  struct Row {
    uint8_t rgb[3];
    float lab[3];
  } rows[] = {{{255, 255, 255}, {100, 0, 0}},
              {{0, 0, 0}, {0, 0, 0}},
              {{255, 0, 0}, {53.24f, 80.09f, 67.20f}},
              {{0, 255, 0}, {87.73f, -86.18f, 83.18f}},
              {{0, 0, 255}, {32.30f, 79.19f, -107.86f}},
              {{128, 128, 128}, {53.59f, 0, 0}}};
  for (const Row& r : rows) {
    float lab[3];
    SrgbToLab(r.rgb, lab);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(lab[c], r.lab[c], 0.05) << int(r.rgb[0]) << " " << c;
    uint8_t back[3];
    LabToSrgb(lab, back);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(back[c], r.rgb[c]);
  }
  // Outside the gamut the way back clamps.
  const float beyond[3] = {120, 0, 0}, below[3] = {-10, 0, 0};
  uint8_t out[3];
  LabToSrgb(beyond, out);
  EXPECT_EQ(out[0], 255);
  LabToSrgb(below, out);
  EXPECT_EQ(out[0], 0);
}

TEST(ColourMatchTest, RoundTripGivesEveryByteBack) {
  int wrong = 0;
  for (int r = 0; r < 256; r += 3)
    for (int g = 1; g < 256; g += 5)
      for (int b = 2; b < 256; b += 7) {
        const uint8_t rgb[3] = {uint8_t(r), uint8_t(g), uint8_t(b)};
        float lab[3];
        uint8_t back[3];
        SrgbToLab(rgb, lab);
        LabToSrgb(lab, back);
        for (int c = 0; c < 3; ++c) {
          ASSERT_LE(std::abs(int(back[c]) - int(rgb[c])), 1);
          wrong += back[c] != rgb[c];
        }
      }
  EXPECT_EQ(wrong, 0);
}

// Odd counts reach the tails the vector paths hand on; the sizes cover one
// thread and several.
TEST(ColourMatchTest, VectorPathsMatchThePlainOnes) {
  for (uint32_t count : {1u, 7u, 8u, 11u, 19u, 1001u, 300017u}) {
    CISImageEx im;
    MakeColourful(im, count, 1, count);
    const CLabStats fast = MeasureLab(im.Pixels(), count);
    const CLabStats plain = MeasureLabScalar(im.Pixels(), count);
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(fast.mean[c], plain.mean[c], 1e-3) << count;
      EXPECT_NEAR(fast.deviation[c], plain.deviation[c], 1e-3) << count;
    }
    CLabTransfer t;
    t.scale[0] = 0.9f, t.scale[1] = 0.8f, t.scale[2] = 1.2f;
    t.offset[0] = 4, t.offset[1] = -3, t.offset[2] = 6;
    CISImageEx a, b;
    MapBothWays(im, count, t, a, b);
    size_t differing = 0;
    for (size_t i = 0; i < size_t{count} * 3; ++i) {
      ASSERT_LE(std::abs(int(a.Pixels()[i]) - int(b.Pixels()[i])), 1) << count << " at " << i;
      differing += a.Pixels()[i] != b.Pixels()[i];
    }
    EXPECT_LE(differing, size_t{count} * 3 / 500 + 1) << count;
    // The match into 32-bit pixels: opaque, within a level of the plain
    // match, and measuring what MeasureLab measures.
    CLabStats reference;
    reference.mean[0] = 55, reference.mean[1] = 4, reference.mean[2] = -6;
    reference.deviation[0] = 20, reference.deviation[1] = 9, reference.deviation[2] = 14;
    std::vector<uint8_t> rgba(size_t{count} * 4, 7);
    std::vector<uint16_t> scratch;
    const CLabStats measured = MatchIntoRgba(im.Pixels(), rgba.data(), count, reference, scratch);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(measured.mean[c], plain.mean[c], 1e-3) << count;
    CISImageEx expected;
    expected.CopyFrom(im);
    ApplyLabTransferScalar(expected.Pixels(), count, MakeLabTransfer(plain, reference));
    size_t differingRgba = 0;
    for (size_t i = 0; i < count; ++i) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_LE(std::abs(int(rgba[4 * i + c]) - int(expected.Pixels()[3 * i + c])), 1)
            << count << " at " << i;
        differingRgba += rgba[4 * i + c] != expected.Pixels()[3 * i + c];
      }
      ASSERT_EQ(rgba[4 * i + 3], 255);
    }
    EXPECT_LE(differingRgba, size_t{count} * 3 / 200 + 1) << count;
    // Without the vector paths the public entries are the plain loops.
    PlainPaths plainPaths;
    CISImageEx c;
    c.CopyFrom(im);
    ApplyLabTransfer(c.Pixels(), count, t);
    EXPECT_EQ(testing_support::MaxDifference(b, c), 0);
    std::vector<uint8_t> plainRgba(size_t{count} * 4);
    MatchIntoRgba(im.Pixels(), plainRgba.data(), count, reference, scratch);
    for (size_t i = 0; i < count; ++i)
      ASSERT_EQ(0, std::memcmp(&plainRgba[4 * i], expected.Pixels() + 3 * i, 3))
          << count << " at " << i;
    EXPECT_EQ(MeasureLab(im.Pixels(), count).mean[1], plain.mean[1]);
  }
}

// Colours from the whole cube through transfers from gentle to the strongest
// the rules allow: the vector path stays within a level of the plain one,
// also where the map pushes colours far out of the gamut.
TEST(ColourMatchTest, VectorPathFollowsThePlainOneOverTheWholeCube) {
  CISImageEx cube;
  const uint32_t side = 64;  // 64 x 64 x 64 colours, 4 levels apart
  ASSERT_EQ(cube.Create(side * side, side, 24), kISOk);
  uint8_t* p = cube.Pixels();
  for (uint32_t r = 0; r < side; ++r)
    for (uint32_t g = 0; g < side; ++g)
      for (uint32_t b = 0; b < side; ++b, p += 3) {
        p[0] = uint8_t(r * 255 / (side - 1));
        p[1] = uint8_t(g * 255 / (side - 1));
        p[2] = uint8_t(b * 255 / (side - 1));
      }
  const size_t n = size_t{side} * side * side;
  struct Case {
    float scale[3], offset[3];
  };
  const Case cases[] = {{{1, 1, 1}, {0, 0, 0}},
                        {{0.95f, 0.8f, 0.9f}, {2, -4, 5}},
                        {{1.1f, 1.25f, 1.2f}, {-3, 6, -8}},
                        {{4, 4, 4}, {-150, 0, 0}},
                        {{0.25f, 0.25f, 0.25f}, {40, 10, -10}}};
  for (const Case& k : cases) {
    CLabTransfer t;
    for (int c = 0; c < 3; ++c) t.scale[c] = k.scale[c], t.offset[c] = k.offset[c];
    CISImageEx fast, plain;
    MapBothWays(cube, n, t, fast, plain);
    size_t differing = 0;
    for (size_t i = 0; i < 3 * n; ++i) differing += fast.Pixels()[i] != plain.Pixels()[i];
    EXPECT_LE(testing_support::MaxDifference(fast, plain), 1) << k.scale[0];
    EXPECT_LE(differing, 3 * n / 200) << k.scale[0];
  }
  // The unchanged map gives every byte back.
  CISImageEx same;
  same.CopyFrom(cube);
  ApplyLabTransfer(same.Pixels(), n, CLabTransfer{});
  EXPECT_LE(testing_support::MaxDifference(same, cube), 1);
}

// A square measured where it lies in a larger picture gives what the square
// cut out gives.
TEST(ColourMatchTest, MeasuringRowsOfALargerPicture) {
  CISImageEx big;
  MakeColourful(big, 301, 97, 5);
  const uint32_t x0 = 13, y0 = 7, w = 250, h = 80;
  CISImageEx square;
  ASSERT_EQ(square.Create(w, h, 24), kISOk);
  for (uint32_t y = 0; y < h; ++y)
    std::memcpy(square.Pixels() + size_t{y} * w * 3,
                big.Pixels() + (size_t{y0 + y} * big.m_width + x0) * 3, size_t{w} * 3);
  const CLabStats cut = MeasureLabScalar(square.Pixels(), size_t{w} * h);
  const CLabStats rows =
      MeasureLabRows(big.Pixels() + (size_t{y0} * big.m_width + x0) * 3, w, h, big.m_width * 3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(rows.mean[c], cut.mean[c], 1e-3);
    EXPECT_NEAR(rows.deviation[c], cut.deviation[c], 1e-3);
  }
  EXPECT_EQ(MeasureLabRows(nullptr, w, h, w * 3).mean[0], 0);
  EXPECT_EQ(MeasureLabRows(big.Pixels(), 0, h, w * 3).deviation[0], 0);
}

TEST(ColourMatchTest, StatisticsOfKnownPictures) {
  // Half black, half white: L has mean 50 and deviation 50; a and b are 0.
  std::vector<uint8_t> bw(3 * 1000);
  for (size_t i = 0; i < 500 * 3; ++i) bw[i] = 255;
  const CLabStats s = MeasureLab(bw.data(), 1000);
  EXPECT_NEAR(s.mean[0], 50, 1e-3);
  EXPECT_NEAR(s.deviation[0], 50, 1e-3);
  EXPECT_NEAR(s.deviation[1], 0, 1e-3);
  EXPECT_EQ(MeasureLab(nullptr, 0).mean[0], 0);
}

TEST(ColourMatchTest, TransferRules) {
  CLabStats from, to;
  from.mean[0] = 40, from.deviation[0] = 10;  // ordinary: ratio 2
  to.mean[0] = 60, to.deviation[0] = 20;
  from.mean[1] = 5, from.deviation[1] = 0;  // flat slice channel: only the mean moves
  to.mean[1] = -5, to.deviation[1] = 8;
  from.mean[2] = 1, from.deviation[2] = 50;  // ratio 0.01 limited to 1/4
  to.mean[2] = 2, to.deviation[2] = 0.5;
  const CLabTransfer t = MakeLabTransfer(from, to);
  EXPECT_FLOAT_EQ(t.scale[0], 2);
  EXPECT_FLOAT_EQ(t.offset[0], 60 - 2 * 40);
  EXPECT_FLOAT_EQ(t.scale[1], 1);
  EXPECT_FLOAT_EQ(t.offset[1], -10);
  EXPECT_FLOAT_EQ(t.scale[2], 0.25f);
  EXPECT_FLOAT_EQ(t.offset[2], 2 - 0.25f * 1);
  to.deviation[2] = 0;  // flat original channel: the slice keeps its spread
  EXPECT_FLOAT_EQ(MakeLabTransfer(from, to).scale[2], 1);
}

TEST(ColourMatchTest, ConstantPictureStaysConstant) {
  for (uint8_t v : {uint8_t(0), uint8_t(1), uint8_t(77), uint8_t(254), uint8_t(255)}) {
    CISImageEx flat;
    flat.Create(37, 5, 24);
    std::memset(flat.Pixels(), v, flat.RowBytes() * 5);
    flat.Pixels()[0] = v;  // grey
    CISImageEx copy;
    copy.CopyFrom(flat);
    Match(copy, flat);
    EXPECT_EQ(testing_support::MaxDifference(copy, flat), 0) << int(v);
  }
  // A flat colour onto another flat colour takes that colour.
  CISImageEx red, blue;
  red.Create(20, 20, 24);
  blue.Create(10, 10, 24);
  std::memset(red.Pixels(), 0, red.RowBytes() * 20);
  std::memset(blue.Pixels(), 0, blue.RowBytes() * 10);
  for (size_t i = 0; i < 400; ++i) red.Pixels()[3 * i] = 200;
  for (size_t i = 0; i < 100; ++i) blue.Pixels()[3 * i + 2] = 180;
  Match(red, blue);
  for (size_t i = 0; i < 400; ++i) {
    EXPECT_NEAR(red.Pixels()[3 * i], 0, 1);
    EXPECT_NEAR(red.Pixels()[3 * i + 1], 0, 1);
    EXPECT_NEAR(red.Pixels()[3 * i + 2], 180, 1);
  }
}

TEST(ColourMatchTest, EmptyInputChangesNothing) {
  uint8_t px[3] = {10, 20, 30};
  MatchColours(px, 1, nullptr, 0);
  MatchColours(px, 0, px, 1);
  MatchColours(nullptr, 0, px, 1);
  EXPECT_EQ(px[0], 10);
  EXPECT_EQ(px[2], 30);
}

// A photo-like square and the same square as img2img shifts its colours.
class ShiftedSquare : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    dir_ = TempDir();
    const std::string orig = dir_ + "/orig.png", shifted = dir_ + "/shifted.png";
    ASSERT_EQ(testing_support::Run(GetParam() + " " + ShellQuote(orig)), 0) << GetParam();
    ASSERT_EQ(
        testing_support::Run("convert " + ShellQuote(orig) +
                             " -modulate 106,125,100 -channel R -evaluate multiply 1.06 -channel B"
                             " -evaluate multiply 0.92 +channel " +
                             ShellQuote(shifted)),
        0);
    ASSERT_TRUE(MagickDecode(orig, original_));
    ASSERT_TRUE(MagickDecode(shifted, shifted_));
  }
  std::string dir_;
  CISImageEx original_, shifted_;
};

TEST_P(ShiftedSquare, MatchBringsTheColoursBack) {
  CISImageEx matched;
  matched.CopyFrom(shifted_);
  Match(matched, original_);
  const double before = MeanPixelDeltaE(shifted_, original_);
  const double after = MeanPixelDeltaE(matched, original_);
  RecordProperty("delta_e_unmatched", std::to_string(before));
  RecordProperty("delta_e_matched", std::to_string(after));
  RecordProperty("mean_colour_delta_e", std::to_string(MeanColourDeltaE(matched, original_)));
  EXPECT_GT(before, 3.0);  // the shift is worth undoing
  EXPECT_LE(MeanColourDeltaE(matched, original_), 1.0);
  EXPECT_LE(after, 0.4 * before) << before << " -> " << after;
  // The plain paths give the same result to within a level.
  CISImageEx plain;
  plain.CopyFrom(shifted_);
  {
    PlainPaths plainPaths;
    Match(plain, original_);
  }
  EXPECT_LE(testing_support::MaxDifference(plain, matched), 1);
}

TEST_P(ShiftedSquare, UnchangedSliceStaysAlmostTheSame) {
  CISImageEx same;
  same.CopyFrom(original_);
  Match(same, original_);
  RecordProperty("delta_e_unchanged", std::to_string(MeanPixelDeltaE(same, original_)));
  EXPECT_LE(MeanPixelDeltaE(same, original_), 0.5);
}

TEST_P(ShiftedSquare, DetailTheSliceAddedIsKept) {
  // The returned slice: shifted, with strokes and fine noise of its own.
  const std::string detailed = dir_ + "/detailed.png";
  ASSERT_EQ(testing_support::Run(
                "convert " + ShellQuote(dir_ + "/shifted.png") +
                " -fill none -stroke 'rgb(30,30,30)' -strokewidth 2 -draw 'line 0,10 300,90'"
                " -stroke 'rgb(240,240,250)' -draw 'circle 70,60 70,90'"
                " -seed 3 -attenuate 1.5 +noise Gaussian " +
                ShellQuote(detailed)),
            0);
  CISImageEx returned, matched;
  ASSERT_TRUE(MagickDecode(detailed, returned));
  matched.CopyFrom(returned);
  Match(matched, original_);
  const double correlation = Correlation(HighPass(matched), HighPass(returned));
  RecordProperty("high_pass_correlation", std::to_string(correlation));
  EXPECT_GE(correlation, 0.95);
}

INSTANTIATE_TEST_SUITE_P(
    Originals, ShiftedSquare,
    ::testing::Values(
        // A fractal landscape with hard-edged shapes and sensor noise.
        std::string("convert -size 128x128 -seed 42 plasma:fractal -blur 0x2 -resize 384x320\\!"
                    " -fill 'rgb(200,40,40)' -draw 'rectangle 40,40 140,120'"
                    " -fill 'rgb(30,90,200)' -draw 'circle 260,220 260,300'"
                    " -fill 'rgb(240,230,200)' -draw 'polygon 200,30 370,60 300,140'"
                    " -seed 7 -attenuate 0.25 +noise Gaussian -depth 8"),
        // A real photograph.
        std::string("convert " +
                    ShellQuote(testing_support::CorpusFile("go-image/video-001.png")))),
    [](const ::testing::TestParamInfo<std::string>& info) {
      return std::string(info.index == 0 ? "Fractal" : "Photo");
    });

TEST(ColourMatchTest, FlatOriginalLeavesDetailIntact) {
  CISImageEx grey, slice;
  grey.Create(200, 150, 24);
  std::memset(grey.Pixels(), 128, grey.RowBytes() * 150);
  testing_support::MakeTestPicture(slice, 200, 150, 5);
  CISImageEx matched;
  matched.CopyFrom(slice);
  Match(matched, grey);
  const CLabStats before = MeasureLabScalar(slice.Pixels(), 200 * 150);
  const CLabStats after = MeasureLabScalar(matched.Pixels(), 200 * 150);
  // The means move to the grey's, the spread stays (up to the clipping at the gamut).
  const CLabStats g = MeasureLabScalar(grey.Pixels(), 200 * 150);
  EXPECT_NEAR(after.mean[0], g.mean[0], 1.5);
  EXPECT_NEAR(after.deviation[0], before.deviation[0], 0.1 * before.deviation[0]);
  EXPECT_GE(Correlation(HighPass(matched), HighPass(slice)), 0.99);
}

}  // namespace
