// A returned or dropped file: new main image, returned slice, or a new
// background after the question.
#include <fstream>

#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::MaxDifference;

namespace {

const QString kSizeQuestion = QStringLiteral(
    "This file size doesn't correspond to the slice size.\r\nDo you want to load it as a new "
    "background?");

class ImportTest : public DocTest {
 protected:
  // A locked square of side n at (x, y) on a 1200 x 900 main image.
  void LockedSquare(int n, int x, int y, int zoom = 1) {
    SetMain(1200, 900);
    doc->m_sliceX = x;
    doc->m_sliceY = y;
    doc->m_sliceWidth = doc->m_sliceHeight = n;
    doc->m_zoom = zoom;
    doc->m_locked = 1;
  }
  QString Picture(uint32_t w, uint32_t h, const std::string& name, uint32_t seed = 5) {
    CISImageEx p;
    MakeTestPicture(p, w, h, seed);
    return WritePng(p, name);
  }
  QString TextFile() {
    const std::string path = dir + "/notes.txt";
    std::ofstream(path) << "not an image\n";
    return Q(path);
  }
};

TEST_F(ImportTest, FirstFileBecomesTheMainImage) {
  const QString path = Picture(640, 480, "first.png");
  doc->m_locked = 1;
  doc->ImportFile(path);
  ASSERT_TRUE(doc->m_mainImage.HasPixels());
  EXPECT_EQ(doc->m_mainImage.m_width, 640u);
  EXPECT_EQ(host.log, QStringList{QStringLiteral("Load BG: %1 (640,480)").arg(path)});
  EXPECT_EQ(doc->GetTitle(), QStringLiteral("first.png"));
  EXPECT_EQ(doc->GetPathName(), path);
  EXPECT_EQ(doc->m_mainImagePath, path);
  EXPECT_EQ(doc->m_locked, 1);
  EXPECT_EQ(doc->m_merge, 0);
  EXPECT_FALSE(doc->m_backupImage.HasPixels());  // none between merges
}

TEST_F(ImportTest, FittingWidthIsMergedWhateverTheHeight) {
  LockedSquare(512, 100, 50);
  const QString path = Picture(512, 768, "tall.png");
  doc->ImportFile(path);
  EXPECT_EQ(host.log.last(), QStringLiteral("Load & Merge Slice: ") + path);
  EXPECT_EQ(doc->m_merge, 1);
  EXPECT_EQ(doc->m_overlay.m_width, 512);
  EXPECT_EQ(doc->m_overlay.m_height, 768);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(host.preview.HasPixels());
  ExpectConsistentBlend(*doc);
}

TEST_F(ImportTest, ZoomedSquareTakesTheReducedFile) {
  LockedSquare(256, 300, 200, 2);
  CISImageEx returned;
  MakeTestPicture(returned, 512, 512, 8);
  const QString path = WritePng(returned, "x2.png");
  doc->ImportFile(path);
  ASSERT_EQ(doc->m_merge, 1);
  EXPECT_EQ(doc->m_sliceImage.m_width, 256u);
  CISImageEx reduced;
  ReferenceResize(returned, 256, 256, reduced);
  EXPECT_LE(MaxDifference(reduced, doc->m_sliceImage), 1);
  CISImageEx expected;
  ExpectedBlend(*Before(*doc), AxisOverlay(doc->m_sliceImage, 300, 200, 16), nullptr, expected);
  EXPECT_EQ(MaxDifference(expected, doc->m_mainImage), 0);
}

TEST_F(ImportTest, ZoomedSquareRefusesADoubleSizeFile) {
  LockedSquare(256, 300, 200, 2);
  CISImageEx before;
  before.CopyFrom(doc->m_mainImage);
  doc->ImportFile(Picture(1024, 1024, "big.png"));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, kSizeQuestion);
  EXPECT_EQ(host.boxes[0].buttons, IDocumentHost::Buttons::YesNoCancel);
  EXPECT_EQ(doc->m_merge, 0);
  EXPECT_EQ(doc->m_locked, 1);
  EXPECT_EQ(doc->m_zoom, 2);
  EXPECT_EQ(MaxDifference(before, doc->m_mainImage), 0);
}

TEST_F(ImportTest, SecondFileReplacesTheMergeWithAFreshMask) {
  LockedSquare(512, 100, 50);
  doc->ImportFile(Picture(512, 512, "one.png", 1));
  doc->FillMask(40);
  const QString second = Picture(512, 512, "two.png", 2);
  host.log.clear();
  doc->ImportFile(second);
  EXPECT_EQ(host.log, (QStringList{QStringLiteral("Replace last Merge with new slice"),
                                   QStringLiteral("Load & Merge Slice: ") + second}));
  EXPECT_EQ(doc->m_mask.m_pixels[0], 255);
  ExpectConsistentBlend(*doc);
}

TEST_F(ImportTest, NotFittingAnsweredYesBecomesTheNewBackground) {
  LockedSquare(1024, 100, 50);
  doc->m_sliceCounter = 7;
  doc->m_rotating = 1;
  doc->m_angle = 30;
  const QString path = Picture(512, 512, "small.png");
  host.answers.push_back(IDocumentHost::Answer::Yes);
  doc->ImportFile(path);
  EXPECT_EQ(doc->m_mainImage.m_width, 512u);
  EXPECT_EQ(doc->m_sliceX, 0);
  EXPECT_EQ(doc->m_sliceY, 0);
  EXPECT_EQ(doc->m_zoom, 1);
  EXPECT_EQ(doc->m_sliceCounter, 1);
  EXPECT_EQ(doc->m_locked, 0);
  EXPECT_EQ(doc->m_merge, 0);
  EXPECT_EQ(doc->m_rotating, 0);
  EXPECT_EQ(doc->m_angle, 0);
  EXPECT_EQ(doc->GetPathName(), path);
  EXPECT_EQ(host.log.last(), QStringLiteral("Load BG: %1 (512,512)").arg(path));
}

// Answering No or Cancel leaves everything as before the drop, a merge under
// way included.
TEST_F(ImportTest, NotFittingAnsweredNoOrCancelKeepsTheMerge) {
  for (auto answer : {IDocumentHost::Answer::No, IDocumentHost::Answer::Cancel}) {
    LockedSquare(512, 100, 50);
    doc->m_merge = 0;
    doc->m_mask.Release();
    doc->ImportFile(Picture(512, 512, "fits.png"));
    doc->FillMask(200);
    CISImageEx blended;
    blended.CopyFrom(doc->m_mainImage);
    host.answers.push_back(answer);
    host.log.clear();
    doc->ImportFile(Picture(300, 300, "other.png"));
    EXPECT_TRUE(host.log.isEmpty());
    EXPECT_EQ(doc->m_merge, 1);
    EXPECT_EQ(doc->m_mask.m_pixels[1000], 200);
    EXPECT_EQ(doc->m_sliceImage.m_width, 512u);
    EXPECT_EQ(MaxDifference(blended, doc->m_mainImage), 0);
    // The merge goes on: an edge-blur change still rebuilds it.
    services.edgeBlur = 10;
    doc->RefreshMerge();
    ExpectConsistentBlend(*doc);
    services.edgeBlur = 32;
  }
}

TEST_F(ImportTest, UnreadableFileChangesNothing) {
  const QString text = TextFile();
  doc->ImportFile(text);
  EXPECT_EQ(host.log, QStringList{QStringLiteral("Error: Can't read image: ") + text});
  EXPECT_FALSE(doc->m_mainImage.HasPixels());

  LockedSquare(512, 100, 50);
  doc->ImportFile(Picture(512, 512, "fits.png"));
  CISImageEx blended;
  blended.CopyFrom(doc->m_mainImage);
  host.log.clear();
  doc->ImportFile(text);
  doc->ImportFile(Q(dir + "/missing.png"));
  EXPECT_EQ(host.log,
            (QStringList{QStringLiteral("Error: Can't read image: ") + text,
                         QStringLiteral("Error: Can't read image: ") + Q(dir + "/missing.png")}));
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(doc->m_merge, 1);
  EXPECT_EQ(MaxDifference(blended, doc->m_mainImage), 0);
}

TEST_F(ImportTest, MergeWithoutBackupIsRefused) {
  SetMain(600, 600);
  doc->m_backupImage.Clear();
  doc->m_merge = 1;
  doc->ImportFile(Picture(512, 512, "fits.png"));
  EXPECT_EQ(host.log,
            QStringList{QStringLiteral("Error: No Slice defined or Locked. Add Slice first.")});
  EXPECT_FALSE(doc->m_sliceImage.HasPixels());
}

TEST_F(ImportTest, NewBackgroundBringsTheShadowAlong) {
  LockedSquare(512, 0, 0);
  doc->m_shadowImagePath = Picture(100, 80, "shadow.png", 3);
  const QString path = Picture(700, 500, "bg.png");
  host.answers.push_back(IDocumentHost::Answer::Yes);
  doc->ImportFile(path);
  EXPECT_EQ(host.log,
            (QStringList{QStringLiteral("Load BG: %1 (700,500)").arg(path),
                         QStringLiteral("Resize CN: %1 (700,500)").arg(doc->m_shadowImagePath)}));
  EXPECT_EQ(doc->m_shadowImage.m_width, 700u);
}

}  // namespace
