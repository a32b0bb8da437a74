// Export and Lock, Auto Send to Clipboard and Open Slice Folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include "document/DocTestSupport.h"
#include "document/SettingsStore.h"
#include "support/TestSupport.h"

using namespace doc_testing;

namespace {

class Export : public ::testing::Test, public DocFixture {
 protected:
  void SetUp() override {
    folder = TempFolder() + QStringLiteral("/slices");
    doc.m_sliceFolder = folder;
  }
  void Picture(uint32_t width, uint32_t height, uint32_t seed = 1) {
    testing_support::MakeTestPicture(doc.m_mainImage, width, height, seed);
  }
  void Shadow(uint32_t width, uint32_t height) {
    testing_support::MakeTestPicture(doc.m_shadowImage, width, height, 99);
  }
  QString In(const QString& name) const { return folder + u'/' + name; }
  QStringList Files() const {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  }
  // Pixel (x, y) of image, as one RGB triple packed.
  static uint32_t At(const CISImageEx& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.Pixels() + (size_t{y} * image.m_width + x) * 3;
    return p[0] << 16 | p[1] << 8 | p[2];
  }
  QString folder;
};

TEST_F(Export, ClampsTheCornerAndRepeatsTheLastRow) {
  Picture(600, 400);
  doc.CreateSlice(512, 0, 1);
  ASSERT_EQ(doc.m_sliceY, -56);
  const QString name = doc.ExportAndLock();
  EXPECT_EQ(name, QStringLiteral("slice_001_(44,0,512,512).png"));
  EXPECT_EQ(doc.m_sliceX, 44);
  EXPECT_EQ(doc.m_sliceY, 0);
  EXPECT_EQ(doc.m_locked, 1);
  EXPECT_EQ(doc.m_sliceCounter, 2);
  const QString path = In(name);
  EXPECT_EQ(host.log,
            (QStringList{QStringLiteral("Exported Slice: ") + path,
                         QStringLiteral("Send DIB to Clipboard"),
                         QStringLiteral("In Lock mode - waiting for Drag & Drop to merge")}));
  EXPECT_EQ(ReadSetting(services.settings, Settings::kSlicePath), folder);
  CISImageEx slice;
  ASSERT_TRUE(LoadPicture(path, slice));
  ASSERT_EQ(slice.m_width, 512u);
  ASSERT_EQ(slice.m_height, 512u);
  for (uint32_t y = 0; y < 512; y += 7)
    for (uint32_t x = 0; x < 512; x += 5)
      ASSERT_EQ(At(slice, x, y), At(doc.m_mainImage, std::min(599u, 44 + x), std::min(399u, y)))
          << x << "," << y;
  // The clipboard got the same picture.
  EXPECT_EQ(testing_support::MaxDifference(slice, host.clipboard), 0);
  EXPECT_EQ(Files(), QStringList{name});  // no temporary left behind
}

TEST_F(Export, RightEdgeRepeatsTheLastColumn) {
  Picture(300, 700);
  doc.PlaceSlice(200, 100, 256, 256);  // zoom 2
  doc.m_zoom = 1;
  const QString name = doc.ExportAndLock();
  CISImageEx slice;
  ASSERT_TRUE(LoadPicture(In(name), slice));
  for (uint32_t y = 0; y < 256; y += 3)
    for (uint32_t x = 0; x < 256; x += 3)
      ASSERT_EQ(At(slice, x, y), At(doc.m_mainImage, std::min(299u, 200 + x), 100 + y));
}

// A picture smaller than the square in both directions leaves the square's
// place partly outside it: every cut pixel is the nearest picture pixel.
TEST_F(Export, SquareLargerThanThePictureRepeatsItsEdges) {
  Picture(300, 200);
  doc.CreateSlice(512, 0, 1);
  const QString name = doc.ExportAndLock();
  ASSERT_FALSE(name.isEmpty());
  const int x0 = doc.m_sliceX, y0 = doc.m_sliceY;
  CISImageEx slice;
  ASSERT_TRUE(LoadPicture(In(name), slice));
  ASSERT_EQ(slice.m_width, 512u);
  for (int y = 0; y < 512; y += 3)
    for (int x = 0; x < 512; x += 3)
      ASSERT_EQ(At(slice, uint32_t(x), uint32_t(y)),
                At(doc.m_mainImage, uint32_t(std::clamp(x0 + x, 0, 299)),
                   uint32_t(std::clamp(y0 + y, 0, 199))))
          << x << "," << y << " from " << x0 << "," << y0;
}

TEST_F(Export, ZoomEnlargesTheSliceButNotTheShadow) {
  Picture(1000, 1000);
  Shadow(1000, 1000);
  doc.PlaceSlice(100, 200, 256, 256);
  doc.m_sliceCounter = 3;
  EXPECT_EQ(doc.ExportAndLock(), QStringLiteral("slice_003_(100,200,256,256).png"));
  CISImageEx slice, shadow;
  ASSERT_TRUE(LoadPicture(In(QStringLiteral("slice_003_(100,200,256,256).png")), slice));
  ASSERT_TRUE(LoadPicture(In(QStringLiteral("ControlNet_Slice_003.png")), shadow));
  EXPECT_EQ(slice.m_width, 512u);
  EXPECT_EQ(slice.m_height, 512u);
  EXPECT_EQ(shadow.m_width, 256u);
  EXPECT_EQ(shadow.m_height, 256u);
  EXPECT_EQ(At(shadow, 10, 20), At(doc.m_shadowImage, 110, 220));
  EXPECT_EQ(host.log[1],
            QStringLiteral("Exported CN: ") + In(QStringLiteral("ControlNet_Slice_003.png")));
}

TEST_F(Export, ClipboardHoldsTheEnlargedPicture) {
  Picture(1000, 1000);
  doc.CreateSlice(128, 0, 4);
  ASSERT_FALSE(doc.ExportAndLock().isEmpty());
  EXPECT_EQ(host.clipboard.m_width, 512u);
  EXPECT_EQ(host.clipboard.m_height, 512u);
}

TEST_F(Export, ClipboardOffOrBusySendsNothingAndLogsNothing) {
  Picture(1000, 1000);
  doc.CreateSlice(512, 0, 1);
  host.clipboardAvailable = false;
  ASSERT_FALSE(doc.ExportAndLock().isEmpty());
  EXPECT_FALSE(host.log.contains(QStringLiteral("Send DIB to Clipboard")));
  doc.CancelLock();
  host.clipboardAvailable = true;
  doc.ToggleAutoSendToClipboard();
  EXPECT_EQ(ReadSetting(services.settings, Settings::kAutoSendToClipboard, 1), 0);
  ASSERT_FALSE(doc.ExportAndLock().isEmpty());
  EXPECT_FALSE(host.clipboard.HasPixels());
  doc.ToggleAutoSendToClipboard();
  EXPECT_EQ(doc.m_autoSend, 1);
  EXPECT_EQ(ReadSetting(services.settings, Settings::kAutoSendToClipboard, 0), 1);
}

TEST_F(Export, TrailingSlashIsStoredButNotDoubled) {
  Picture(600, 600);
  doc.CreateSlice(512, 0, 1);
  doc.m_sliceFolder = folder + u'/';
  const QString name = doc.ExportAndLock();
  EXPECT_EQ(ReadSetting(services.settings, Settings::kSlicePath), folder + u'/');
  EXPECT_EQ(doc.m_sliceFolder, folder);
  EXPECT_EQ(host.log[0], QStringLiteral("Exported Slice: ") + folder + u'/' + name);
}

TEST_F(Export, FolderWithoutParentIsReportedInABox) {
  Picture(600, 400);
  doc.CreateSlice(512, 0, 1);
  doc.m_sliceFolder = folder + QStringLiteral("/missing/deeper");
  EXPECT_TRUE(doc.ExportAndLock().isEmpty());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, QStringLiteral("Can't create directory: ") + doc.m_sliceFolder);
  EXPECT_EQ(host.boxes[0].buttons, IDocumentHost::Buttons::Ok);
  EXPECT_TRUE(host.log.isEmpty());
  EXPECT_EQ(doc.m_sliceY, 0);  // clamped before the folder check
  EXPECT_EQ(doc.m_locked, 0);
  EXPECT_EQ(doc.m_sliceCounter, 1);
  EXPECT_FALSE(Exists(folder + QStringLiteral("/missing")));
  EXPECT_TRUE(ReadSetting(services.settings, Settings::kSlicePath).isEmpty());
}

TEST_F(Export, OneMissingLevelIsCreated) {
  Picture(600, 600);
  doc.CreateSlice(512, 0, 1);
  ASSERT_FALSE(Exists(folder));
  EXPECT_FALSE(doc.ExportAndLock().isEmpty());
  EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(Export, RefusalsChangeNothing) {
  // No main image: nothing at all.
  EXPECT_TRUE(doc.ExportAndLock().isEmpty());
  EXPECT_TRUE(host.log.isEmpty());
  Picture(600, 400);
  doc.CreateSlice(512, 0, 1);
  doc.m_sliceFolder.clear();
  EXPECT_TRUE(doc.ExportAndLock().isEmpty());
  doc.m_sliceFolder = folder;
  doc.m_merge = 1;
  EXPECT_TRUE(doc.ExportAndLock().isEmpty());  // Merging, not locked
  doc.m_locked = 1;
  EXPECT_TRUE(doc.ExportAndLock().isEmpty());  // Merging
  EXPECT_EQ(host.log,
            (QStringList{QStringLiteral("Error: Slice path is empty"),
                         QStringLiteral("Error: No slice defined - use Add slice button."),
                         QStringLiteral("Error: Currentlyy in Lock mode.")}));
  EXPECT_EQ(doc.m_sliceY, -56);  // refused before the clamp
  EXPECT_FALSE(Exists(folder));
}

TEST_F(Export, SecondExportNeedsCancelLock) {
  Picture(1200, 1200);
  doc.CreateSlice(512, 0, 1);
  EXPECT_EQ(doc.ExportAndLock(), QStringLiteral("slice_001_(344,344,512,512).png"));
  host.log.clear();
  EXPECT_TRUE(doc.ExportAndLock().isEmpty());
  EXPECT_EQ(host.log, QStringList{QStringLiteral("Error: Currentlyy in Lock mode.")});
  doc.CancelLock();
  EXPECT_EQ(doc.ExportAndLock(), QStringLiteral("slice_002_(344,344,512,512).png"));
}

TEST_F(Export, WithoutShadowNoControlNetFile) {
  Picture(600, 600);
  doc.CreateSlice(512, 0, 1);
  doc.ExportAndLock();
  EXPECT_EQ(Files().filter(QStringLiteral("ControlNet")).size(), 0);
  EXPECT_EQ(host.log.filter(QStringLiteral("Exported CN")).size(), 0);
}

// The counter starts at 1 again, but moves past the numbers whose slice or
// ControlNet files are in the folder: nothing is replaced.
TEST_F(Export, FileNewRestartsTheCounterButReplacesNoFile) {
  Picture(600, 600);
  Shadow(600, 600);
  doc.CreateSlice(512, 0, 1);
  doc.ExportAndLock();
  doc.NewDocument();
  Picture(600, 600, 5);
  Shadow(600, 600);
  doc.CreateSlice(256, 0, 2);
  EXPECT_EQ(doc.ExportAndLock(), QStringLiteral("slice_002_(172,172,256,256).png"));
  CISImageEx shadow;
  ASSERT_TRUE(LoadPicture(In(QStringLiteral("ControlNet_Slice_001.png")), shadow));
  EXPECT_EQ(shadow.m_width, 512u);  // the first export's
}

TEST_F(Export, CounterHasAtLeastThreeDigits) {
  Picture(600, 600);
  doc.PlaceRotatedSlice(10, 20, 64, 64, 35);
  doc.m_sliceCounter = 1234;
  EXPECT_EQ(doc.ExportAndLock(), QStringLiteral("rotate_1234_(10,20,64,64,35).png"));
}

TEST_F(Export, RotatedAtZeroEqualsTheUprightCut) {
  ASSERT_TRUE(RotatedCutAvailable()) << "the rotated cut gives an empty picture";
  Picture(900, 900);
  doc.PlaceRotatedSlice(100, 150, 512, 512, 0);
  const QString rotated = doc.ExportAndLock();
  doc.CancelLock();
  doc.PlaceSlice(100, 150, 512, 512);
  const QString upright = doc.ExportAndLock();
  CISImageEx a, b;
  ASSERT_TRUE(LoadPicture(In(rotated), a));
  ASSERT_TRUE(LoadPicture(In(upright), b));
  EXPECT_LE(testing_support::MaxDifference(a, b), 1);
}

TEST_F(Export, RotatedCutTurnsTheSquareUpright) {
  ASSERT_TRUE(RotatedCutAvailable()) << "the rotated cut gives an empty picture";
  Picture(1000, 1000);
  doc.PlaceRotatedSlice(300, 300, 256, 256, 90);
  doc.m_zoom = 1;  // the cut itself, not enlarged
  CISImageEx slice;
  ASSERT_TRUE(LoadPicture(In(doc.ExportAndLock()), slice));
  ASSERT_EQ(slice.m_width, 256u);
  // At 90 degrees the picture's (u, v) lies at image (cx - v, cy + u).
  const int cx = 428, cy = 428;
  for (int j : {0, 50, 200})
    for (int i : {10, 128, 255}) {
      const int u = j - 128, v = i - 128;
      EXPECT_EQ(At(slice, j, i), At(doc.m_mainImage, cx - v, cy + u)) << j << "," << i;
    }
}

// A slice that could not be written is reported, not locked, and keeps its number.
TEST_F(Export, FailedWriteIsReportedAndDoesNotLock) {
  Picture(600, 600);
  doc.CreateSlice(512, 0, 1);
  // A folder whose path leaves no room for a file name below the path limit.
  while (folder.size() < 4080) folder += u'/' + QString(200, u'd').left(4079 - folder.size());
  ASSERT_TRUE(QDir().mkpath(folder));
  doc.m_sliceFolder = folder;
  EXPECT_TRUE(doc.ExportAndLock().isEmpty());
  EXPECT_EQ(host.log, QStringList{QStringLiteral("Error: Can't write slice: ") +
                                  In(QStringLiteral("slice_001_(44,44,512,512).png"))});
  EXPECT_EQ(doc.m_locked, 0);
  EXPECT_EQ(doc.m_sliceCounter, 1);
  EXPECT_FALSE(host.clipboard.HasPixels());
  EXPECT_EQ(Files(), QStringList{});
}

TEST_F(Export, OversizedStoredSliceIsRefusedWithoutAllocating) {
  Picture(100, 100);
  doc.PlaceSlice(0, 0, 2000000000, 2000000000);
  EXPECT_TRUE(doc.ExportAndLock().isEmpty());
  EXPECT_TRUE(host.log.first().startsWith(QStringLiteral("Error: Can't write slice: ")));
  EXPECT_EQ(doc.m_locked, 0);
}

TEST_F(Export, OpenSliceFolder) {
  doc.OpenSliceFolder();
  EXPECT_EQ(host.openedFolders, QStringList{folder});
  doc.m_sliceFolder.clear();
  doc.OpenSliceFolder();
  EXPECT_EQ(host.log, QStringList{QStringLiteral("Error: Slice path is empty")});
  EXPECT_EQ(host.openedFolders.size(), 1);
}

}  // namespace
