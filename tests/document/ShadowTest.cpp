// The ControlNet shadow image and the small exports.
#include <sys/stat.h>

#include <QFileInfo>
#include <filesystem>

#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::MaxDifference;

namespace {

class ShadowTest : public DocTest {
 protected:
  QString Picture(uint32_t w, uint32_t h, const std::string& name, uint32_t seed = 5) {
    CISImageEx p;
    MakeTestPicture(p, w, h, seed);
    return WritePng(p, name);
  }
  static std::pair<uint32_t, uint32_t> SizeOf(const QString& path) {
    CISImageEx im;
    if (im.Load(path.toStdString()) != 0) return {0, 0};
    return {im.m_width, im.m_height};
  }
};

struct SmallCase {
  uint32_t w, h;
  int size;
  uint32_t ew, eh;
};

TEST_F(ShadowTest, SmallExportSizesAndLines) {
  for (const SmallCase& c :
       {SmallCase{3000, 2000, 512, 768, 512}, SmallCase{1000, 3000, 1024, 1024, 3072},
        SmallCase{333, 1000, 512, 512, 1538}, SmallCase{700, 700, 1024, 1024, 1024}}) {
    SetMain(c.w, c.h);
    host.log.clear();
    doc->ExportSmall(c.size);
    const QString name = QStringLiteral("base_%1.png").arg(c.size);
    const QString path = Q(dir) + QLatin1Char('/') + name;
    EXPECT_EQ(SizeOf(path), std::make_pair(c.ew, c.eh)) << c.w << "x" << c.h;
    EXPECT_EQ(host.log, QStringList{QStringLiteral("Export Base %1: %2 (%3,%4)")
                                        .arg(QString::number(c.size), path, QString::number(c.ew),
                                             QString::number(c.eh))});
    EXPECT_FALSE(QFileInfo::exists(Q(dir) + QStringLiteral("/cn_") + name));
  }
}

TEST_F(ShadowTest, SmallExportWritesTheShadowBeside) {
  SetMain(1200, 800);
  doc->m_sliceFolder = Q(dir + "/");
  doc->CopyMainToShadow();
  doc->ExportSmall(512);
  EXPECT_EQ(doc->m_sliceFolder, Q(dir));
  const QString cn = Q(dir + "/cn_base_512.png");
  EXPECT_EQ(SizeOf(cn), std::make_pair(768u, 512u));
  EXPECT_EQ(host.log.last(), QStringLiteral("Export CN 512: %1 (768,512)").arg(cn));
  // The written picture is the two-pass bilinear reduction of the image.
  CISImageEx expected, written;
  expected.CopyFrom(doc->m_mainImage);
  ASSERT_EQ(expected.ResizeBilinear(768, 512), 0u);
  ASSERT_EQ(written.Load(cn.toStdString()), 0u);
  EXPECT_EQ(MaxDifference(expected, written), 0);
}

TEST_F(ShadowTest, SmallExportReportsFailures) {
  SetMain(600, 400);
  doc->m_sliceFolder.clear();
  doc->ExportSmall(512);
  EXPECT_EQ(host.log.last(), QStringLiteral("Error: Slice path is empty"));
  doc->m_sliceFolder = Q(dir + "/missing");
  doc->ExportSmall(1024);
  EXPECT_EQ(host.log.last(),
            QStringLiteral("Error: Can't write image: ") + Q(dir + "/missing/base_1024.png"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
}

TEST_F(ShadowTest, ShadowIsStretchedToTheMainImage) {
  const QString shadow = Picture(1024, 1024, "cn.png", 9);
  const QString main = Picture(3000, 2000, "main.png");
  doc->m_shadowImagePath = shadow;
  ASSERT_TRUE(doc->OpenMainImage(main));
  EXPECT_EQ(doc->m_shadowImage.m_width, 3000u);
  EXPECT_EQ(doc->m_shadowImage.m_height, 2000u);
  EXPECT_TRUE(host.log.contains(QStringLiteral("Resize CN: %1 (3000,2000)").arg(shadow)));
  CISImageEx expected;
  ASSERT_EQ(expected.Load(shadow.toStdString()), 0u);
  CISImageEx stretched;
  ReferenceResize(expected, 3000, 2000, stretched);
  EXPECT_LE(MaxDifference(stretched, doc->m_shadowImage), 1);

  // Another main image brings the shadow again at the new size.
  ASSERT_TRUE(doc->OpenMainImage(Picture(640, 480, "second.png")));
  EXPECT_EQ(doc->m_shadowImage.m_width, 640u);
  EXPECT_EQ(host.log.count(QStringLiteral("Resize CN: %1 (640,480)").arg(shadow)), 1);
}

TEST_F(ShadowTest, OpenShadowUsesTheDialogAndRemembersTheFolder) {
  const QString shadow = Picture(200, 100, "guide.png");
  host.nextOpenPath.clear();
  doc->OpenShadowImage();
  EXPECT_EQ(host.dialogTitles, QStringList{QStringLiteral("Load ControlNet file")});
  EXPECT_TRUE(doc->m_shadowImagePath.isEmpty());

  // Without a main image the path is only remembered.
  host.nextOpenPath = shadow;
  doc->OpenShadowImage();
  EXPECT_EQ(doc->m_shadowImagePath, shadow);
  EXPECT_FALSE(doc->m_shadowImage.HasPixels());
  EXPECT_TRUE(host.log.isEmpty());
  EXPECT_EQ(ReadSetting(services.settings, Settings::kShadowFolder), Q(dir));
  doc->OpenShadowImage();
  EXPECT_EQ(host.dialogFolders.last(), Q(dir));

  // File New keeps the path: the next main image brings the shadow back.
  doc->NewDocument();
  doc->ImportFile(Picture(400, 300, "dropped.png"));
  EXPECT_EQ(doc->m_shadowImage.m_width, 400u);
  EXPECT_EQ(host.log.last(), QStringLiteral("Resize CN: %1 (400,300)").arg(shadow));
}

TEST_F(ShadowTest, RemoveForgetsTheShadowForTheNextLoad) {
  doc->m_shadowImagePath = Picture(64, 64, "cn.png");
  ASSERT_TRUE(doc->OpenMainImage(Picture(300, 200, "main.png")));
  ASSERT_TRUE(doc->m_shadowImage.HasPixels());
  doc->RemoveShadowImage();
  EXPECT_EQ(host.log.last(), QStringLiteral("Close ControlNet Shadow Image"));
  EXPECT_TRUE(doc->m_shadowImagePath.isEmpty());
  host.log.clear();
  ASSERT_TRUE(doc->OpenMainImage(Picture(300, 200, "again.png")));
  EXPECT_FALSE(doc->m_shadowImage.HasPixels());
  for (const QString& line : host.log) EXPECT_FALSE(line.startsWith(QStringLiteral("Resize CN")));
}

TEST_F(ShadowTest, UnreadableShadowIsReportedAndKeepsItsPath) {
  SetMain(300, 200);
  doc->m_shadowImagePath = Q(dir + "/gone.png");
  doc->LoadShadowImage();
  EXPECT_EQ(host.log.last(), QStringLiteral("Error: Can't read image: ") + Q(dir + "/gone.png"));
  EXPECT_FALSE(doc->m_shadowImage.HasPixels());
  EXPECT_EQ(doc->m_shadowImagePath, Q(dir + "/gone.png"));
}

TEST_F(ShadowTest, CopyMainToShadowTakesTheBlendAndThePath) {
  doc->CopyMainToShadow();
  EXPECT_TRUE(host.log.isEmpty());
  SetMain(300, 200);
  doc->m_mainImage.Pixels()[0] ^= 0xff;  // a blend under way
  doc->CopyMainToShadow();
  EXPECT_EQ(host.log.last(), QStringLiteral("CN file created from: ") + doc->m_mainImagePath);
  EXPECT_EQ(doc->m_shadowImagePath, doc->m_mainImagePath);
  EXPECT_EQ(MaxDifference(doc->m_shadowImage, doc->m_mainImage), 0);
}

}  // namespace
