// Never losing work: a new background over unsaved work, allocations failing
// in merges and exports, saves without atomic claims, through links, bare names.
#include <unistd.h>

#include <QDir>

#include "image/lib/Imaging.h"
#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using A = IDocumentHost::Answer;

namespace {

QByteArray Bytes(const void* p, size_t n) { return QByteArray(static_cast<const char*>(p), n); }

class NoWorkLost : public DocTest {
 protected:
  // A fresh document with a merge under way on a 300 x 200 picture.
  void Merging(int rotating = 0) {
    SetUp();
    host.boxes.clear();
    ASSERT_TRUE(doc->FileOpen(Picture(300, 200, "main.png", 3)));
    doc->PlaceSlice(40, 30, 64, 64);
    if (rotating) doc->PlaceRotatedSlice(100, 60, 64, 64, 30);
    doc->ExportAndLock();
    doc->ImportFile(Picture(64, 64, "back.png", 9));
    doc->FillMask(120);
    Picture(64, 64, "again.png", 11);  // read by the cases, written before any hook
    Picture(30, 20, "cn.png", 12);
  }
  QString Picture(uint32_t w, uint32_t h, const std::string& name, uint32_t seed) {
    CISImageEx p;
    testing_support::MakeTestPicture(p, w, h, seed);
    return WritePng(p, name);
  }
  // What a user can see or get back of the document, and the folder's files.
  auto Take() const {
    const CQuiltorDoc& d = *doc;
    return std::make_tuple(
        Bytes(d.m_mainImage.Pixels(), size_t{3} * d.m_mainImage.m_width * d.m_mainImage.m_height),
        Bytes(d.m_mask.m_pixels.get(), size_t(d.m_mask.m_width) * d.m_mask.m_height),
        d.m_shadowImage.m_width, d.m_merge, d.m_locked, d.m_sliceCounter, d.IsModified(),
        QDir(Q(dir)).entryList(QDir::Files | QDir::Hidden));
  }
};

// Yes to the new background asks about the unsaved merge; Cancel keeps it all.
TEST_F(NoWorkLost, NewBackgroundAsksToSaveFirst) {
  for (A save : {A::Cancel, A::No, A::Yes}) {
    Merging();
    const QString background = Picture(100, 80, "bg.png", 4);
    const auto before = Take();
    host.answers = {A::Yes, save};
    doc->ImportFile(background);
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[1].text, QStringLiteral("Save changes to %1?").arg(Q(dir + "/main.png")));
    EXPECT_EQ(doc->m_mainImage.m_width, save == A::Cancel ? 300u : 100u);
    EXPECT_TRUE(save != A::Cancel || Take() == before);
    EXPECT_EQ(QFileInfo::exists(Q(dir + "/main_0001.png")), save == A::Yes);
  }
}

// Every allocation of the operation fails in turn: each failure is reported
// and leaves the document and the folder exactly as they were.
TEST_F(NoWorkLost, RunningOutOfMemoryChangesNothing) {
  using Step = void (*)(CQuiltorDoc&);
  const Step import = [](CQuiltorDoc& d) {
    d.ImportFile(d.m_sliceFolder + QStringLiteral("/again.png"));
  };
  struct Case {
    int rotating;
    bool applied;  // with the merge applied, a shadow and an enlarged export
    Step run;
    const char* error;
  } cases[] = {
      {0, false, import, "merge"},
      {1, false, import, "merge"},
      {0, true, [](CQuiltorDoc& d) { d.ExportAndLock(); }, "export"},
      {0, true, [](CQuiltorDoc& d) { d.ExportSmall(512); }, "export"},
      {0, true, [](CQuiltorDoc& d) { d.OpenShadowImage(); }, "load"},
  };
  for (const Case& c : cases) {
    int failures = 0;
    for (int skip = 0; skip < 40; ++skip) {
      Merging(c.rotating);
      if (c.applied) {
        doc->ApplyMerge();
        doc->m_zoom = 2;
        doc->CopyMainToShadow();
      }
      host.nextOpenPath = Q(dir + "/cn.png");
      const auto before = Take();
      host.log.clear();
      qimg::FailAllocationAfter(skip);
      c.run(*doc);
      qimg::FailAllocationAfter(-1);
      const QStringList errors = host.log.filter(QStringLiteral("Error: Not enough memory to "));
      if (errors.isEmpty()) break;  // every allocation succeeded
      failures += !errors.filter(QStringLiteral(" to %1 ").arg(QLatin1String(c.error))).isEmpty();
      EXPECT_TRUE(Take() == before) << c.error << " " << skip;
      EXPECT_EQ(host.boxes.back().text, errors.last());
    }
    EXPECT_GT(failures, 0) << c.error;
  }
}

TEST_F(NoWorkLost, SavingClaimsNamesWithoutReplacingAnything) {
  const QString file = Picture(40, 30, "castle", 2);  // no extension: numbered as PNG
  Picture(40, 30, "castle_0001.png", 5);
  const auto taken = testing_support::ReadFileBytes(dir + "/castle_0001.png");
  ASSERT_TRUE(doc->FileOpen(file));
  qimg::SetNoAtomicClaim(true);  // neither renameat2 nor links: created exclusively
  EXPECT_TRUE(doc->FileSave());
  EXPECT_TRUE(doc->FileSave());
  qimg::SetNoAtomicClaim(false);
  EXPECT_EQ(host.log.filter(QStringLiteral("Saved: ")),
            (QStringList{QStringLiteral("Saved: ") + Q(dir + "/castle_0002.png"),
                         QStringLiteral("Saved: ") + Q(dir + "/castle_0003.png")}));
  EXPECT_EQ(testing_support::ReadFileBytes(dir + "/castle_0001.png"), taken);

  // Save As onto a link writes its target; the link stays a link.
  ASSERT_TRUE(QDir().mkpath(Q(dir + "/real")));
  ASSERT_EQ(::symlink("real/castle_0001.png", (dir + "/link.png").c_str()), 0);
  ASSERT_TRUE(QFile::rename(Q(dir + "/castle_0001.png"), Q(dir + "/real/castle_0001.png")));
  host.nextSavePath = Q(dir + "/link.png");
  EXPECT_TRUE(doc->FileSaveAs());
  EXPECT_TRUE(QFileInfo(Q(dir + "/link.png")).isSymLink());
  CISImageEx saved;
  ASSERT_EQ(saved.Load(dir + "/real/castle_0001.png"), 0u);
  EXPECT_EQ(testing_support::MaxDifference(saved, doc->m_mainImage), 0);
}

}  // namespace
