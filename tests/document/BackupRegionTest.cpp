// The backup of a merge holds only the area the merge reads: every step of a
// merge over it must give the main image byte for byte what the same steps
// give over a backup of the whole picture.
#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::MaxDifference;

namespace {

constexpr uint32_t kWidth = 300, kHeight = 200;

struct Case {
  const char* name;
  bool rotating;
  int x, y, side, angle;
  int fileSide;      // the returned file's width (the square's side times its zoom)
  int secondHeight;  // the second returned file's height, before the zoom
  bool match;
  bool cancel;
};

const Case kCases[] = {
    {"UprightTopLeftCorner", false, -20, -30, 100, 0, 100, 140, false, false},
    {"UprightBottomRightMatched", false, 240, 150, 100, 0, 100, 60, true, true},
    {"UprightZoomedRightEdge", false, 200, 100, 128, 0, 512, 160, true, false},
    {"UprightTallerThanThePicture", false, 10, 60, 100, 0, 100, 260, false, true},
    {"TurnedTopLeftCornerMatched", true, -40, -40, 100, 30, 100, 100, true, false},
    {"TurnedBottomRight", true, 230, 130, 100, 45, 100, 100, false, true},
    {"TurnedZoomedRightEdgeMatched", true, 220, 120, 128, 60, 512, 128, true, true},
    {"TurnedUprightAtTheBottom", true, 120, 170, 64, 0, 64, 64, false, false},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class BackupRegionTest : public ::testing::TestWithParam<Case> {
 protected:
  struct Side {
    RecordingHost host;
    CQuiltorServices services;
    std::unique_ptr<CQuiltorDoc> doc = std::make_unique<CQuiltorDoc>(host, services);
  };

  void SetUp() override {
    IsolateUserFolders();
    dir = testing_support::TempDir();
    MakeTestPicture(original, kWidth, kHeight, 5);
    const Case& c = GetParam();
    for (Side* s : {&region, &whole}) {
      CQuiltorDoc& d = *s->doc;
      d.m_mainImage.CopyFrom(original);
      d.m_sliceFolder = Q(dir);
      if (c.rotating)
        d.PlaceRotatedSlice(c.x, c.y, c.side, c.side, c.angle);
      else
        d.PlaceSlice(c.x, c.y, c.side, c.side);
      d.SetMatchColours(c.match);
      d.m_locked = 1;
    }
    // The whole picture as backup, held before the merge begins.
    whole.doc->m_backupImage.CopyFrom(original);
  }

  // The returned file comes in through the import for the region side, and
  // is laid over the whole backup for the other.
  void Merge(uint32_t fileHeight, uint32_t seed) {
    CISImageEx file;
    MakeTestPicture(file, static_cast<uint32_t>(GetParam().fileSide), fileHeight, seed);
    const std::string path = dir + "/returned_" + std::to_string(seed) + ".png";
    ASSERT_EQ(file.SaveFile(path, kFilePNG), 0u);
    region.doc->ImportFile(Q(path));
    ASSERT_EQ(region.doc->m_merge, 1);
    CQuiltorDoc& w = *whole.doc;
    w.m_sliceImage.CopyFrom(region.doc->m_sliceImage);
    w.m_mask.Release();
    ASSERT_TRUE(w.BuildMerge());
    Same("merge");
  }

  void Same(const char* step) {
    EXPECT_EQ(MaxDifference(region.doc->m_mainImage, whole.doc->m_mainImage), 0) << step;
    const qkern::PixelRect area = region.doc->BackupArea();
    EXPECT_LT(area.Width() * area.Height(), int64_t{kWidth} * kHeight) << step;
  }

  template <class Step>
  void Both(const char* name, Step step) {
    step(*region.doc);
    step(*whole.doc);
    EXPECT_EQ(MaxDifference(region.doc->m_mainImage, whole.doc->m_mainImage), 0) << name;
  }

  std::string dir;
  CISImageEx original;
  Side region, whole;
};

TEST_P(BackupRegionTest, MergeStepsEqualTheWholeBackupMerge) {
  const Case& c = GetParam();
  const int zoom = c.fileSide / c.side;
  Merge(static_cast<uint32_t>(c.fileSide), 7);
  const int cx = c.x + c.side / 2, cy = c.y + c.side / 2;
  Both("paint", [&](CQuiltorDoc& d) {
    d.m_tool = 0;
    d.PaintMask(cx - 20, cy, 0);
    d.PaintMask(cx + 30, cy + 10, 1);
  });
  Both("fill", [](CQuiltorDoc& d) { d.FillMaskAtOpacity(40); });
  Both("undo", [](CQuiltorDoc& d) { d.Undo(); });
  Both("redo", [](CQuiltorDoc& d) { d.Redo(); });
  // A second file of another height moves the area the merge reads.
  Merge(static_cast<uint32_t>(c.secondHeight * zoom), 9);
  if (c.cancel) {
    Both("cancel", [](CQuiltorDoc& d) { d.CancelMerge(); });
    EXPECT_EQ(MaxDifference(region.doc->m_mainImage, original), 0);
  } else {
    Both("apply", [](CQuiltorDoc& d) { d.ApplyMerge(); });
    Both("undo apply", [](CQuiltorDoc& d) { d.Undo(); });
    EXPECT_EQ(MaxDifference(region.doc->m_mainImage, original), 0);
    Both("redo apply", [](CQuiltorDoc& d) { d.Redo(); });
  }
  // Between merges no backup is held.
  EXPECT_FALSE(region.doc->m_backupImage.HasPixels());
}

INSTANTIATE_TEST_SUITE_P(Squares, BackupRegionTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
