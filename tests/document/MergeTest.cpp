// The merge: overlay and feather, the blend, mask painting, fill, invert,
// cancel and apply.
#include <algorithm>
#include <cstring>
#include <limits>

#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::MaxDifference;

namespace {

class MergeTest : public DocTest {
 protected:
  // A 1000 x 800 main image with an axis-aligned square of side n at (x, y)
  // merged with a different picture.
  void MergeAxis(int n, int x, int y, int zoom = 1) {
    SetMain(1000, 800);
    doc->m_sliceX = x;
    doc->m_sliceY = y;
    doc->m_sliceWidth = doc->m_sliceHeight = n;
    doc->m_zoom = zoom;
    MakeTestPicture(slice, n, n, 7);
    StartMerge(slice);
  }
  uint8_t Blend(int c, int r) const {
    return doc->m_blendMask.m_pixels[static_cast<size_t>(r) * doc->m_blendMask.m_width + c];
  }
  uint8_t Mask(int c, int r) const {
    return doc->m_mask.m_pixels[static_cast<size_t>(r) * doc->m_mask.m_width + c];
  }
  int MaskMin() const {
    const auto* p = doc->m_mask.m_pixels.get();
    return *std::min_element(p, p + size_t(doc->m_mask.m_width) * doc->m_mask.m_height);
  }
  int MaskMax() const {
    const auto* p = doc->m_mask.m_pixels.get();
    return *std::max_element(p, p + size_t(doc->m_mask.m_width) * doc->m_mask.m_height);
  }
  // One stroke of repeated dabs at the same main-image point.
  void Dab(int x, int y, int times) {
    doc->PaintMask(x, y, 0);
    for (int i = 1; i < times; ++i) doc->PaintMask(x, y, 1);
  }

  CISImageEx slice;
};

TEST_F(MergeTest, FeatheredBlendMaskColumnsWithEdgeBlur32) {
  MergeAxis(512, 100, 120);
  ASSERT_TRUE(doc->m_overlay.HasPixels());
  EXPECT_EQ(doc->m_overlay.m_width, 512);
  EXPECT_EQ(doc->m_overlayX, 100);
  EXPECT_EQ(doc->m_overlayY, 120);
  EXPECT_EQ(MaskMin(), 255);
  for (int row : {40, 256, 470}) {
    EXPECT_EQ(Blend(0, row), 0);
    EXPECT_EQ(Blend(16, row), 127);
    for (int c = 32; c <= 480; ++c) ASSERT_EQ(Blend(c, row), 255) << c;
    EXPECT_EQ(Blend(481, row), 239);  // (511 - 481) / 32 of 255
    EXPECT_EQ(Blend(511, row), 0);
  }
  for (int c = 0; c < 512; ++c) ASSERT_EQ(Blend(c, 0), 0);
  EXPECT_EQ(doc->m_merge, 1);
  EXPECT_EQ(doc->m_locked, 1);
  EXPECT_TRUE(doc->IsModified());
  ExpectConsistentBlend(*doc);
  CISImageEx expected;
  ExpectedBlend(doc->m_backupImage, AxisOverlay(slice, 100, 120, 32), nullptr, expected);
  EXPECT_EQ(MaxDifference(expected, doc->m_mainImage), 0);
}

TEST_F(MergeTest, ZoomedSquareFeathersOverEdgeBlurByZoom) {
  MergeAxis(256, 300, 200, 2);
  EXPECT_EQ(doc->m_overlay.m_width, 256);
  EXPECT_EQ(Blend(8, 128), 127);
  EXPECT_EQ(Blend(15, 128), 239);
  EXPECT_EQ(Blend(16, 128), 255);
  EXPECT_EQ(Blend(240, 128), 255);
  EXPECT_EQ(Blend(255, 128), 0);
}

TEST_F(MergeTest, EdgeBlurZeroLeavesTheMaskAsWeight) {
  services.edgeBlur = 0;
  MergeAxis(512, 100, 100);
  EXPECT_EQ(Blend(0, 0), 255);
  EXPECT_EQ(Blend(511, 511), 255);
  for (int y = 100; y < 612; y += 37)
    for (int x = 100; x < 612; x += 41)
      ASSERT_EQ(0, std::memcmp(Px(doc->m_mainImage, x, y), Px(slice, x - 100, y - 100), 3));
}

TEST_F(MergeTest, RotatedOverlayAt45DegreesCoversItsBoundingBox) {
  SetMain(1400, 1200);
  doc->m_rotating = 1;
  doc->m_angle = 45;
  doc->m_sliceX = 400;
  doc->m_sliceY = 300;
  MakeTestPicture(slice, 512, 512, 9);
  StartMerge(slice);
  EXPECT_EQ(doc->m_overlay.m_width, 724);
  EXPECT_EQ(doc->m_overlay.m_height, 724);
  const int cx = 400 + 256, cy = 300 + 256;
  const float half = 512 * 0.5f * std::cos(static_cast<float>(std::numbers::pi / 4)) * 2;
  EXPECT_EQ(doc->m_overlayX, static_cast<int>(cx - half - 0.5f));
  EXPECT_EQ(doc->m_overlayX, cx - 363);
  // The corners of the box lie outside the turned square.
  for (auto [c, r] : {std::pair{5, 5}, {718, 5}, {5, 718}, {718, 718}}) {
    EXPECT_EQ(doc->m_overlay.m_pixels[(size_t(r) * 724 + c) * 4 + 3], 0);
    const int X = doc->m_overlayX + c, Y = doc->m_overlayY + r;
    EXPECT_EQ(0, std::memcmp(Px(doc->m_mainImage, X, Y), Px(doc->m_backupImage, X, Y), 3));
  }
  CISImageEx expected;
  ExpectedBlend(doc->m_backupImage, RotatedOverlay(slice, cx, cy, 45, 1400, 1200, 32), nullptr,
                expected);
  EXPECT_EQ(MaxDifference(expected, doc->m_mainImage), 0);
  ExpectConsistentBlend(*doc);
}

TEST_F(MergeTest, RotatedAtZeroDegreesMatchesAxisAligned) {
  MergeAxis(512, 100, 120);
  CISImageEx axisMain;
  axisMain.CopyFrom(doc->m_mainImage);
  std::vector<uint8_t> axisOverlay(doc->m_overlay.m_pixels.get(),
                                   doc->m_overlay.m_pixels.get() + 512 * 512 * 4);

  doc->m_mainImage.CopyFrom(doc->m_backupImage);
  doc->m_rotating = 1;
  doc->m_angle = 0;
  StartMerge(slice);
  EXPECT_EQ(doc->m_overlayX, 99);
  EXPECT_EQ(doc->m_overlayY, 119);
  EXPECT_EQ(doc->m_overlay.m_width, 512);
  EXPECT_EQ(doc->m_overlay.m_height, 512);
  int worst = 0;
  for (int r = 1; r < 512; ++r)
    for (int c = 1; c < 512; ++c)
      for (int k = 0; k < 4; ++k)
        worst =
            std::max(worst, std::abs(int(doc->m_overlay.m_pixels[(size_t(r) * 512 + c) * 4 + k]) -
                                     int(axisOverlay[(size_t(r - 1) * 512 + c - 1) * 4 + k])));
  EXPECT_LE(worst, 1);
  EXPECT_LE(MaxDifference(axisMain, doc->m_mainImage), 1);
}

TEST_F(MergeTest, SquareLeftOfTheImageSkipsOutsidePixels) {
  MergeAxis(512, -100, 50);
  for (int c = 0; c < 100; ++c) ASSERT_EQ(Blend(c, 256), 0);
  EXPECT_EQ(Blend(200, 256), 255);
  ExpectConsistentBlend(*doc);
  // Painting across the edge stays inside the image as well.
  doc->m_tool = 0;
  doc->PaintMask(0, 300, 0);
  doc->PaintMask(60, 300, 1);
  for (int c = 0; c < 100; ++c) ASSERT_EQ(Blend(c, 250), 0);
  ExpectConsistentBlend(*doc);
}

TEST_F(MergeTest, EraserApproachesItsTargetFromTheStrokeSnapshot) {
  MergeAxis(512, 200, 150);
  doc->m_tool = 0;
  const int px = 200 + 256, py = 150 + 256;
  Dab(px, py, 60);
  EXPECT_EQ(Mask(256, 256), 127);
  EXPECT_GE(MaskMin(), 127);
  Dab(px, py, 60);
  EXPECT_EQ(Mask(256, 256), 63);
  EXPECT_GE(MaskMin(), 63);
  ExpectConsistentBlend(*doc);
}

TEST_F(MergeTest, BrushStopsAtOpacityAboveTheSnapshot) {
  MergeAxis(512, 200, 150);
  doc->FillMask(0);
  doc->m_tool = 1;
  const int px = 200 + 256, py = 150 + 256;
  // Truncated steps stop short of the target (127, then 254) and never pass it.
  Dab(px, py, 60);
  EXPECT_GE(Mask(256, 256), 125);
  EXPECT_LE(MaskMax(), 127);
  doc->FillMask(127);
  Dab(px, py, 60);
  EXPECT_GE(Mask(256, 256), 252);
  EXPECT_LE(MaskMax(), 254);
  ExpectConsistentBlend(*doc);
}

TEST_F(MergeTest, StrokeDabsAreSpacedWithoutGaps) {
  MergeAxis(512, 200, 150);
  doc->m_tool = 0;
  doc->PaintMask(250, 400, 0);
  doc->PaintMask(650, 400, 1);
  const int side = doc->m_brush.m_stampSide;
  EXPECT_EQ(doc->m_lastDabX, 650 - 200 - side / 2);
  EXPECT_EQ(doc->m_lastDabY, 400 - 150 - side / 2);
  for (int c = 50; c <= 450; ++c) ASSERT_LT(Mask(c, 250), 255) << c;
  EXPECT_EQ(Mask(5, 5), 255);
  ExpectConsistentBlend(*doc);
}

// A closed merge of a 2048 rotating slice holds no memory after File New or a
// new main image, and the next merge starts from nothing left over.
TEST_F(MergeTest, NewDocumentAndNewMainImageReleaseEveryMergeBuffer) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "new document" : "new main image");
    SetMain(2600, 2600);
    doc->PlaceRotatedSlice(200, 250, 2048, 2048, 30);
    MakeTestPicture(slice, 2048, 2048, 3);
    StartMerge(slice);
    ASSERT_EQ(doc->m_merge, 1);
    doc->PaintMask(1000, 1000, 0);  // takes the stroke snapshot
    doc->PaintMask(1300, 1100, 1);
    ASSERT_TRUE(doc->m_strokeSnapshot.HasPixels());
    // slice, overlay, mask, blend mask, snapshot and the feathered slice
    EXPECT_GT(doc->MergeBufferBytes(), size_t{2048} * 2048 * (3 + 4 + 4 + 1 + 1 + 1));
    if (round == 0) {
      doc->NewDocument();
    } else {
      doc->ApplyMerge();
      doc->LoadMainImage(WritePng(slice, "next.png"));
      ASSERT_EQ(doc->m_mainImage.m_width, 2048u);
    }
    EXPECT_EQ(doc->MergeBufferBytes(), 0u);
    EXPECT_FALSE(doc->m_strokeSnapshot.HasPixels());
    EXPECT_FALSE(doc->m_overlay.HasPixels());
  }
  // The same place and slice again: a complete rebuild, not a reuse of a stale record.
  SetMain(300, 300, 5);
  doc->m_locked = 0;
  doc->PlaceRotatedSlice(20, 20, 64, 64, 30);
  MakeTestPicture(slice, 64, 64, 3);
  StartMerge(slice);
  ExpectConsistentBlend(*doc);
}

TEST_F(MergeTest, PaintWithoutMaskOnlyAsksForRefresh) {
  SetMain(300, 300);
  doc->PaintMask(10, 10, 0);
  EXPECT_EQ(doc->m_displayRefresh, 1);
  EXPECT_FALSE(doc->m_strokeSnapshot.HasPixels());
  EXPECT_TRUE(host.log.isEmpty());
}

TEST_F(MergeTest, FillOpacityHalvesTheReturnedSlice) {
  MergeAxis(512, 100, 100);
  const int value = std::clamp(static_cast<int>(50 * 255 / 100.0 + 0.5), 0, 255);
  EXPECT_EQ(value, 128);
  doc->FillMask(value);
  EXPECT_EQ(MaskMin(), 128);
  EXPECT_EQ(MaskMax(), 128);
  EXPECT_EQ(Blend(256, 256), 128);
  const uint8_t* b = Px(doc->m_backupImage, 356, 356);
  const uint8_t* o = Px(slice, 256, 256);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(Px(doc->m_mainImage, 356, 356)[k], Mix(b[k], o[k], 128));
  ExpectConsistentBlend(*doc);
  EXPECT_TRUE(host.preview.HasPixels());
}

TEST_F(MergeTest, InvertTwiceGivesTheMaskBack) {
  MergeAxis(512, 100, 100);
  doc->m_tool = 0;
  Dab(300, 300, 3);
  std::vector<uint8_t> before(doc->m_mask.m_pixels.get(), doc->m_mask.m_pixels.get() + 512 * 512);
  CISImageEx mainBefore;
  mainBefore.CopyFrom(doc->m_mainImage);
  doc->InvertMask();
  EXPECT_EQ(Mask(0, 0), 0);
  ExpectConsistentBlend(*doc);
  doc->InvertMask();
  EXPECT_EQ(0, std::memcmp(before.data(), doc->m_mask.m_pixels.get(), before.size()));
  EXPECT_EQ(MaxDifference(mainBefore, doc->m_mainImage), 0);
}

TEST_F(MergeTest, FillAndInvertWithoutMaskChangeNothing) {
  SetMain(300, 300);
  doc->FillMask(10);
  doc->InvertMask();
  EXPECT_FALSE(doc->m_mask.HasPixels());
  EXPECT_EQ(doc->m_merge, 0);
  EXPECT_EQ(host.previewRedraws, 2);
}

TEST_F(MergeTest, CancelAfterPaintingRestoresTheBackupExactly) {
  MergeAxis(512, 300, 100);
  CISImageEx original;
  original.CopyFrom(doc->m_backupImage);
  doc->m_tool = 1;
  doc->FillMask(30);
  Dab(400, 300, 4);
  doc->m_tool = 0;
  doc->PaintMask(350, 200, 0);
  doc->PaintMask(700, 500, 1);
  doc->CancelMerge();
  EXPECT_EQ(MaxDifference(original, doc->m_mainImage), 0);
  EXPECT_EQ(doc->m_merge, 0);
  EXPECT_EQ(doc->m_locked, 1);
  EXPECT_EQ(host.log.last(), QStringLiteral("Cancel Merge"));
  // The same file again starts with a fresh mask.
  StartMerge(slice);
  EXPECT_EQ(MaskMin(), 255);
  ExpectConsistentBlend(*doc);
}

TEST_F(MergeTest, CancelAndApplyOutsideAMerge) {
  SetMain(300, 300);
  doc->CancelMerge();
  EXPECT_EQ(host.log.last(), QStringLiteral("Not in Merge Mode"));
  EXPECT_EQ(doc->m_locked, 1);
  doc->CancelMerge();
  EXPECT_EQ(doc->m_locked, 0);
  doc->ApplyMerge();
  EXPECT_EQ(host.log.last(), QStringLiteral("Not in Merge"));
  EXPECT_EQ(host.log.size(), 3);
}

TEST_F(MergeTest, ApplyKeepsTheBlendAndLogsNothing) {
  MergeAxis(512, 100, 100);
  CISImageEx blended;
  blended.CopyFrom(doc->m_mainImage);
  doc->SetModifiedFlag(false);
  const qsizetype lines = host.log.size();
  doc->ApplyMerge();
  EXPECT_EQ(host.log.size(), lines);
  EXPECT_EQ(doc->m_merge, 0);
  EXPECT_EQ(doc->m_locked, 0);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_EQ(MaxDifference(blended, doc->m_mainImage), 0);
  EXPECT_TRUE(doc->m_overlay.HasPixels());
}

TEST_F(MergeTest, RefreshRebuildsOnlyDuringALockedMerge) {
  MergeAxis(512, 100, 100);
  services.edgeBlur = 64;
  doc->RefreshMerge();
  EXPECT_EQ(Blend(32, 256), 127);
  doc->m_locked = 0;
  services.edgeBlur = 8;
  doc->RefreshMerge();
  EXPECT_EQ(Blend(32, 256), 127);
}

// Only the region a merge has blended is put back from the backup; the result
// must equal a full copy of the backup blended anew, whatever the previous
// overlay covered.
TEST_F(MergeTest, PartialRestoreEqualsAFullCopy) {
  SetMain(1200, 1000);
  doc->m_sliceX = 300;
  doc->m_sliceY = 100;
  MakeTestPicture(slice, 512, 768, 3);
  StartMerge(slice);
  doc->m_tool = 0;
  doc->PaintMask(350, 700, 0);
  doc->PaintMask(700, 820, 1);
  ExpectConsistentBlend(*doc);

  // A shorter returned picture: the rows below it must come back.
  CISImageEx shorter;
  MakeTestPicture(shorter, 512, 512, 4);
  StartMerge(shorter);
  ExpectConsistentBlend(*doc);
  CISImageEx expected;
  ExpectedBlend(doc->m_backupImage, AxisOverlay(shorter, 300, 100, 32), nullptr, expected);
  EXPECT_EQ(MaxDifference(expected, doc->m_mainImage), 0);

  // Edge blur changes while a painted mask stays.
  doc->PaintMask(500, 300, 0);
  for (int blur : {0, 100, 5}) {
    services.edgeBlur = blur;
    doc->RefreshMerge();
    ExpectConsistentBlend(*doc);
  }

  // A rotating square of the same place and then a bigger picture.
  doc->m_rotating = 1;
  doc->m_angle = 35;
  StartMerge(slice);
  ExpectConsistentBlend(*doc);
  StartMerge(shorter);
  ExpectConsistentBlend(*doc);
  const std::unique_ptr<CISImageEx> before = Before(*doc);
  doc->CancelMerge();
  EXPECT_EQ(MaxDifference(*before, doc->m_mainImage), 0);
}

TEST_F(MergeTest, MaskPreviewIsTheGreyBlendMaskAtThePreviewSize) {
  MergeAxis(512, 100, 100);
  host.previewWidth = 128;
  host.previewHeight = 96;
  doc->UpdateMaskPreview();
  ASSERT_TRUE(host.preview.HasPixels());
  EXPECT_EQ(host.preview.m_width, 128u);
  EXPECT_EQ(host.preview.m_height, 96u);
  const uint8_t* centre = Px(host.preview, 64, 48);
  EXPECT_EQ(centre[0], 255);
  EXPECT_EQ(centre[0], centre[1]);
  EXPECT_EQ(centre[1], centre[2]);
  EXPECT_GT(host.previewRedraws, 0);

  doc->m_blendMask.Release();
  doc->UpdateMaskPreview();
  EXPECT_FALSE(host.preview.HasPixels());
}

}  // namespace

// Moving the Edge Blur slider rebuilds through RefreshMerge, which only redoes
// the feather; the result must equal a build from scratch.
TEST_F(MergeTest, RefreshAfterEdgeBlurChangeEqualsAFullBuild) {
  struct Case {
    int rotating, angle, x, y;
  };
  for (const Case& c : {Case{0, 0, 100, 50}, Case{1, 35, 300, 200}, Case{1, 90, 300, 200},
                        Case{1, 0, 300, 200}, Case{1, 200, -150, 500}}) {
    SetMain(1300, 1000);
    services.edgeBlur = 32;
    doc->m_rotating = static_cast<uint8_t>(c.rotating);
    doc->m_angle = c.angle;
    doc->m_sliceX = c.x;
    doc->m_sliceY = c.y;
    doc->m_sliceWidth = doc->m_sliceHeight = 512;
    MakeTestPicture(slice, 512, 512, 21);
    StartMerge(slice);
    doc->m_tool = 0;
    doc->PaintMask(c.x + 256, c.y + 200, 0);
    for (int blur : {7, 64, 0, 128, 33}) {
      services.edgeBlur = blur;
      if (blur == 0) {
        // Filled while not locked: no rebuild until the lock comes back.
        doc->m_locked = 0;
        doc->FillMask(100);
        doc->m_locked = 1;
      }
      doc->RefreshMerge();
      const size_t bytes = size_t(doc->m_overlay.m_width) * doc->m_overlay.m_height * 4;
      std::vector<uint8_t> refreshed(doc->m_overlay.m_pixels.get(),
                                     doc->m_overlay.m_pixels.get() + bytes);
      CISImageEx main;
      main.CopyFrom(doc->m_mainImage);
      doc->BuildMerge();
      ASSERT_EQ(bytes, size_t(doc->m_overlay.m_width) * doc->m_overlay.m_height * 4);
      size_t differing = 0;
      for (size_t i = 0; i < bytes; ++i) differing += refreshed[i] != doc->m_overlay.m_pixels[i];
      EXPECT_EQ(differing, 0u) << "angle " << c.angle << " blur " << blur;
      EXPECT_EQ(MaxDifference(main, doc->m_mainImage), 0);
      ExpectConsistentBlend(*doc);
    }
  }
}

TEST_F(MergeTest, ExtremePointerPositionsNeitherOverflowNorHang) {
  MergeAxis(512, 100, 100);
  doc->m_brush.m_brushSize = 1;
  doc->m_brush.m_softness = 0;
  doc->m_brush.Build();
  doc->PaintMask(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 0);
  doc->PaintMask(std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), 1);
  doc->PaintMask(300, 300, 1);
  EXPECT_LT(Mask(300 - 100, 300 - 100), 255);
  ExpectConsistentBlend(*doc);
}

// A new merge of the same size reuses the buffers: entries left of the image
// must not keep weights of the merge before.
TEST_F(MergeTest, ReusedBuffersClearWeightsOutsideTheImage) {
  MergeAxis(512, 100, 100);
  doc->CancelMerge();
  doc->m_sliceX = -100;
  StartMerge(slice);
  for (int c = 0; c < 100; ++c) ASSERT_EQ(Blend(c, 256), 0);
  ExpectConsistentBlend(*doc);
  CISImageEx expected;
  ExpectedBlend(doc->m_backupImage, AxisOverlay(slice, -100, 100, 32), nullptr, expected);
  EXPECT_EQ(MaxDifference(expected, doc->m_mainImage), 0);
}
