// quiltor-cli run with match-colours: a square returned with its colours
// shifted as img2img shifts them is merged matched, and unmatched once the
// option is turned off during the merge.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "image/ISImageEx.h"
#include "image/kernels/ColourMatch.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ShellQuote;

struct Difference {
  double meanColour = 0, perPixel = 0;
};

double DeltaE(const float a[3], const float b[3]) {
  double s = 0;
  for (int c = 0; c < 3; ++c) s += double(a[c] - b[c]) * (a[c] - b[c]);
  return std::sqrt(s);
}

// CIE76 differences over the rectangle x0..x1, y0..y1 (exclusive).
Difference Compare(const CISImageEx& a, const CISImageEx& b, int x0, int y0, int x1, int y1) {
  double sa[3] = {}, sb[3] = {}, total = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const size_t at = (size_t(y) * a.m_width + x) * 3;
      float la[3], lb[3];
      SrgbToLab(a.Pixels() + at, la);
      SrgbToLab(b.Pixels() + at, lb);
      for (int c = 0; c < 3; ++c) sa[c] += la[c], sb[c] += lb[c];
      total += DeltaE(la, lb);
    }
  const double n = double(x1 - x0) * (y1 - y0);
  const float ma[3] = {float(sa[0] / n), float(sa[1] / n), float(sa[2] / n)};
  const float mb[3] = {float(sb[0] / n), float(sb[1] / n), float(sb[2] / n)};
  return {DeltaE(ma, mb), total / n};
}

TEST(MatchColoursCommand, MatchesTheReturnedSliceAndUnmatchesItOnceTurnedOff) {
  const std::string dir = testing_support::TempDir();
  const std::string d = ShellQuote(dir);
  ASSERT_EQ(testing_support::Run(
                "cd " + d +
                " && convert -size 200x150 -seed 5 plasma:fractal -blur 0x2 -resize 800x600\\!"
                " -fill 'rgb(30,90,200)' -draw 'circle 400,300 400,380'"
                " -seed 7 -attenuate 0.25 +noise Gaussian -depth 8 PNG24:orig.png"
                " && convert orig.png -crop 512x512+150+50 +repage -modulate 106,125,100"
                " -channel R -evaluate multiply 1.06 -channel B -evaluate multiply 0.92 +channel"
                " PNG24:returned.png"),
            0);
  const std::string script =
      "open orig.png\\nmatch-colours on\\nplace 150 50 512 512\\nlock\\nimport returned.png\\n"
      "save-as matched.png\\nmatch-colours off\\nsave-as unmatched.png\\nmatch-colours maybe\\n"
      "match-colours\\n";
  std::string out;
  const int status = testing_support::Run("cd " + d + " && printf '" + script + "' | HOME=" + d +
                                              " XDG_CONFIG_HOME=" + d + "/config " +
                                              ShellQuote(QUILTOR_CLI) + " run",
                                          &out);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("Load & Merge Slice: returned.png\n"), std::string::npos) << out;
  EXPECT_NE(out.find("# error: line 9: match-colours on or off\n"), std::string::npos) << out;
  EXPECT_NE(out.find("# error: line 10: wrong number of arguments\n"), std::string::npos) << out;

  CISImageEx orig, matched, unmatched;
  ASSERT_EQ(orig.Load(dir + "/orig.png"), 0u);
  ASSERT_EQ(matched.Load(dir + "/matched.png"), 0u);
  ASSERT_EQ(unmatched.Load(dir + "/unmatched.png"), 0u);
  // The square clear of its 32-pixel feather.
  const Difference before = Compare(unmatched, orig, 182, 82, 630, 530);
  const Difference after = Compare(matched, orig, 182, 82, 630, 530);
  EXPECT_GT(before.perPixel, 3.0);
  EXPECT_LE(after.meanColour, 1.0);
  EXPECT_LE(after.perPixel, 0.4 * before.perPixel) << before.perPixel << " -> " << after.perPixel;
  // Outside the square both equal the original.
  EXPECT_EQ(Compare(matched, orig, 0, 0, 800, 50).perPixel, 0);
  EXPECT_EQ(Compare(unmatched, orig, 662, 0, 800, 600).perPixel, 0);
}

}  // namespace
