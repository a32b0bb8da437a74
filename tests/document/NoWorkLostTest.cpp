// Paths that must never lose work: a new background over unsaved work, any
// allocation failing in a merge or an export, and saving where the file
// system offers no atomic claim, through a link or without an extension.
#include <unistd.h>

#include <QDir>
#include <functional>

#include "image/lib/Imaging.h"
#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::ReadFileBytes;
using A = IDocumentHost::Answer;

namespace {

std::vector<uint8_t> Bytes(const CISImageEx& im) {
  if (!im.HasPixels()) return {};
  return {im.Pixels(), im.Pixels() + size_t{3} * im.m_width * im.m_height};
}
std::vector<uint8_t> Bytes(const CQuickBitmap8& m) {
  if (!m.HasPixels()) return {};
  return {m.m_pixels.get(), m.m_pixels.get() + size_t(m.m_width) * m.m_height};
}

class NoWorkLost : public DocTest {
 protected:
  // A new document, folder and record for each case of a table.
  void Fresh() {
    SetUp();
    host.log.clear();
    host.boxes.clear();
    host.answers.clear();
  }
  // A merge under way on a 300 x 200 picture loaded from main.png.
  void Merging(int rotating = 0) {
    CISImageEx picture;
    MakeTestPicture(picture, 300, 200, 3);
    ASSERT_TRUE(doc->FileOpen(WritePng(picture, "main.png")));
    doc->PlaceSlice(40, 30, 64, 64);
    if (rotating) doc->PlaceRotatedSlice(100, 60, 64, 64, 30);
    doc->ExportAndLock();
    doc->ImportFile(Picture(64, 64, "back.png", 9));
    doc->FillMask(120);
    ASSERT_EQ(doc->m_merge, 1);
  }
  QString Picture(uint32_t w, uint32_t h, const std::string& name, uint32_t seed) {
    CISImageEx p;
    MakeTestPicture(p, w, h, seed);
    return WritePng(p, name);
  }
  // What a user can see or get back of the document, and the folder's files.
  struct Snapshot {
    std::vector<uint8_t> main, mask, shadow;
    int merge, locked, counter;
    bool modified;
    QStringList files;
    bool operator==(const Snapshot&) const = default;
  };
  Snapshot Take() const {
    return {Bytes(doc->m_mainImage),
            Bytes(doc->m_mask),
            Bytes(doc->m_shadowImage),
            doc->m_merge,
            doc->m_locked,
            doc->m_sliceCounter,
            doc->IsModified(),
            QDir(Q(dir)).entryList(QDir::Files | QDir::Hidden)};
  }
};

// Yes to the new background asks about the unsaved merge; Cancel keeps it all.
TEST_F(NoWorkLost, NewBackgroundAsksToSaveFirst) {
  struct Case {
    A save;
    bool replaced;
    const char* saved;  // the file a Yes wrote
  } cases[] = {
      {A::Cancel, false, nullptr}, {A::No, true, nullptr}, {A::Yes, true, "main_0001.png"}};
  for (const Case& c : cases) {
    Fresh();
    Merging();
    const QString background = Picture(100, 80, "bg.png", 4);
    const Snapshot before = Take();
    host.answers = {A::Yes, c.save};
    doc->ImportFile(background);
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[1].text, QStringLiteral("Save changes to %1?").arg(Q(dir + "/main.png")));
    EXPECT_EQ(doc->m_mainImage.m_width, c.replaced ? 100u : 300u);
    EXPECT_TRUE(c.replaced || Take() == before);
    EXPECT_TRUE(!c.saved || QFileInfo::exists(Q(dir + "/" + c.saved)));
  }
}

// Every allocation of the operation fails in turn: each failure is reported
// and leaves the document and the folder exactly as they were.
TEST_F(NoWorkLost, RunningOutOfMemoryChangesNothing) {
  using Step = std::function<void(CQuiltorDoc&)>;
  const Step nothing = [](CQuiltorDoc&) {};
  const Step applied = [](CQuiltorDoc& d) {
    d.ApplyMerge();
    d.m_zoom = 2;  // the enlarged picture too
    d.CopyMainToShadow();
  };
  struct Case {
    const char* name;
    int rotating;
    Step prepare, run;
    const char* error;
  } cases[] = {
      {"replace merge", 0, nothing, [this](CQuiltorDoc& d) { d.ImportFile(Q(dir + "/again.png")); },
       "merge"},
      {"rotating merge", 1, nothing,
       [this](CQuiltorDoc& d) { d.ImportFile(Q(dir + "/again.png")); }, "merge"},
      {"export", 0, applied, [](CQuiltorDoc& d) { d.ExportAndLock(); }, "export"},
      {"export small", 0, applied, [](CQuiltorDoc& d) { d.ExportSmall(512); }, "export"},
      {"shadow copy", 0, nothing, [](CQuiltorDoc& d) { d.CopyMainToShadow(); }, "copy"},
      {"shadow load", 0, applied,
       [this](CQuiltorDoc& d) {
         host.nextOpenPath = Q(dir + "/cn.png");
         d.OpenShadowImage();
       },
       "load"},
  };
  for (const Case& c : cases) {
    int failures = 0;
    for (int skip = 0; skip < 40; ++skip) {
      Fresh();
      Merging(c.rotating);
      c.prepare(*doc);
      Picture(64, 64, "again.png", 11);  // the files read, written before the hook
      Picture(30, 20, "cn.png", 12);
      const Snapshot before = Take();
      host.log.clear();
      qimg::FailAllocationAfter(skip);
      c.run(*doc);
      qimg::FailAllocationAfter(-1);
      const QStringList errors = host.log.filter(QStringLiteral("Error: Not enough memory to "));
      if (errors.isEmpty()) break;  // every allocation succeeded
      failures += !errors.filter(QStringLiteral(" to %1 ").arg(QLatin1String(c.error))).isEmpty();
      EXPECT_TRUE(Take() == before) << c.name << " " << skip;
      EXPECT_EQ(host.boxes.back().text, errors.last()) << c.name;
    }
    EXPECT_GT(failures, 0) << c.name;
  }
}

TEST_F(NoWorkLost, SavingClaimsNamesWithoutReplacingAnything) {
  CISImageEx picture;
  MakeTestPicture(picture, 40, 30, 2);
  WritePng(picture, "castle.png");
  ASSERT_EQ(::rename((dir + "/castle.png").c_str(), (dir + "/castle").c_str()), 0);
  WritePng(picture, "castle_0001.png");
  const auto taken = ReadFileBytes(dir + "/castle_0001.png");
  ASSERT_TRUE(doc->FileOpen(Q(dir + "/castle")));
  // Neither renameat2 nor links: the name is created exclusively.
  qimg::SetNoAtomicClaim(true);
  EXPECT_TRUE(doc->FileSave());
  EXPECT_TRUE(doc->FileSave());
  qimg::SetNoAtomicClaim(false);
  EXPECT_EQ(host.log.filter(QStringLiteral("Saved: ")),
            (QStringList{QStringLiteral("Saved: ") + Q(dir + "/castle_0002.png"),
                         QStringLiteral("Saved: ") + Q(dir + "/castle_0003.png")}));
  EXPECT_EQ(ReadFileBytes(dir + "/castle_0001.png"), taken);
  CISImageEx saved;
  ASSERT_EQ(saved.Load(dir + "/castle_0003.png"), 0u);
  EXPECT_EQ(testing_support::MaxDifference(saved, picture), 0);
  EXPECT_FALSE(QDir(Q(dir)).entryList(QDir::Hidden | QDir::Files).join(u' ').contains(u".part"));

  // Save As onto a link writes its target; the link stays a link.
  ASSERT_TRUE(QDir().mkpath(Q(dir + "/real")));
  WritePng(picture, "real/target.png");
  ASSERT_EQ(::symlink("real/target.png", (dir + "/link.png").c_str()), 0);
  doc->m_mainImage.Pixels()[0] ^= 0xFF;
  host.nextSavePath = Q(dir + "/link.png");
  EXPECT_TRUE(doc->FileSaveAs());
  EXPECT_TRUE(QFileInfo(Q(dir + "/link.png")).isSymLink());
  ASSERT_EQ(saved.Load(dir + "/real/target.png"), 0u);
  EXPECT_EQ(testing_support::MaxDifference(saved, doc->m_mainImage), 0);
}

}  // namespace
