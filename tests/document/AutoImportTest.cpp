// Auto Import through the document, with real files, the file system watcher
// and the event loop: files written slowly, before the lock, one after
// another, and a missing folder.
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QThread>

#include "document/AutoImport.h"
#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;
using testing_support::MaxDifference;

namespace {

// The watcher and the timers need an application object and its loop.
QCoreApplication& Application() {
  static int argc = 1;
  static char name[] = "document_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

void RunLoopFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Runs the loop until done() holds or ms have passed.
template <class Done>
bool RunLoopUntil(Done done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) RunLoopFor(20);
  return done();
}

class AutoImportTest : public DocTest {
 protected:
  void SetUp() override {
    Application();
    DocTest::SetUp();
    ForgetOption();
    SetMain(1200, 900);
    doc->m_sliceX = 200;
    doc->m_sliceY = 100;
    folder = Q(dir) + QStringLiteral("/img2img");
    ASSERT_TRUE(QDir().mkpath(folder));
    field = folder;
    auto_ = std::make_unique<CAutoImport>(*doc, services.settings, [this] { return field; });
    auto_->SetOnChanged([this](bool on) { changes.push_back(on); });
  }
  void TearDown() override {
    auto_.reset();
    ForgetOption();
  }
  static void ForgetOption() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvandel"),
              QStringLiteral("Quiltor"))
        .remove(QStringLiteral("Settings/AutoImport"));
  }

  // A 512 x 512 PNG's bytes.
  QByteArray PngBytes(uint32_t seed, CISImageEx* picture = nullptr) {
    CISImageEx p;
    MakeTestPicture(p, 512, 512, seed);
    const QString path = Q(dir) + QStringLiteral("/encoded.png");
    EXPECT_EQ(p.SaveFile(path.toStdString(), kFilePNG), 0u);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    if (picture) picture->TakeOver(p);
    return f.readAll();
  }
  // Writes bytes into the img2img folder in pieces, with the loop running
  // pauseMs between them.
  void WriteSlowly(const QString& name, const QByteArray& bytes, int pieces, int pauseMs) {
    QFile f(folder + u'/' + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const qsizetype step = (bytes.size() + pieces - 1) / pieces;
    for (qsizetype at = 0; at < bytes.size(); at += step) {
      f.write(bytes.mid(at, step));
      f.flush();
      if (at + step < bytes.size()) RunLoopFor(pauseMs);
    }
  }
  int AutoLines() const {
    return int(std::count_if(host.log.begin(), host.log.end(), [](const QString& l) {
      return l.startsWith(QStringLiteral("Auto Import: "));
    }));
  }

  QString folder, field;
  std::unique_ptr<CAutoImport> auto_;
  std::vector<bool> changes;
};

TEST_F(AutoImportTest, OffByDefaultAndStored) {
  EXPECT_FALSE(auto_->IsOn());
  auto_->SetOn(true);
  EXPECT_EQ(
      services.settings.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("AutoImport"), -1),
      1);
  CAutoImport second(*doc, services.settings, [this] { return field; });
  EXPECT_TRUE(second.IsOn());
  auto_->SetOn(false);
  EXPECT_EQ(
      services.settings.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("AutoImport"), -1),
      0);
}

TEST_F(AutoImportTest, SlowlyWrittenFileIsImportedOnceAndComplete) {
  auto_->SetOn(true);
  doc->LockSlice();
  RunLoopFor(150);
  ASSERT_TRUE(auto_->IsWatching());
  CISImageEx picture;
  const QByteArray bytes = PngBytes(3, &picture);
  // Pieces 150 ms apart, then a pause longer than the settling time with the
  // file still missing its end.
  WriteSlowly(QStringLiteral("00001.png"), bytes.left(bytes.size() / 2), 4, 150);
  RunLoopFor(600);
  EXPECT_EQ(AutoLines(), 0);
  EXPECT_EQ(doc->m_merge, 0);
  {
    QFile f(folder + QStringLiteral("/00001.png"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(bytes.mid(bytes.size() / 2));
  }
  ASSERT_TRUE(RunLoopUntil([&] { return doc->m_merge == 1; }, 5000));
  RunLoopFor(1300);  // a rescan later it is still taken once
  const QString path = folder + QStringLiteral("/00001.png");
  EXPECT_EQ(AutoLines(), 1);
  const int at = int(host.log.indexOf(QStringLiteral("Auto Import: ") + path));
  ASSERT_GE(at, 0);
  ASSERT_LT(at + 1, host.log.size());
  EXPECT_EQ(host.log[at + 1], QStringLiteral("Load & Merge Slice: ") + path);
  EXPECT_EQ(MaxDifference(doc->m_sliceImage, picture), 0);
  EXPECT_EQ(services.settings.GetProfileString(QStringLiteral("Settings"),
                                               QStringLiteral("ImportPath"), QString()),
            folder + u'/');
}

TEST_F(AutoImportTest, FileWrittenBeforeTheLockIsNeverImported) {
  auto_->SetOn(true);
  WriteSlowly(QStringLiteral("old.png"), PngBytes(4), 1, 0);
  RunLoopFor(500);
  EXPECT_FALSE(auto_->IsWatching());  // on outside a lock: waiting
  doc->LockSlice();
  RunLoopFor(1500);
  EXPECT_EQ(AutoLines(), 0);
  EXPECT_EQ(doc->m_merge, 0);
  // Touched after the lock it still counts as old.
  {
    QFile f(folder + QStringLiteral("/old.png"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("x", 0);
  }
  // A new one is taken.
  WriteSlowly(QStringLiteral("new.png"), PngBytes(5), 1, 0);
  ASSERT_TRUE(RunLoopUntil([&] { return doc->m_merge == 1; }, 5000));
  EXPECT_EQ(AutoLines(), 1);
  EXPECT_TRUE(
      host.log.contains(QStringLiteral("Auto Import: ") + folder + QStringLiteral("/new.png")));
}

TEST_F(AutoImportTest, TwoFilesInARowEachReplaceTheLastMerge) {
  doc->LockSlice();
  auto_->SetOn(true);  // on during a lock: watching at once
  ASSERT_TRUE(auto_->IsWatching());
  CISImageEx first, second;
  WriteSlowly(QStringLiteral("a.png"), PngBytes(6, &first), 1, 0);
  ASSERT_TRUE(RunLoopUntil([&] { return AutoLines() == 1; }, 5000));
  EXPECT_EQ(MaxDifference(doc->m_sliceImage, first), 0);
  CISImageEx afterFirst;
  afterFirst.CopyFrom(doc->m_mainImage);
  WriteSlowly(QStringLiteral("b.png"), PngBytes(7, &second), 1, 0);
  ASSERT_TRUE(RunLoopUntil([&] { return AutoLines() == 2; }, 5000));
  EXPECT_EQ(MaxDifference(doc->m_sliceImage, second), 0);
  EXPECT_TRUE(host.log.contains(QStringLiteral("Replace last Merge with new slice")));
  EXPECT_EQ(doc->m_merge, 1);
  ExpectConsistentBlend(*doc);
  EXPECT_GT(MaxDifference(doc->m_mainImage, afterFirst), 0);
  // Apply Merge frees the square: the watch ends until the next lock.
  doc->ApplyMerge();
  RunLoopFor(200);
  EXPECT_FALSE(auto_->IsWatching());
  WriteSlowly(QStringLiteral("c.png"), PngBytes(8), 1, 0);
  RunLoopFor(800);
  EXPECT_EQ(AutoLines(), 2);
}

TEST_F(AutoImportTest, MissingFolderIsReportedOnceAndTurnsTheOptionOff) {
  field = folder + QStringLiteral("/nowhere");
  auto_->SetOn(true);
  doc->LockSlice();
  RunLoopFor(400);
  EXPECT_EQ(host.log.count(QStringLiteral("Error: Img2img folder does not exist: ") + field), 1);
  EXPECT_FALSE(auto_->IsOn());
  EXPECT_EQ(changes, std::vector<bool>{false});
  EXPECT_EQ(
      services.settings.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("AutoImport"), -1),
      0);
  // An empty field counts as missing too.
  field.clear();
  auto_->SetOn(true);
  EXPECT_TRUE(host.log.contains(QStringLiteral("Error: Img2img folder does not exist: ")));
  EXPECT_FALSE(auto_->IsOn());
}

TEST_F(AutoImportTest, BrokenOrEmptyFilesAreNotTaken) {
  doc->LockSlice();
  auto_->SetOn(true);
  const QByteArray bytes = PngBytes(9);
  WriteSlowly(QStringLiteral("cut.png"), bytes.left(bytes.size() - 1), 1, 0);
  WriteSlowly(QStringLiteral("empty.png"), QByteArray(), 1, 0);
  WriteSlowly(QStringLiteral("notes.txt"), QByteArray("text"), 1, 0);
  RunLoopFor(1300);
  EXPECT_EQ(AutoLines(), 0);
  EXPECT_FALSE(CAutoImport::EndsWithIend(folder + QStringLiteral("/cut.png")));
  EXPECT_FALSE(CAutoImport::EndsWithIend(folder + QStringLiteral("/missing.png")));
  WriteSlowly(QStringLiteral("whole.png"), bytes, 1, 0);
  EXPECT_TRUE(CAutoImport::EndsWithIend(folder + QStringLiteral("/whole.png")));
}

}  // namespace
