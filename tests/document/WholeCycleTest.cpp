// The whole workflow without a window: open, slice, export, img2img's change,
// import, paint, fill, invert, apply and save, checked against a blend
// computed here from the files alone.
#include <cstring>
#include <filesystem>

#include "document/QuickImport.h"
#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::MaxDifference;

namespace {

struct Cycle {
  const char* name;
  int size, rotating, zoom;
  int x, y, angle;
  bool quickImport;
};

class WholeCycleTest : public DocTest, public ::testing::WithParamInterface<Cycle> {};

// What img2img does to the picture, as far as this test cares.
void ColourShift(CISImageEx& im) {
  uint8_t* p = im.Pixels();
  const size_t n = size_t{im.m_width} * im.m_height;
  for (size_t i = 0; i < n; ++i) {
    p[3 * i] = static_cast<uint8_t>(std::min(255, p[3 * i] + 40));
    p[3 * i + 2] = static_cast<uint8_t>(std::max(0, p[3 * i + 2] - 30));
  }
}

TEST_P(WholeCycleTest, SavedFileHoldsTheIndependentBlend) {
  const Cycle& c = GetParam();
  const uint32_t W = 1600, H = 1200;
  CISImageEx original;
  MakeTestPicture(original, W, H, 11);
  const QString mainPath = WritePng(original, "main.png");
  doc->m_sliceFolder = Q(dir + "/slices");

  ASSERT_TRUE(doc->FileOpen(mainPath));
  doc->CreateSlice(c.size, c.rotating, c.zoom);
  doc->MoveSlice(c.x, c.y);
  if (c.rotating) doc->SetSliceAngle(c.angle);
  const QString name = doc->ExportAndLock();
  ASSERT_FALSE(name.isEmpty());
  EXPECT_EQ(doc->m_locked, 1);

  // img2img returns a changed picture of the exported size.
  CISImageEx returned;
  ASSERT_EQ(returned.Load(dir + "/slices/" + name.toStdString()), 0u);
  EXPECT_EQ(returned.m_width, static_cast<uint32_t>(c.size * c.zoom));
  ColourShift(returned);
  std::filesystem::create_directories(dir + "/img2img");
  const QString result = WritePng(returned, "img2img/00042-result.png");
  if (c.quickImport) {
    EXPECT_EQ(QuickImport(*doc, services.settings, Q(dir + "/img2img")), result);
  } else {
    doc->ImportFile(result);
  }
  ASSERT_EQ(doc->m_merge, 1);
  EXPECT_EQ(host.log.last(), QStringLiteral("Load & Merge Slice: ") + result);

  // Strokes with the brush and the eraser keep the blend consistent.
  const int cx = doc->m_sliceX + doc->m_sliceWidth / 2;
  const int cy = doc->m_sliceY + doc->m_sliceHeight / 2;
  doc->m_tool = 0;
  doc->PaintMask(cx - 100, cy - 60, 0);
  doc->PaintMask(cx + 40, cy, 1);
  doc->PaintMask(cx + 150, cy + 90, 1);
  doc->UpdateMaskPreview();
  doc->m_tool = 1;
  doc->PaintMask(cx, cy - 80, 0);
  doc->PaintMask(cx - 120, cy + 100, 1);
  doc->UpdateMaskPreview();
  ExpectConsistentBlend(*doc);
  EXPECT_TRUE(host.preview.HasPixels());

  doc->FillMask(200);
  doc->InvertMask();
  doc->ApplyMerge();
  EXPECT_EQ(doc->m_merge, 0);
  EXPECT_EQ(doc->m_locked, 0);
  ASSERT_TRUE(doc->FileSave());
  const std::string saved = dir + "/main_0001.png";
  EXPECT_EQ(host.log.last(), QStringLiteral("Saved: ") + Q(saved));

  // The blend from the files alone: the returned picture reduced by the zoom,
  // feathered, turned back for a rotating square, at mask 255 - 200.
  CISImageEx slice;
  if (c.zoom > 1) {
    ReferenceResize(returned, returned.m_width / c.zoom, returned.m_height / c.zoom, slice);
  } else {
    slice.CopyFrom(returned);
  }
  const ReferenceOverlay overlay =
      c.rotating ? RotatedOverlay(slice, cx, cy, c.angle, W, H, services.edgeBlur)
                 : AxisOverlay(slice, doc->m_sliceX, doc->m_sliceY, services.edgeBlur / c.zoom);
  const std::vector<uint8_t> mask(size_t(overlay.w) * overlay.h, 55);
  CISImageEx expected, written;
  ExpectedBlend(original, overlay, mask.data(), expected);
  ASSERT_EQ(written.Load(saved), 0u);
  // The reference reduction may differ from the fixed-point one by one step;
  // the cubic sampling of a rotating slice may widen that by one more.
  EXPECT_LE(MaxDifference(expected, written), c.zoom > 1 ? 2 : 0);

  // Outside the overlay's box nothing changed at all.
  for (uint32_t y = 0; y < H; y += 7)
    for (uint32_t x = 0; x < W; x += 5) {
      const int X = static_cast<int>(x), Y = static_cast<int>(y);
      if (X >= overlay.ox && X < overlay.ox + overlay.w && Y >= overlay.oy &&
          Y < overlay.oy + overlay.h)
        continue;
      ASSERT_EQ(0, std::memcmp(Px(written, X, Y), Px(original, X, Y), 3)) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Slices, WholeCycleTest,
                         ::testing::Values(Cycle{"axis512", 512, 0, 1, 700, 300, 0, false},
                                           Cycle{"zoom256x2", 256, 0, 2, 1300, 900, 0, false},
                                           Cycle{"rotating1024at35", 1024, 1, 1, 400, 100, 35,
                                                 true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
