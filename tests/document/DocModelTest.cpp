// The document model: construction, slice placement and the mode table.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "document/DocTestSupport.h"
#include "document/SettingsStore.h"
#include "document/UserDiffData.h"

using namespace doc_testing;

namespace {

class DocModel : public ::testing::Test, public DocFixture {
 protected:
  void Picture(uint32_t width, uint32_t height) {
    ASSERT_EQ(doc.m_mainImage.Create(width, height, 24), kISOk);
  }
  void StartMerge() {
    doc.m_locked = 1;
    doc.m_merge = 1;
  }
  struct Slice {
    int x, y, w, h;
    bool operator==(const Slice&) const = default;
  };
  Slice Geometry() const {
    return {doc.m_sliceX, doc.m_sliceY, doc.m_sliceWidth, doc.m_sliceHeight};
  }
};

TEST_F(DocModel, ConstructionTakesDefaultsFromAnEmptyStore) {
  EXPECT_EQ(doc.m_brush.m_brushSize, 128);
  EXPECT_DOUBLE_EQ(doc.m_brush.m_softness, 30.0);
  EXPECT_EQ(doc.m_brush.m_opacity, 50);
  EXPECT_EQ(doc.m_autoSend, 1);
  EXPECT_EQ(doc.m_sliceFolder, DocumentsFolder() + QStringLiteral("/Quiltor/slices"));
  EXPECT_TRUE(QFileInfo(doc.m_sliceFolder).isDir());
  EXPECT_EQ(doc.m_sliceCounter, 1);
  EXPECT_EQ(Geometry(), (Slice{0, 0, 512, 512}));
  EXPECT_EQ(doc.m_zoom, 1);
  EXPECT_EQ(doc.m_sliceScreenWidth, 512);
  EXPECT_FALSE(doc.m_mainImage.HasPixels());
  EXPECT_EQ(services.edgeBlur, 32);
  EXPECT_TRUE(host.log.isEmpty());
}

TEST_F(DocModel, ConstructionReadsStoredSettings) {
  WriteSetting(services.settings, Settings::kAutoSendToClipboard, 0);
  WriteSetting(services.settings, Settings::kSlicePath, QStringLiteral("/somewhere/slices"));
  CQuiltorDoc other(host, services);
  EXPECT_EQ(other.m_autoSend, 0);
  EXPECT_EQ(other.m_sliceFolder, QStringLiteral("/somewhere/slices"));
  // The folder is not examined at construction.
  EXPECT_FALSE(Exists(QStringLiteral("/somewhere/slices")));
}

TEST_F(DocModel, WithoutMainImageSliceOperationsDoNothing) {
  doc.CreateSlice(1024, 0, 1);
  doc.PlaceSlice(1, 2, 256, 256);
  doc.PlaceRotatedSlice(1, 2, 512, 512, 30);
  EXPECT_EQ(Geometry(), (Slice{0, 0, 512, 512}));
  EXPECT_EQ(doc.m_zoom, 1);
  EXPECT_TRUE(host.log.isEmpty());
  EXPECT_EQ(host.repaints, 0);
}

TEST_F(DocModel, CreateSliceCentresAndTruncatesTowardZero) {
  Picture(1000, 800);
  doc.CreateSlice(1024, 0, 1);
  EXPECT_EQ(Geometry(), (Slice{-12, -112, 1024, 1024}));
  EXPECT_EQ(doc.m_sliceScreenWidth, 1024);
  Picture(1001, 801);
  doc.CreateSlice(256, 0, 2);
  EXPECT_EQ(Geometry(), (Slice{372, 272, 256, 256}));
  EXPECT_EQ(doc.m_zoom, 2);
  Picture(1, 1);
  doc.CreateSlice(2048, 0, 1);
  EXPECT_EQ(Geometry(), (Slice{-1023, -1023, 2048, 2048}));
  EXPECT_TRUE(host.log.isEmpty());
  EXPECT_EQ(host.repaints, 3);
}

TEST_F(DocModel, MoveClampsLeftTopThenRightBottom) {
  Picture(600, 400);
  doc.CreateSlice(512, 0, 1);
  doc.MoveSlice(5000, 7);
  EXPECT_EQ(Geometry(), (Slice{88, -112, 512, 512}));
  doc.MoveSlice(-40, -3000);
  EXPECT_EQ(Geometry(), (Slice{0, -112, 512, 512}));
  doc.MoveSlice(20, 0);
  EXPECT_EQ(doc.m_sliceX, 20);
  doc.CentreSliceAt(300, 200);  // Move(44, -56)
  EXPECT_EQ(Geometry(), (Slice{44, -112, 512, 512}));
  doc.CentreSliceAt(-7, -7);  // halves truncate toward zero
  EXPECT_EQ(doc.m_sliceX, 0);
  doc.MoveSlice(INT32_MAX, INT32_MAX);
  EXPECT_EQ(Geometry(), (Slice{88, -112, 512, 512}));
}

TEST_F(DocModel, RotatingSquareKeepsItsAngleUntilAnUprightOne) {
  Picture(3000, 3000);
  doc.CreateSlice(512, 1, 1);
  doc.SetSliceAngle(30);
  doc.CreateSlice(1024, 1, 1);
  EXPECT_EQ(doc.m_angle, 30);
  EXPECT_EQ(doc.m_rotating, 1);
  doc.CreateSlice(512, 0, 1);
  EXPECT_EQ(doc.m_angle, 0);
  EXPECT_EQ(doc.m_rotating, 0);
}

TEST_F(DocModel, SetSliceAngleWrapsOnceEachWay) {
  const struct {
    int in, stored;
  } cases[] = {{-5, 355}, {365, 5}, {360, 360}, {725, 365}, {0, 0}, {-360, 0}, {-400, -40}};
  for (const auto& c : cases) {
    doc.SetSliceAngle(c.in);
    EXPECT_EQ(doc.m_angle, c.stored) << c.in;
  }
}

TEST_F(DocModel, PlaceSliceDerivesTheZoomFromTheWidth) {
  Picture(2000, 2000);
  const struct { int width, zoom; } cases[] = {{256, 2}, {128, 4}, {300, 1}, {512, 1}};
  for (const auto& c : cases) {
    doc.PlaceSlice(10, 20, c.width, c.width);
    EXPECT_EQ(doc.m_zoom, c.zoom) << c.width;
    EXPECT_EQ(doc.m_rotating, 0);
  }
  doc.PlaceRotatedSlice(800, 600, 1024, 1024, 725);
  EXPECT_EQ(Geometry(), (Slice{800, 600, 1024, 1024}));
  EXPECT_EQ(doc.m_rotating, 1);
  EXPECT_EQ(doc.m_angle, 725);  // stored unchanged
  EXPECT_EQ(doc.m_startAngle, 725);
  doc.PlaceSlice(1, 2, 300, 200);
  EXPECT_EQ(doc.m_angle, 0);
  EXPECT_EQ(Geometry(), (Slice{1, 2, 300, 200}));
}

TEST_F(DocModel, LockedRefusesPlacementAndCreation) {
  Picture(2000, 2000);
  doc.CreateSlice(512, 0, 1);
  doc.LockSlice();
  const Slice before = Geometry();
  doc.PlaceSlice(1, 2, 256, 256);
  doc.CreateSlice(1024, 0, 1);
  doc.MoveSlice(0, 0);
  doc.CentreSliceAt(0, 0);
  doc.SetSliceAngle(45);
  EXPECT_EQ(Geometry(), before);
  EXPECT_EQ(doc.m_angle, 0);
  EXPECT_EQ(host.log, (QStringList{QStringLiteral("Lock current place"),
                                   QStringLiteral("Error: In lock/merge mode"),
                                   QStringLiteral("Error: Currently in Lock mode")}));
}

TEST_F(DocModel, LockTwiceLogsOnceAndCancelLockLeavesTheMergeFlag) {
  doc.LockSlice();  // no image needed
  doc.LockSlice();
  EXPECT_EQ(doc.m_locked, 1);
  StartMerge();
  doc.CancelLock();
  doc.CancelLock();
  EXPECT_EQ(doc.m_locked, 0);
  EXPECT_EQ(doc.m_merge, 1);
  EXPECT_EQ(host.log, (QStringList{QStringLiteral("Lock current place"),
                                   QStringLiteral("Lock mode cancelled")}));
  EXPECT_EQ(host.repaints, 4);
  // Merging, not locked: Lock Slice gives Merging with the log line.
  doc.LockSlice();
  EXPECT_EQ(host.log.last(), QStringLiteral("Lock current place"));
  EXPECT_EQ(doc.m_merge, 1);
}

TEST_F(DocModel, CreateSliceWhileMergingAsksFirst) {
  Picture(2000, 2000);
  doc.CreateSlice(512, 0, 1);
  StartMerge();
  doc.m_mainImage.Pixels()[0] = 77;  // the blend
  host.answers = {IDocumentHost::Answer::No};
  doc.CreateSlice(1024, 0, 1);
  EXPECT_EQ(doc.m_merge, 1);
  EXPECT_EQ(doc.m_sliceWidth, 512);
  host.answers = {IDocumentHost::Answer::Yes};
  doc.CreateSlice(1024, 1, 1);
  EXPECT_EQ(doc.m_merge, 0);
  EXPECT_EQ(doc.m_locked, 0);
  EXPECT_EQ(doc.m_rotating, 1);
  EXPECT_EQ(Geometry(), (Slice{488, 488, 1024, 1024}));
  EXPECT_EQ(doc.m_mainImage.Pixels()[0], 77);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[0].text, QStringLiteral("Apply current merge?"));
  EXPECT_EQ(host.boxes[0].buttons, IDocumentHost::Buttons::YesNo);
  EXPECT_TRUE(host.log.isEmpty());
}

TEST_F(DocModel, MergingIgnoresMovesAndRefusesPlacementUnlessUnlocked) {
  Picture(2000, 2000);
  doc.CreateSlice(512, 0, 1);
  StartMerge();
  doc.MoveSlice(0, 0);
  doc.SetSliceAngle(10);
  doc.PlaceSlice(1, 2, 256, 256);
  EXPECT_EQ(Geometry(), (Slice{744, 744, 512, 512}));
  EXPECT_EQ(host.log, QStringList{QStringLiteral("Error: In lock/merge mode")});
  doc.CancelLock();
  doc.MoveSlice(0, 0);  // still merging: ignored
  EXPECT_EQ(doc.m_sliceX, 744);
  doc.PlaceSlice(1, 2, 256, 256);
  EXPECT_EQ(Geometry(), (Slice{1, 2, 256, 256}));
  EXPECT_EQ(doc.m_merge, 0);
}

TEST_F(DocModel, EmptyDocumentStillMovesWhileUnlocked) {
  doc.MoveSlice(10, 10);  // image of width 0: right edge clamp gives -512
  EXPECT_EQ(Geometry(), (Slice{-512, -512, 512, 512}));
  doc.SetSliceAngle(-5);
  EXPECT_EQ(doc.m_angle, 355);
}

TEST_F(DocModel, NewDocumentKeepsSizeFolderAndPaths) {
  Picture(3000, 3000);
  doc.CreateSlice(1024, 1, 1);
  doc.SetSliceAngle(40);
  doc.m_sliceCounter = 9;
  doc.m_mainImagePath = QStringLiteral("/a/b.png");
  doc.m_shadowImagePath = QStringLiteral("/a/c.png");
  doc.m_sliceFolder = QStringLiteral("/x");
  doc.m_dragState = 2;
  doc.m_startAngle = 12;
  ASSERT_EQ(doc.m_shadowImage.Create(3, 3, 24), kISOk);
  ASSERT_EQ(doc.m_backupImage.Create(3, 3, 24), kISOk);
  StartMerge();
  doc.NewDocument();
  EXPECT_EQ(Geometry(), (Slice{0, 0, 1024, 1024}));
  EXPECT_EQ(doc.m_sliceCounter, 1);
  EXPECT_EQ(doc.m_angle, 0);
  EXPECT_EQ(doc.m_startAngle, 0);
  EXPECT_EQ(doc.m_rotating, 0);
  EXPECT_EQ(doc.m_zoom, 1);
  EXPECT_EQ(doc.m_locked + doc.m_merge + doc.m_dragState, 0);
  EXPECT_FALSE(doc.m_mainImage.HasPixels() || doc.m_shadowImage.HasPixels() ||
               doc.m_backupImage.HasPixels());
  EXPECT_EQ(doc.m_sliceFolder, QStringLiteral("/x"));
  EXPECT_EQ(doc.m_mainImagePath, QStringLiteral("/a/b.png"));
  EXPECT_EQ(doc.m_shadowImagePath, QStringLiteral("/a/c.png"));
}

TEST_F(DocModel, FileNewAsksAboutAModifiedDocument) {
  Picture(100, 100);
  doc.SetPathName(QStringLiteral("/nowhere/pic.png"));
  doc.SetModifiedFlag();
  host.answers = {IDocumentHost::Answer::Cancel};
  EXPECT_FALSE(doc.FileNew());
  EXPECT_TRUE(doc.m_mainImage.HasPixels());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].buttons, IDocumentHost::Buttons::YesNoCancel);
  EXPECT_EQ(host.boxes[0].text, QStringLiteral("Save changes to /nowhere/pic.png?"));
  host.answers = {IDocumentHost::Answer::No};
  EXPECT_TRUE(doc.FileNew());
  EXPECT_FALSE(doc.m_mainImage.HasPixels());
  EXPECT_FALSE(doc.IsModified());
  EXPECT_TRUE(doc.GetPathName().isEmpty());
  EXPECT_EQ(host.title, QStringLiteral("Untitled"));
}

TEST_F(DocModel, ToggleShowFrameFlipsAndRepaints) {
  doc.ToggleShowFrame();
  EXPECT_EQ(doc.m_showFrame, 1);
  doc.ToggleShowFrame();
  EXPECT_EQ(doc.m_showFrame, 0);
  EXPECT_EQ(host.repaints, 2);
}

TEST_F(DocModel, PathNameGivesTheTitle) {
  doc.SetPathName(QStringLiteral("/art/castle_0007.png"));
  EXPECT_EQ(doc.GetTitle(), QStringLiteral("castle_0007.png"));
  EXPECT_EQ(host.title, QStringLiteral("castle_0007.png"));
}

}  // namespace
