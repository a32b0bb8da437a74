// Slice places anywhere in the int range (console commands, hand-edited
// history names) reach the merge and the centring without overflow: under
// UBSan any overflowing sum or out-of-range float conversion aborts the test.
#include <climits>
#include <vector>

#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::MaxDifference;

namespace {

const int kExtremes[] = {INT_MIN, INT_MIN + 1, -1, 0, INT_MAX - 1, INT_MAX};

class SliceBoundsTest : public DocTest {
 protected:
  void SetUp() override {
    DocTest::SetUp();
    SetMain(300, 200);
    MakeTestPicture(slice, 64, 64, 4);
  }
  // Merges the 64 x 64 slice at the place given, then repaints the mask, a new
  // feather and the mask again, as a user would.
  void MergeAt(int x, int y, int width, int height, bool rotating) {
    if (rotating)
      doc->PlaceRotatedSlice(x, y, width, height, 35);
    else
      doc->PlaceSlice(x, y, width, height);
    StartMerge(slice);
    ASSERT_EQ(doc->m_merge, 1);
    doc->PaintMask(INT_MIN, INT_MAX, 0);
    doc->PaintMask(150, 100, 0);  // a new stroke: no dabs along the way
    doc->PaintMask(INT_MAX, INT_MIN, 0);
    services.edgeBlur = 5;
    doc->RefreshMerge();
    doc->FillMask(40);
    services.edgeBlur = 32;
    doc->CancelMerge();
    doc->m_locked = 0;
  }
  CISImageEx slice;
};

TEST_F(SliceBoundsTest, CentringClampsTheCornerInsideTheImage) {
  for (int side : {64, INT_MIN, INT_MAX})
    for (int x : kExtremes)
      for (int y : kExtremes) {
        doc->m_sliceWidth = doc->m_sliceHeight = side;
        doc->CentreSliceAt(x, y);
        if (side == 64) {
          EXPECT_EQ(doc->m_sliceX, x < 32 ? 0 : 300 - 64) << x;
          EXPECT_EQ(doc->m_sliceY, y < 32 ? 0 : 200 - 64) << y;
        }
      }
  doc->m_sliceWidth = doc->m_sliceHeight = 64;
  doc->CentreSliceAt(150, 100);
  EXPECT_EQ(doc->m_sliceX, 118);
  EXPECT_EQ(doc->m_sliceY, 68);
}

TEST_F(SliceBoundsTest, AxisMergeFarOutsideLeavesTheImageAlone) {
  CISImageEx before;
  ASSERT_EQ(before.CopyFrom(doc->m_mainImage), 0u);
  for (int x : kExtremes)
    for (int y : kExtremes) {
      if ((x == -1 || x == 0) && (y == -1 || y == 0)) continue;  // overlaps the image
      SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
      doc->PlaceSlice(x, y, 64, 64);
      StartMerge(slice);
      ASSERT_EQ(doc->m_merge, 1);
      EXPECT_EQ(MaxDifference(before, doc->m_mainImage), 0);
      ExpectConsistentBlend(*doc);
      doc->PaintMask(x, y, 0);
      doc->PaintMask(INT_MAX, INT_MIN, 1);
      EXPECT_EQ(MaxDifference(before, doc->m_mainImage), 0);
      doc->CancelMerge();
      doc->m_locked = 0;
    }
}

TEST_F(SliceBoundsTest, RotatingMergeWithExtremeCornersAndSides) {
  for (int side : {64, INT_MIN, INT_MAX})
    for (int x : kExtremes)
      for (int y : kExtremes) {
        SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y) + " side " + std::to_string(side));
        MergeAt(x, y, side, side, true);
        MergeAt(x, y, side, side, false);
      }
}

// A huge side with a corner far on the other side still puts the centre where
// the exact sum says: inside the image, where the slice is blended.
TEST_F(SliceBoundsTest, RotatingCentreIsTheExactSumWhenItFits) {
  const int half = INT_MAX / 2;  // the centre lies half the side from the corner
  doc->PlaceRotatedSlice(150 - half, 100 - half, INT_MAX, INT_MAX, 35);
  StartMerge(slice);
  ASSERT_EQ(doc->m_merge, 1);
  EXPECT_GE(doc->m_overlayX, 150 - 50);
  EXPECT_LE(doc->m_overlayX + doc->m_overlay.m_width, 150 + 50);
  EXPECT_GE(doc->m_overlayY, 100 - 50);
  EXPECT_GT(MaxDifference(doc->m_backupImage, doc->m_mainImage), 0);
}

}  // namespace
