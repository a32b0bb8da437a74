// Match Colours through the document: the exported square comes back with its
// colours shifted as img2img shifts them and is matched before the blend;
// the option is stored and rebuilds a merge under way at once.
#include "image/kernels/ColourMatch.h"
#include "tests/document/DocTestSupport.h"
#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MaxDifference;
using testing_support::ShellQuote;

namespace {

constexpr const char* kShift =
    " -modulate 106,125,100 -channel R -evaluate multiply 1.06 -channel B"
    " -evaluate multiply 0.92 +channel ";

double DeltaE(const float a[3], const float b[3]) {
  double s = 0;
  for (int c = 0; c < 3; ++c) s += double(a[c] - b[c]) * (a[c] - b[c]);
  return std::sqrt(s);
}

// Mean colour difference and mean per-pixel difference (CIE76) of two
// pictures over the pixels where inside(x, y) holds.
struct Difference {
  double meanColour = 0, perPixel = 0;
};
template <class Inside>
Difference Compare(const CISImageEx& a, const CISImageEx& b, Inside inside) {
  double sa[3] = {}, sb[3] = {}, total = 0;
  size_t n = 0;
  for (int y = 0; y < int(a.m_height); ++y)
    for (int x = 0; x < int(a.m_width); ++x) {
      if (!inside(x, y)) continue;
      float la[3], lb[3];
      SrgbToLab(Px(a, x, y), la);
      SrgbToLab(Px(b, x, y), lb);
      for (int c = 0; c < 3; ++c) sa[c] += la[c], sb[c] += lb[c];
      total += DeltaE(la, lb);
      ++n;
    }
  const float ma[3] = {float(sa[0] / n), float(sa[1] / n), float(sa[2] / n)};
  const float mb[3] = {float(sb[0] / n), float(sb[1] / n), float(sb[2] / n)};
  return {DeltaE(ma, mb), total / double(n)};
}

class MatchColoursTest : public DocTest {
 protected:
  void SetUp() override {
    DocTest::SetUp();
    ForgetOption();
    // A photo-like main image: a fractal landscape, shapes and noise.
    const std::string orig = dir + "/orig.png";
    ASSERT_EQ(testing_support::Run(
                  "convert -size 300x225 -seed 11 plasma:fractal -blur 0x2 -resize 1200x900\\!"
                  " -fill 'rgb(200,40,40)' -draw 'rectangle 350,250 560,420'"
                  " -fill 'rgb(240,230,200)' -draw 'circle 700,500 700,600'"
                  " -seed 7 -attenuate 0.25 +noise Gaussian -depth 8 PNG24:" +
                  ShellQuote(orig)),
              0);
    doc->ImportFile(Q(orig));
    ASSERT_TRUE(doc->m_mainImage.HasPixels());
    doc->m_autoSend = 0;
  }

  // Every test, and the tests after these, start with the option at its
  // default (no stored value).
  void TearDown() override { ForgetOption(); }
  static void ForgetOption() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvandel"),
              QStringLiteral("Quiltor"))
        .remove(QStringLiteral("Settings/MatchColours"));
  }

  // Exports and locks the square, shifts the exported file's colours and
  // returns the shifted file's path.
  QString ExportAndShift() {
    const QString name = doc->ExportAndLock();
    EXPECT_FALSE(name.isEmpty());
    const std::string exported = dir + "/" + name.toStdString();
    const std::string shifted = dir + "/shifted_" + name.toStdString();
    EXPECT_EQ(testing_support::Run("convert " + ShellQuote(exported) + kShift +
                                   "PNG24:" + ShellQuote(shifted)),
              0);
    return Q(shifted);
  }

  // The blend under way equals a rebuild from the square's statistics
  // measured afresh.
  void ExpectFreshStatistics(const char* when) {
    CISImageEx blended;
    blended.CopyFrom(doc->m_mainImage);
    doc->ForgetReferenceColours();
    doc->SetMatchColours(false);
    doc->SetMatchColours(true);
    EXPECT_EQ(MaxDifference(doc->m_mainImage, blended), 0) << when;
  }

  // Inside the axis-aligned square and clear of its feather.
  auto Core(int margin) const {
    const int x0 = doc->m_sliceX + margin, y0 = doc->m_sliceY + margin;
    const int x1 = doc->m_sliceX + doc->m_sliceWidth - margin;
    const int y1 = doc->m_sliceY + doc->m_sliceHeight - margin;
    return [=](int x, int y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
  }
};

TEST_F(MatchColoursTest, OffByDefaultAndStored) {
  EXPECT_FALSE(doc->MatchColoursOn());
  doc->SetMatchColours(true);
  EXPECT_EQ(services.settings.GetProfileInt(QStringLiteral("Settings"),
                                            QStringLiteral("MatchColours"), -1),
            1);
  CQuiltorDoc second(host, services);
  EXPECT_TRUE(second.MatchColoursOn());
  doc->SetMatchColours(false);
  CQuiltorDoc third(host, services);
  EXPECT_FALSE(third.MatchColoursOn());
}

TEST_F(MatchColoursTest, ShiftedSliceIsMatchedBeforeTheBlend) {
  doc->PlaceSlice(300, 200, 512, 512);
  const QString shifted = ExportAndShift();
  CISImageEx original;
  original.CopyFrom(doc->m_mainImage);
  doc->ImportFile(shifted);
  ASSERT_EQ(doc->m_merge, 1);
  CISImageEx unmatched;
  unmatched.CopyFrom(doc->m_mainImage);
  const auto core = Core(services.edgeBlur);
  const Difference before = Compare(unmatched, *Before(*doc), core);

  doc->SetMatchColours(true);
  doc->ImportFile(shifted);
  const Difference after = Compare(doc->m_mainImage, *Before(*doc), core);
  EXPECT_GT(before.perPixel, 3.0);
  EXPECT_LE(after.meanColour, 1.0);
  EXPECT_LE(after.perPixel, 0.4 * before.perPixel) << before.perPixel << " -> " << after.perPixel;
  ExpectConsistentBlend(*doc);
  // Outside the square nothing changed.
  EXPECT_EQ(Compare(doc->m_mainImage, original,
                    [](int x, int y) { return x < 300 || y < 200 || x >= 812 || y >= 712; })
                .perPixel,
            0);
}

TEST_F(MatchColoursTest, TogglingDuringAMergeRebuildsAtOnceAndKeepsTheMask) {
  doc->PlaceSlice(300, 200, 512, 512);
  const QString shifted = ExportAndShift();
  doc->ImportFile(shifted);
  CISImageEx unmatched;
  unmatched.CopyFrom(doc->m_mainImage);
  // A stroke of the eraser, which a rebuild must keep.
  doc->m_tool = 0;
  doc->PaintMask(500, 400, 0);
  doc->PaintMask(600, 420, 1);
  std::vector<uint8_t> mask(doc->m_mask.m_pixels.get(),
                            doc->m_mask.m_pixels.get() + size_t{512} * 512);
  CISImageEx painted;
  painted.CopyFrom(doc->m_mainImage);

  const int repaints = host.repaints;
  doc->SetMatchColours(true);
  EXPECT_GT(host.repaints, repaints);
  EXPECT_EQ(doc->m_merge, 1);
  EXPECT_EQ(std::vector<uint8_t>(doc->m_mask.m_pixels.get(),
                                 doc->m_mask.m_pixels.get() + size_t{512} * 512),
            mask);
  EXPECT_LE(Compare(doc->m_mainImage, *Before(*doc), Core(services.edgeBlur)).meanColour,
            2.0);  // the erased stroke shows the backup, the rest the match
  ExpectConsistentBlend(*doc);
  // Off again: exactly the unmatched blend with the stroke.
  doc->SetMatchColours(false);
  EXPECT_EQ(MaxDifference(doc->m_mainImage, painted), 0);
  // An edge blur change after it still refeathers the unmatched slice.
  services.edgeBlur = 10;
  doc->RefreshMerge();
  ExpectConsistentBlend(*doc);
  doc->FillMask(255);
  services.edgeBlur = 32;
  doc->RefreshMerge();
  EXPECT_EQ(MaxDifference(doc->m_mainImage, unmatched), 0);
}

TEST_F(MatchColoursTest, OutsideAMergeTheImageStaysAndTheNextImportIsMatched) {
  CISImageEx before;
  before.CopyFrom(doc->m_mainImage);
  doc->SetMatchColours(true);
  EXPECT_EQ(MaxDifference(doc->m_mainImage, before), 0);
  EXPECT_EQ(doc->m_merge, 0);
  // After Cancel Merge the square stays locked and a toggle rebuilds nothing.
  doc->PlaceSlice(300, 200, 512, 512);
  doc->ImportFile(ExportAndShift());
  doc->CancelMerge();
  doc->SetMatchColours(false);
  EXPECT_EQ(MaxDifference(doc->m_mainImage, before), 0);
}

TEST_F(MatchColoursTest, RotatingSliceIsMatchedToTheUprightCut) {
  if (!doc_testing::RotatedCutAvailable()) FAIL() << "the rotated cut is missing";
  doc->PlaceRotatedSlice(300, 200, 512, 512, 30);
  const QString shifted = ExportAndShift();
  const int cx = 300 + 256, cy = 200 + 256;
  // Inside the turned square, clear of its feather: a disc about the centre.
  auto disc = [&](int x, int y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) < 200 * 200; };
  doc->ImportFile(shifted);
  const Difference before = Compare(doc->m_mainImage, *Before(*doc), disc);
  doc->SetMatchColours(true);
  const Difference after = Compare(doc->m_mainImage, *Before(*doc), disc);
  EXPECT_LE(after.meanColour, 1.0);
  EXPECT_LE(after.perPixel, 0.5 * before.perPixel) << before.perPixel << " -> " << after.perPixel;
  ExpectConsistentBlend(*doc);
}

TEST_F(MatchColoursTest, ZoomedSliceIsMatchedAtTheSquaresScale) {
  doc->CreateSlice(256, 0, 2);
  const QString shifted = ExportAndShift();  // 512 x 512, returned for a 256 square
  doc->SetMatchColours(true);
  doc->ImportFile(shifted);
  ASSERT_EQ(doc->m_merge, 1);
  EXPECT_LE(Compare(doc->m_mainImage, *Before(*doc), Core(16)).meanColour, 1.0);
}

TEST_F(MatchColoursTest, SquarePartlyOutsideTheImageMatchesTheInsidePart) {
  // The returned slice is laid at x -100: only 412 columns replace pixels.
  doc->PlaceSlice(0, 200, 512, 512);
  const QString shifted = ExportAndShift();
  doc->m_locked = 0;
  doc->PlaceSlice(-100, 200, 512, 512);
  doc->m_locked = 1;
  doc->SetMatchColours(true);
  doc->ImportFile(shifted);
  ASSERT_EQ(doc->m_merge, 1);
  ExpectConsistentBlend(*doc);
  EXPECT_EQ(doc->m_blendMask.m_pixels[0], 0);
}

}  // namespace

// The square's statistics are measured at the lock and kept for the merge;
// whatever changes the picture under the square between the lock and the
// import (a merge applied there, an undo) must not leave old ones in use.
// Each blend is held against a rebuild from statistics measured afresh.
TEST_F(MatchColoursTest, StatisticsMeasuredAtTheLockFollowThePicture) {
  doc->SetMatchColours(true);
  doc->PlaceSlice(300, 200, 512, 512);
  doc->ImportFile(ExportAndShift());
  ASSERT_EQ(doc->m_merge, 1);
  ExpectFreshStatistics("first cycle");
  doc->ApplyMerge();

  // The same place again: the square now holds the merged pixels.
  doc->ImportFile(ExportAndShift());
  ASSERT_EQ(doc->m_merge, 1);
  ExpectFreshStatistics("after a merge applied at the same place");
  doc->ApplyMerge();

  // Locked again, then the merge undone before the slice comes back.
  const QString shifted = ExportAndShift();
  doc->Undo();
  doc->ImportFile(shifted);
  ASSERT_EQ(doc->m_merge, 1);
  ExpectFreshStatistics("after an undo while locked");
}

TEST_F(MatchColoursTest, RotatingSquareMeasuredAtTheLockIsTheUprightCut) {
  if (!doc_testing::RotatedCutAvailable()) FAIL() << "the rotated cut is missing";
  doc->SetMatchColours(true);
  doc->PlaceRotatedSlice(300, 200, 512, 512, 30);
  doc->ImportFile(ExportAndShift());
  ASSERT_EQ(doc->m_merge, 1);
  ExpectFreshStatistics("rotating square");
}
