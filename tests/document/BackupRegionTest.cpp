// A merge over the backup of the area it reads gives the main image byte for
// byte what it gives over a backup of the whole picture.
#include "tests/document/MergeSupport.h"

namespace {

using testing_support::MakeTestPicture;
using testing_support::MaxDifference;

struct Case {
  bool rotating, match, cancel;
  int x, y, side, angle, fileSide, secondFileHeight;  // a 128 square is zoomed x4
};

TEST(BackupRegionTest, EveryStepEqualsTheWholeBackupMerge) {
  merge_testing::IsolateUserFolders();
  const std::string dir = testing_support::TempDir();
  CISImageEx original;
  MakeTestPicture(original, 300, 200, 5);
  for (const Case& c : {Case{false, false, false, -20, -30, 100, 0, 100, 140},
                        Case{false, true, true, 240, 150, 100, 0, 100, 60},
                        Case{false, true, false, 200, 100, 128, 0, 512, 640},
                        Case{false, false, true, 10, 60, 100, 0, 100, 260},
                        Case{true, true, false, -40, -40, 100, 30, 100, 100},
                        Case{true, false, true, 230, 130, 100, 45, 100, 100},
                        Case{true, true, true, 220, 120, 128, 60, 512, 512},
                        Case{true, false, false, 120, 170, 64, 0, 64, 64}}) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " angle " << c.angle);
    RecordingHost hosts[2];
    CQuiltorServices services[2];
    CQuiltorDoc region{hosts[0], services[0]}, whole{hosts[1], services[1]};
    // Each step on the document that imports and on one merging over a whole backup.
    auto both = [&](const char* name, const std::function<void(CQuiltorDoc&)>& step) {
      step(region);
      step(whole);
      EXPECT_EQ(MaxDifference(region.m_mainImage, whole.m_mainImage), 0) << name;
    };
    both("place", [&](CQuiltorDoc& d) {
      d.m_mainImage.CopyFrom(original);
      if (c.rotating) d.PlaceRotatedSlice(c.x, c.y, c.side, c.side, c.angle);
      if (!c.rotating) d.PlaceSlice(c.x, c.y, c.side, c.side);
      d.SetMatchColours(c.match);
      d.m_locked = 1;
    });
    whole.m_backupImage.CopyFrom(original);
    auto merge = [&](int fileHeight, uint32_t seed) {
      CISImageEx file;
      MakeTestPicture(file, c.fileSide, fileHeight, seed);
      const std::string path = dir + "/r" + std::to_string(seed) + ".png";
      ASSERT_EQ(file.SaveFile(path, kFilePNG), 0u);
      region.ImportFile(merge_testing::Q(path));
      whole.m_sliceImage.CopyFrom(region.m_sliceImage);
      whole.m_mask.Release();
      both("merge", [&](CQuiltorDoc& d) { (void)(&d == &whole && d.BuildMerge()); });
      EXPECT_LT(region.BackupArea().Width() * region.BackupArea().Height(), 300 * 200);
    };
    merge(c.fileSide, 7);
    const int cx = c.x + c.side / 2, cy = c.y + c.side / 2;
    both("paint", [&](CQuiltorDoc& d) {
      d.m_tool = 0;
      d.PaintMask(cx - 20, cy, 0);
      d.PaintMask(cx + 30, cy + 10, 1);
    });
    both("fill", [](CQuiltorDoc& d) { d.FillMaskAtOpacity(40); });
    both("undo", [](CQuiltorDoc& d) { d.Undo(); });
    both("redo", [](CQuiltorDoc& d) { d.Redo(); });
    merge(c.secondFileHeight, 9);  // another height moves the area the merge reads
    both("end", [&](CQuiltorDoc& d) { c.cancel ? d.CancelMerge() : (d.ApplyMerge(), d.Undo()); });
    EXPECT_EQ(MaxDifference(region.m_mainImage, original), 0);
    both("redo", [](CQuiltorDoc& d) { d.Redo(); });
    EXPECT_FALSE(region.m_backupImage.HasPixels());  // none between merges
  }
}

}  // namespace
