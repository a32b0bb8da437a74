// The recovery journal: when it is written, replay after a crash, journals
// cut at and between record boundaries, damaged records, and a picture that
// changed since.
#include <sys/stat.h>
#include <sys/time.h>

#include <QDir>
#include <QFile>
#include <vector>

#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

std::vector<uint8_t> Bytes(const CISImageEx& im) {
  if (!im.HasPixels()) return {};
  return {im.Pixels(), im.Pixels() + size_t{3} * im.m_width * im.m_height};
}

class RecoveryTest : public DocTest {
 protected:
  void SetUp() override {
    DocTest::SetUp();
    folder = Q(dir + "/recovery");
    doc->Journal().SetFolder(folder);
    CISImageEx picture;
    MakeTestPicture(picture, 900, 700, 3);
    mainFile = WritePng(picture, "main.png");
    ASSERT_TRUE(doc->FileOpen(mainFile));
  }

  void Merge(int n, int x, int y, uint32_t seed) {
    doc->m_sliceX = x;
    doc->m_sliceY = y;
    doc->m_sliceWidth = doc->m_sliceHeight = n;
    doc->m_locked = 1;
    CISImageEx slice;
    MakeTestPicture(slice, n, n, seed);
    doc->ImportFile(WritePng(slice, "slice" + std::to_string(seed) + ".png"));
    ASSERT_EQ(doc->m_merge, 1);
  }

  QStringList Journals(const QString& in) const {
    return QDir(in).entryList({QStringLiteral("*.journal")}, QDir::Files);
  }

  // Three records (apply, apply, undo) with the main image after each.
  void ThreeRecords() {
    states.push_back(Bytes(doc->m_mainImage));
    Merge(256, 100, 100, 7);
    doc->FillMask(180);
    doc->ApplyMerge();
    states.push_back(Bytes(doc->m_mainImage));
    Merge(300, 500, 350, 8);
    doc->ApplyMerge();
    states.push_back(Bytes(doc->m_mainImage));
    doc->Undo();
    states.push_back(Bytes(doc->m_mainImage));
    journal = doc->Journal().Path();
    doc->Journal().Abandon();  // as a crash leaves it
  }

  // A second program's document recovering from a folder.
  struct Second {
    RecordingHost host;
    std::unique_ptr<CQuiltorDoc> doc;
  };
  std::unique_ptr<Second> Recover(const QString& from, IDocumentHost::Answer answer,
                                  bool* recovered) {
    auto s = std::make_unique<Second>();
    s->doc = std::make_unique<CQuiltorDoc>(s->host, services);
    s->doc->Journal().SetFolder(from);
    s->host.answers = {answer};
    *recovered = s->doc->OfferRecovery();
    return s;
  }

  QString folder, mainFile, journal;
  std::vector<std::vector<uint8_t>> states;
};

TEST_F(RecoveryTest, NothingIsWrittenUntilTheMainImageChangesAndSavingEndsTheJournal) {
  Merge(256, 100, 100, 7);
  EXPECT_TRUE(doc->IsModified());
  doc->FillMask(10);
  EXPECT_TRUE(Journals(folder).isEmpty());  // a merge under way changes nothing yet
  doc->ApplyMerge();
  ASSERT_EQ(Journals(folder).size(), 1);
  EXPECT_TRUE(QFile::exists(CRecoveryJournal::LockPathOf(doc->Journal().Path())));
  ASSERT_TRUE(doc->FileSave());
  EXPECT_TRUE(Journals(folder).isEmpty());
  EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());  // the lock too
  // After the save the journal starts again against the file just written.
  doc->Undo();
  ASSERT_EQ(Journals(folder).size(), 1);
  host.answers = {IDocumentHost::Answer::No};
  ASSERT_TRUE(doc->FileNew());
  EXPECT_TRUE(Journals(folder).isEmpty());
}

// Past twice the picture's bytes the journal becomes one record; it never
// grows far beyond that, and replays byte-exact with its steps undoable.
TEST_F(RecoveryTest, TheJournalCompactsAtTwiceThePictureAndStillRecovers) {
  CISImageEx small;
  MakeTestPicture(small, 160, 120, 4);
  ASSERT_TRUE(doc->FileOpen(WritePng(small, "small.png")));
  int64_t largest = 0, shrunk = 0;
  for (int i = 0; i < 24; ++i) {
    const int64_t before = doc->Journal().Size();
    Merge(48, (i * 37) % 112, (i * 23) % 72, 20 + i);
    doc->ApplyMerge();
    shrunk += doc->Journal().Size() < before;
    largest = std::max(largest, doc->Journal().Size());
  }
  EXPECT_GT(shrunk, 0);
  EXPECT_LE(largest, 2 * 160 * 120 * 3 + 48 * 48 * 3 + 1024);  // twice, and the last record
  const std::vector<uint8_t> last = Bytes(doc->m_mainImage);
  doc->Journal().Abandon();
  doc.reset();
  bool recovered = false;
  auto second = Recover(folder, IDocumentHost::Answer::Yes, &recovered);
  ASSERT_TRUE(recovered);
  EXPECT_TRUE(Bytes(second->doc->m_mainImage) == last);
  while (second->doc->CanUndo()) second->doc->Undo();
  EXPECT_TRUE(Bytes(second->doc->m_mainImage) == Bytes(small));
}

TEST_F(RecoveryTest, ARunningProgramsJournalIsNotOffered) {
  Merge(256, 100, 100, 7);
  doc->ApplyMerge();
  bool recovered = true;
  auto second = Recover(folder, IDocumentHost::Answer::Yes, &recovered);
  EXPECT_FALSE(recovered);
  EXPECT_TRUE(second->host.boxes.empty());
  EXPECT_EQ(Journals(folder).size(), 1);
}

TEST_F(RecoveryTest, YesReplaysEveryRecordByteExact) {
  doc->m_sliceCounter = 5;
  doc->m_sliceFolder = QStringLiteral("/somewhere/slices");
  ThreeRecords();
  doc.reset();  // a document without an open journal leaves the files alone
  bool recovered = false;
  auto second = Recover(folder, IDocumentHost::Answer::Yes, &recovered);
  ASSERT_TRUE(recovered);
  ASSERT_EQ(second->host.boxes.size(), 1u);
  EXPECT_EQ(second->host.boxes[0].text,
            QStringLiteral("Quiltor closed without saving. Recover the unsaved work on main.png?"));
  EXPECT_EQ(second->host.boxes[0].buttons, IDocumentHost::Buttons::YesNo);
  CQuiltorDoc& d = *second->doc;
  EXPECT_TRUE(Bytes(d.m_mainImage) == states.back());
  EXPECT_TRUE(d.IsModified());
  EXPECT_EQ(d.GetPathName(), mainFile);
  EXPECT_EQ(d.m_sliceCounter, 5);
  EXPECT_EQ(d.m_sliceFolder, QStringLiteral("/somewhere/slices"));
  EXPECT_EQ(d.m_sliceX, 500);
  EXPECT_EQ(d.m_sliceWidth, 300);
  // The history as it was: the undone apply to redo, the first to undo.
  d.Redo();
  EXPECT_TRUE(Bytes(d.m_mainImage) == states[2]);
  d.Undo();
  d.Undo();
  EXPECT_TRUE(Bytes(d.m_mainImage) == states[0] && !d.CanUndo());
  d.Redo();
  // The recovered work goes on in the same journal, now the second program's.
  ASSERT_EQ(Journals(folder).size(), 1);
  d.m_sliceX = 0;
  d.m_sliceY = 0;
  d.m_sliceWidth = d.m_sliceHeight = 256;
  d.m_locked = 1;
  CISImageEx slice;
  MakeTestPicture(slice, 256, 256, 9);
  d.ImportFile(WritePng(slice, "late.png"));
  d.ApplyMerge();
  const std::vector<uint8_t> expected = Bytes(d.m_mainImage);
  d.Journal().Abandon();
  second.reset();
  auto third = Recover(folder, IDocumentHost::Answer::Yes, &recovered);
  ASSERT_TRUE(recovered);
  EXPECT_TRUE(Bytes(third->doc->m_mainImage) == expected);
}

TEST_F(RecoveryTest, NoDiscardsTheJournal) {
  ThreeRecords();
  bool recovered = true;
  auto second = Recover(folder, IDocumentHost::Answer::No, &recovered);
  EXPECT_FALSE(recovered);
  EXPECT_EQ(second->host.boxes.size(), 1u);
  EXPECT_FALSE(second->doc->m_mainImage.HasPixels());
  EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
}

TEST_F(RecoveryTest, ACutJournalRecoversExactlyItsCompleteRecords) {
  ThreeRecords();
  const std::vector<uint8_t> bytes = ReadFileBytes(journal.toStdString());
  std::vector<int64_t> ends;  // after the header, then after each record
  {
    CJournalReader reader;
    ASSERT_TRUE(reader.Open(journal));
    ends.push_back(reader.GoodEnd());
    JournalRecord r;
    while (reader.Next(r)) ends.push_back(reader.GoodEnd());
    EXPECT_FALSE(reader.Damaged());
  }
  ASSERT_EQ(ends.size(), 4u);
  ASSERT_EQ(ends.back(), static_cast<int64_t>(bytes.size()));
  std::vector<int64_t> cuts = {0, 5, ends[0] / 2};
  for (size_t k = 0; k < ends.size(); ++k) {
    cuts.push_back(ends[k]);
    if (k + 1 < ends.size())
      for (int64_t inside :
           {ends[k] + 1, ends[k] + 9, (ends[k] + ends[k + 1]) / 2, ends[k + 1] - 1})
        cuts.push_back(inside);
  }
  int n = 0;
  for (int64_t cut : cuts) {
    const QString caseFolder = Q(dir + "/cut" + std::to_string(n++));
    QDir().mkpath(caseFolder);
    ASSERT_TRUE(WriteFileBytes((caseFolder + QStringLiteral("/99999-1.journal")).toStdString(),
                               std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut)));
    // The records wholly inside the cut.
    size_t complete = 0;
    while (complete + 1 < ends.size() && ends[complete + 1] <= cut) ++complete;
    bool recovered = false;
    auto second = Recover(caseFolder, IDocumentHost::Answer::Yes, &recovered);
    SCOPED_TRACE("cut at " + std::to_string(cut));
    if (complete == 0) {
      // Nothing to recover: no question, and the journal goes.
      EXPECT_FALSE(recovered);
      EXPECT_TRUE(second->host.boxes.empty());
      EXPECT_TRUE(Journals(caseFolder).isEmpty());
      continue;
    }
    ASSERT_TRUE(recovered);
    EXPECT_TRUE(Bytes(second->doc->m_mainImage) == states[complete]);
  }
}

TEST_F(RecoveryTest, ADamagedRecordStopsTheReplayThere) {
  ThreeRecords();
  std::vector<int64_t> ends;
  {
    CJournalReader reader;
    ASSERT_TRUE(reader.Open(journal));
    ends.push_back(reader.GoodEnd());
    JournalRecord r;
    while (reader.Next(r)) ends.push_back(reader.GoodEnd());
  }
  const std::vector<uint8_t> clean = ReadFileBytes(journal.toStdString());
  // A flipped bit in the second record's pixels, then in its checksum.
  for (int64_t at : {(ends[1] + ends[2]) / 2, ends[2] - 2}) {
    std::vector<uint8_t> bytes = clean;
    bytes[static_cast<size_t>(at)] ^= 0x10;
    ASSERT_TRUE(WriteFileBytes(journal.toStdString(), bytes));
    bool recovered = false;
    auto second = Recover(folder, IDocumentHost::Answer::Yes, &recovered);
    ASSERT_TRUE(recovered);
    EXPECT_TRUE(Bytes(second->doc->m_mainImage) == states[1]);
    // The journal carried on holds only what was recovered.
    const QStringList left = Journals(folder);
    ASSERT_EQ(left.size(), 1);
    const QString adopted = folder + u'/' + left[0];
    EXPECT_EQ(QFileInfo(adopted).size(), ends[1]);
    second->doc->Journal().Abandon();
    second.reset();
    QFile::rename(adopted, journal);
  }
}

TEST_F(RecoveryTest, AJournalOfAPictureThatChangedIsRefused) {
  ThreeRecords();
  const std::vector<uint8_t> original = ReadFileBytes(mainFile.toStdString());
  CISImageEx other;
  MakeTestPicture(other, 900, 700, 77);
  WritePng(other, "main.png");
  bool recovered = true;
  auto second = Recover(folder, IDocumentHost::Answer::Yes, &recovered);
  EXPECT_FALSE(recovered);
  ASSERT_EQ(second->host.boxes.size(), 2u);
  EXPECT_EQ(second->host.boxes[1].text,
            QStringLiteral("main.png has changed since the work was done; the unsaved work was "
                           "not recovered."));
  EXPECT_FALSE(second->doc->m_mainImage.HasPixels());
  EXPECT_FALSE(second->doc->IsModified());
  EXPECT_TRUE(Journals(folder).isEmpty());

  // The same bytes with only a new time are refused as well.
  ASSERT_TRUE(WriteFileBytes(mainFile.toStdString(), original));
  doc = std::make_unique<CQuiltorDoc>(host, services);
  doc->Journal().SetFolder(folder);
  ASSERT_TRUE(doc->FileOpen(mainFile));
  states.clear();
  ThreeRecords();
  struct timeval times[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(::utimes(mainFile.toLocal8Bit().constData(), times), 0);
  second = Recover(folder, IDocumentHost::Answer::Yes, &recovered);
  EXPECT_FALSE(recovered);
  EXPECT_FALSE(second->doc->m_mainImage.HasPixels());
}

TEST_F(RecoveryTest, NotAJournalIsDiscardedWithoutAQuestion) {
  QDir().mkpath(folder);
  ASSERT_TRUE(WriteFileBytes((folder + QStringLiteral("/1-1.journal")).toStdString(),
                             std::vector<uint8_t>(300, 'x')));
  bool recovered = true;
  auto second = Recover(folder, IDocumentHost::Answer::Yes, &recovered);
  EXPECT_FALSE(recovered);
  EXPECT_TRUE(second->host.boxes.empty());
  EXPECT_TRUE(Journals(folder).isEmpty());
}

}  // namespace
