// Main image load, File Open and the numbered File Save.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "document/DocTestSupport.h"
#include "document/SettingsStore.h"
#include "support/TestSupport.h"

using namespace doc_testing;

namespace {

class SaveLoad : public ::testing::Test, public DocFixture {
 protected:
  void SetUp() override { dir = TempFolder(); }
  QString In(const QString& name) const { return dir + u'/' + name; }
  // Writes a picture under name and opens it as the framework does.
  void OpenPicture(const QString& name, uint32_t width = 64, uint32_t height = 48) {
    ASSERT_TRUE(WritePicture(In(name), width, height));
    ASSERT_TRUE(doc.FileOpen(In(name)));
  }
  QStringList Files() const { return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
  QString dir;
};

TEST_F(SaveLoad, OpenLoadsLogsAndNames) {
  ASSERT_TRUE(WritePicture(In(QStringLiteral("castle.png")), 120, 80));
  doc.m_locked = 1;
  doc.m_sliceCounter = 5;
  doc.SetModifiedFlag();
  host.answers = {IDocumentHost::Answer::No};
  ASSERT_TRUE(doc.FileOpen(In(QStringLiteral("castle.png"))));
  EXPECT_EQ(
      host.log,
      QStringList{QStringLiteral("Load BG: %1 (120,80)").arg(In(QStringLiteral("castle.png")))});
  EXPECT_EQ(doc.m_mainImage.m_width, 120u);
  EXPECT_FALSE(doc.m_backupImage.HasPixels());  // none between merges
  EXPECT_EQ(doc.m_mainImagePath, In(QStringLiteral("castle.png")));
  EXPECT_EQ(doc.GetPathName(), In(QStringLiteral("castle.png")));
  EXPECT_EQ(doc.GetTitle(), QStringLiteral("castle.png"));
  EXPECT_EQ(doc.m_displayRefresh, 1);
  EXPECT_FALSE(doc.IsModified());
  // Flags, geometry and counter are the document's, not the file's.
  EXPECT_EQ(doc.m_locked, 1);
  EXPECT_EQ(doc.m_sliceCounter, 5);
}

TEST_F(SaveLoad, LoadDropsTheMergeBuffers) {
  ASSERT_TRUE(WritePicture(In(QStringLiteral("a.png")), 30, 20));
  ASSERT_EQ(doc.m_sliceImage.Create(4, 4, 24), kISOk);
  doc.m_merge = 1;
  doc.m_locked = 1;
  doc.LoadMainImage(In(QStringLiteral("a.png")));
  EXPECT_FALSE(doc.m_sliceImage.HasPixels());
  EXPECT_FALSE(doc.m_overlay.HasPixels() || doc.m_mask.HasPixels() || doc.m_blendMask.HasPixels());
  EXPECT_EQ(doc.m_merge, 1);
  EXPECT_TRUE(host.log.isEmpty());  // the shared load does not log
}

// Not an image: the document stays as it was (an unreadable file must not
// throw away the picture being worked on).
TEST_F(SaveLoad, UnreadableFileLeavesTheDocumentAlone) {
  OpenPicture(QStringLiteral("castle.png"), 50, 40);
  host.log.clear();
  const QString junk = In(QStringLiteral("notes.png"));
  ASSERT_TRUE(testing_support::WriteFileBytes(junk.toStdString(), {'h', 'e', 'l', 'l', 'o'}));
  for (const QString& path : {junk, In(QStringLiteral("missing.png")), dir}) {
    EXPECT_FALSE(doc.FileOpen(path));
    EXPECT_EQ(host.log.last(), QStringLiteral("Error: Can't read image: ") + path);
  }
  EXPECT_EQ(host.log.size(), 3);
  EXPECT_EQ(doc.m_mainImage.m_width, 50u);
  EXPECT_EQ(doc.GetPathName(), In(QStringLiteral("castle.png")));
  EXPECT_EQ(doc.GetTitle(), QStringLiteral("castle.png"));
  EXPECT_EQ(doc.m_mainImagePath, In(QStringLiteral("castle.png")));
}

TEST_F(SaveLoad, CancelledOpenLeavesTheDocumentAlone) {
  OpenPicture(QStringLiteral("castle.png"), 50, 40);
  ASSERT_EQ(host.progress.back(), std::make_pair(IDocumentHost::Work::Opening, -1.0));
  doc.SetModifiedFlag();
  CISImageEx before;
  before.CopyFrom(doc.m_mainImage);
  ASSERT_TRUE(WritePicture(In(QStringLiteral("other.png")), 70, 30));
  host.log.clear();
  host.progress.clear();
  host.cancelOpening = true;
  host.answers = {IDocumentHost::Answer::No};  // drop the changes
  EXPECT_FALSE(doc.FileOpen(In(QStringLiteral("other.png"))));
  ASSERT_GE(host.progress.size(), 2u);
  EXPECT_EQ(host.progress.front(), std::make_pair(IDocumentHost::Work::Opening, 0.0));
  EXPECT_EQ(host.progress.back().second, -1.0);  // the dialog goes
  EXPECT_TRUE(host.log.isEmpty());               // a cancel is no error
  EXPECT_EQ(testing_support::MaxDifference(doc.m_mainImage, before), 0);
  EXPECT_FALSE(doc.m_backupImage.HasPixels());
  EXPECT_EQ(doc.m_mainImagePath, In(QStringLiteral("castle.png")));
  EXPECT_EQ(doc.GetTitle(), QStringLiteral("castle.png"));
  EXPECT_TRUE(doc.IsModified());
}

TEST_F(SaveLoad, SaveNumbersBesideTheLoadedFileAndNeverTouchesIt) {
  OpenPicture(QStringLiteral("castle.png"));
  const auto original =
      testing_support::ReadFileBytes(In(QStringLiteral("castle.png")).toStdString());
  doc.SetModifiedFlag();
  for (int i = 1; i <= 3; ++i) {
    host.log.clear();
    EXPECT_TRUE(doc.FileSave());
    const QString expected = In(QStringLiteral("castle_%1.png").arg(i, 4, 10, QLatin1Char('0')));
    EXPECT_EQ(host.log,
              (QStringList{QStringLiteral("Saving image"), QStringLiteral("Saved: ") + expected}));
    CISImageEx saved;
    ASSERT_TRUE(LoadPicture(expected, saved));
    EXPECT_EQ(testing_support::MaxDifference(saved, doc.m_mainImage), 0);
  }
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(testing_support::ReadFileBytes(In(QStringLiteral("castle.png")).toStdString()),
            original);
  EXPECT_EQ(Files(),
            (QStringList{QStringLiteral("castle.png"), QStringLiteral("castle_0001.png"),
                         QStringLiteral("castle_0002.png"), QStringLiteral("castle_0003.png")}));
}

TEST_F(SaveLoad, NumberingRules) {
  const struct {
    const char* loaded;
    const char* saved;
  } cases[] = {
      {"castle_0007.png", "castle_0008.png"}, {"my_photo.png", "my_photo_0001.png"},
      {"scan_0.png", "scan_0_0001.png"},      {"castle.PNG", "castle_0001.png"},
      {"shot_12b.png", "shot_0013.png"},      {"v_99999.png", "v_100000.png"},
      {"no.ext.png", "no.ext_0001.png"},      {"castle.jpeg", "castle_0001.jpeg"},
      {"scan.tiff", "scan_0001.tiff"},        {"_5.png", "_0006.png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.loaded);
    dir = TempFolder();
    // A PNG under any name: the reader goes by the file's signature.
    OpenPicture(QString::fromUtf8(c.loaded));
    host.log.clear();
    doc.FileSave();
    ASSERT_EQ(host.log.size(), 2);
    const QString saved = In(QString::fromUtf8(c.saved));
    EXPECT_EQ(host.log[1], QStringLiteral("Saved: ") + saved);
    // The type follows the real extension.
    const auto bytes = testing_support::ReadFileBytes(Local(saved));
    ASSERT_GE(bytes.size(), 4u);
    if (saved.endsWith(QStringLiteral(".jpeg")))
      EXPECT_EQ(bytes[0] << 8 | bytes[1], 0xFFD8);
    else if (saved.endsWith(QStringLiteral(".tiff")))
      EXPECT_TRUE(bytes[0] == 'I' || bytes[0] == 'M');
    else
      EXPECT_EQ(bytes[1], 'P');
  }
}

TEST_F(SaveLoad, ExistingNumberedFilesAreSkippedNotReplaced) {
  OpenPicture(QStringLiteral("castle.png"));
  ASSERT_TRUE(
      testing_support::WriteFileBytes(In(QStringLiteral("castle_0001.png")).toStdString(), {'x'}));
  ASSERT_TRUE(QDir().mkdir(In(QStringLiteral("castle_0002.png"))));
  doc.FileSave();
  EXPECT_EQ(host.log.last(), QStringLiteral("Saved: ") + In(QStringLiteral("castle_0003.png")));
  EXPECT_EQ(testing_support::ReadFileBytes(In(QStringLiteral("castle_0001.png")).toStdString()),
            std::vector<uint8_t>{'x'});
}

TEST_F(SaveLoad, DanglingLinkCountsAsTaken) {
  OpenPicture(QStringLiteral("castle.png"));
  ASSERT_TRUE(QFile::link(In(QStringLiteral("gone.png")), In(QStringLiteral("castle_0001.png"))));
  doc.FileSave();
  EXPECT_EQ(host.log.last(), QStringLiteral("Saved: ") + In(QStringLiteral("castle_0002.png")));
  EXPECT_FALSE(Exists(In(QStringLiteral("gone.png"))));
  EXPECT_TRUE(QFileInfo(In(QStringLiteral("castle_0001.png"))).isSymLink());
}

TEST_F(SaveLoad, LongPathsAreNumberedToo) {
  dir = TempFolder() + u'/' + QString(200, u'd') + u'/' + QString(100, u'e');
  ASSERT_TRUE(QDir().mkpath(dir));
  OpenPicture(QStringLiteral("castle.png"));
  ASSERT_GE(In(QStringLiteral("castle.png")).size(), 260);
  doc.FileSave();
  EXPECT_EQ(host.log.last(), QStringLiteral("Saved: ") + In(QStringLiteral("castle_0001.png")));
  EXPECT_TRUE(Exists(In(QStringLiteral("castle.png"))));
}

TEST_F(SaveLoad, NameNearTheLengthLimit) {
  const QString name = QString(246, u'n') + QStringLiteral(".png");  // 250 bytes
  ASSERT_TRUE(WritePicture(In(QStringLiteral("short.png")), 8, 8));
  ASSERT_TRUE(QFile::rename(In(QStringLiteral("short.png")), In(name)));
  ASSERT_TRUE(doc.FileOpen(In(name)));
  doc.FileSave();
  EXPECT_EQ(host.log.last(),
            QStringLiteral("Saved: ") + In(QString(246, u'n') + QStringLiteral("_0001.png")));
  EXPECT_EQ(Files().size(), 2);
}

TEST_F(SaveLoad, DeletedSourceIsWrittenUnderItsOwnName) {
  OpenPicture(QStringLiteral("castle.png"));
  ASSERT_TRUE(QFile::remove(In(QStringLiteral("castle.png"))));
  doc.FileSave();
  EXPECT_EQ(host.log.last(), QStringLiteral("Saved: ") + In(QStringLiteral("castle.png")));
  CISImageEx saved;
  ASSERT_TRUE(LoadPicture(In(QStringLiteral("castle.png")), saved));
}

TEST_F(SaveLoad, SaveAsWritesAsChosenAndSaveStillNumbersBesideTheLoadedFile) {
  OpenPicture(QStringLiteral("castle.png"));
  WriteSetting(services.settings, Settings::kSaveFolder, QStringLiteral("/old"));
  const QString other = TempFolder();
  host.nextSavePath = other + QStringLiteral("/copy.png");
  doc.SetModifiedFlag();
  EXPECT_TRUE(doc.FileSaveAs());
  EXPECT_EQ(host.log.last(), QStringLiteral("Saved: ") + other + QStringLiteral("/copy.png"));
  EXPECT_EQ(host.dialogTitles.last(), QStringLiteral("Save Image"));
  EXPECT_EQ(host.dialogFolders.last(), QStringLiteral("/old"));
  EXPECT_EQ(host.proposedNames.last(), QStringLiteral("castle.png"));
  EXPECT_EQ(ReadSetting(services.settings, Settings::kSaveFolder), other);
  EXPECT_EQ(doc.GetPathName(), In(QStringLiteral("castle.png")));
  EXPECT_FALSE(doc.IsModified());
  // Save As replaces what the user chose to replace.
  EXPECT_TRUE(doc.FileSaveAs());
  EXPECT_EQ(QDir(other).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("copy.png")});
  doc.FileSave();
  EXPECT_EQ(host.log.last(), QStringLiteral("Saved: ") + In(QStringLiteral("castle_0001.png")));
}

TEST_F(SaveLoad, SaveAsCancelledOrEmpty) {
  host.nextSavePath.clear();
  EXPECT_FALSE(doc.FileSaveAs());
  EXPECT_TRUE(host.log.isEmpty());
  host.nextSavePath = In(QStringLiteral("x.png"));
  EXPECT_FALSE(doc.FileSaveAs());  // no main image
  EXPECT_TRUE(host.log.isEmpty());
  EXPECT_FALSE(Exists(In(QStringLiteral("x.png"))));
  // File Save of an empty image names its attempt only.
  doc.SetPathName(In(QStringLiteral("y.png")));
  EXPECT_FALSE(doc.FileSave());
  EXPECT_EQ(host.log, QStringList{QStringLiteral("Saving image")});
}

TEST_F(SaveLoad, ProposedNameStopsAtTheFirstSeparator) {
  ASSERT_EQ(doc.m_mainImage.Create(2, 2, 24), kISOk);
  doc.SetTitle(QStringLiteral("a:b/c"));
  doc.FileSaveAs();
  doc.SetTitle(QString(300, u'n'));
  doc.FileSaveAs();
  EXPECT_EQ(host.proposedNames, (QStringList{QStringLiteral("a"), QString(256, u'n')}));
}

TEST_F(SaveLoad, FailedWriteIsReportedAndKeepsTheModifiedFlag) {
  OpenPicture(QStringLiteral("castle.png"));
  doc.SetModifiedFlag();
  host.nextSavePath = In(QStringLiteral("missing/out.png"));
  EXPECT_TRUE(doc.FileSaveAs());
  EXPECT_EQ(host.log.last(), QStringLiteral("Error: Can't save image: ") + host.nextSavePath);
  EXPECT_TRUE(doc.IsModified());
  host.nextSavePath = In(QStringLiteral("out.xyz"));  // no such type
  doc.FileSaveAs();
  EXPECT_EQ(host.log.last(), QStringLiteral("Error: Can't save image: ") + host.nextSavePath);
  EXPECT_FALSE(Exists(host.nextSavePath));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(Files(), QStringList{QStringLiteral("castle.png")});
}

TEST_F(SaveLoad, SaveChangesYesSavesBeforeOpening) {
  OpenPicture(QStringLiteral("castle.png"));
  ASSERT_TRUE(WritePicture(In(QStringLiteral("next.png")), 10, 10));
  doc.SetModifiedFlag();
  host.answers = {IDocumentHost::Answer::Yes};
  EXPECT_TRUE(doc.FileOpen(In(QStringLiteral("next.png"))));
  EXPECT_TRUE(Exists(In(QStringLiteral("castle_0001.png"))));
  EXPECT_EQ(doc.GetTitle(), QStringLiteral("next.png"));
}

TEST_F(SaveLoad, SaveChangesYesWithAFailedSaveKeepsTheDocument) {
  OpenPicture(QStringLiteral("castle.png"));
  ASSERT_TRUE(QDir().mkdir(In(QStringLiteral("sub"))));
  ASSERT_TRUE(WritePicture(In(QStringLiteral("sub/next.png")), 10, 10));
  doc.SetModifiedFlag();
  // Unwritable destination: the loaded file's folder became a file.
  ASSERT_TRUE(QDir(dir).removeRecursively());
  ASSERT_TRUE(testing_support::WriteFileBytes(dir.toStdString(), {'x'}));
  host.answers = {IDocumentHost::Answer::Yes};
  EXPECT_FALSE(doc.FileNew());
  EXPECT_TRUE(doc.m_mainImage.HasPixels());
  EXPECT_TRUE(doc.IsModified());
}

}  // namespace
