// The Slicer dialog driven by widget input: its controls, slice buttons,
// Export && Lock, the folder choosers, Quick Import, Find Most Recent and the
// history list.
#include <utime.h>

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "document/QuiltorDoc.h"
#include "document/RecordingHost.h"
#include "document/SettingsStore.h"
#include "panes/ColorButton.h"
#include "panes/LeftDialog.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {

void SetTime(const QString& path, time_t when) {
  utimbuf t{when, when};
  QVERIFY(utime(QFile::encodeName(path).constData(), &t) == 0);
}

void WriteText(const QString& path) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write("x");
}

}  // namespace

class LeftDialogTest : public QObject {
  Q_OBJECT
  std::unique_ptr<RecordingHost> host;
  std::unique_ptr<CQuiltorServices> services;
  std::unique_ptr<CQuiltorDoc> doc;
  std::unique_ptr<CLeftDialog> dialog;

  QPushButton* Button(int id) { return qobject_cast<QPushButton*>(dialog->Control(id)); }
  QLineEdit* Field(int id) { return qobject_cast<QLineEdit*>(dialog->Control(id)); }
  QListWidget* List() { return qobject_cast<QListWidget*>(dialog->Control(SlicerId::kHistory)); }
  void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
  void ClickEntry(int row, bool twice = false) {
    const QPoint at = List()->visualItemRect(List()->item(row)).center();
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
      // a real double-click: press and release, then the double-click and its release
      QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseRelease(List()->viewport(), Qt::LeftButton, {}, at);
    }
  }
  void MainImage(uint32_t w, uint32_t h) {
    QVERIFY(doc->m_mainImage.Create(w, h, 24) == 0);
    doc->m_backupImage.CopyFrom(doc->m_mainImage);
  }
  void Open() {
    dialog = std::make_unique<CLeftDialog>(*doc, *services);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  }

 private slots:
  void init() {
    ClearSettings();
    host = std::make_unique<RecordingHost>();
    services = std::make_unique<CQuiltorServices>();
    doc = std::make_unique<CQuiltorDoc>(*host, *services);
    Open();
  }
  void cleanup() {
    dialog.reset();
    doc.reset();
  }

  void controlsOfTheTemplate() {
    for (const TemplateControl& c : SlicerTemplate()) {
      auto* w = dialog->findChild<QWidget*>(QString::fromUtf8(c.objectName));
      QVERIFY2(w, c.objectName);
      if (c.id != kNoId) QCOMPARE(dialog->Control(c.id), w);
      const QRect px = DialogToPixels(QRect(c.x, c.y, c.width, c.height), dialog->BaseUnits());
      QCOMPARE(w->geometry().top(), px.top());
      if (auto* b = qobject_cast<QPushButton*>(w))
        QCOMPARE(b->text(), QString::fromUtf8(c.caption));
      if (auto* l = qobject_cast<QLabel*>(w)) QCOMPARE(l->text(), QString::fromUtf8(c.caption));
    }
    QCOMPARE(qobject_cast<CColorButton*>(Button(SlicerId::k512))->m_crColor, QColor(214, 230, 248));
    QCOMPARE(qobject_cast<CColorButton*>(Button(SlicerId::kExportAndLock))->m_crColor,
             QColor(247, 204, 210));
    QCOMPARE(qobject_cast<CColorButton*>(Button(SlicerId::kQuickImport))->m_crColor,
             QColor(204, 247, 209));
    const std::pair<int, const char*> names[] = {
        {SlicerId::kSliceFolder, "Slice folder"},
        {SlicerId::kImportFolder, "Img2img folder"},
        {SlicerId::kImportRoot, "Img2img root (*if using subfolders)"},
        {SlicerId::kHistory, "Slice history:"},
        {SlicerId::kExportAndLock, "Export & Lock"},
        {SlicerId::kFindMostRecent, "Find Most Recent subfolder"},
        {SlicerId::kSliceFolderBrowse, "..."}};
    for (const auto& [id, name] : names) {
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(dialog->Control(id));
      QVERIFY(a);
      QCOMPARE(a->text(QAccessible::Name), QString::fromUtf8(name));
    }
    QCOMPARE(List()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  }

  void fieldsFromTheSettings() {
    const QString slices = Home() + QStringLiteral("/Documents/Quiltor/slices");
    QCOMPARE(Field(SlicerId::kSliceFolder)->text(), slices);
    QVERIFY(QFileInfo(slices).isDir());
    QVERIFY(Field(SlicerId::kImportFolder)->text().isEmpty());
    WriteSetting(services->settings, Settings::kSlicePath, QStringLiteral("/s"));
    WriteSetting(services->settings, Settings::kImportPath, QStringLiteral("/i/"));
    WriteSetting(services->settings, Settings::kImportRoot, QStringLiteral("/r"));
    Open();
    QCOMPARE(Field(SlicerId::kSliceFolder)->text(), QStringLiteral("/s"));
    QCOMPARE(Field(SlicerId::kImportFolder)->text(), QStringLiteral("/i/"));
    QCOMPARE(Field(SlicerId::kImportRoot)->text(), QStringLiteral("/r"));
  }

  void sliceButtons_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("rotating");
    QTest::addColumn<int>("zoom");
    QTest::newRow("256x2") << SlicerId::k256x2 << 256 << 0 << 2;
    QTest::newRow("128x4") << SlicerId::k128x4 << 128 << 0 << 4;
    QTest::newRow("512") << SlicerId::k512 << 512 << 0 << 1;
    QTest::newRow("1024") << SlicerId::k1024 << 1024 << 0 << 1;
    QTest::newRow("2048") << SlicerId::k2048 << 2048 << 0 << 1;
    QTest::newRow("rotating 512") << SlicerId::kRotating512 << 512 << 1 << 1;
    QTest::newRow("rotating 1024") << SlicerId::kRotating1024 << 1024 << 1 << 1;
  }
  void sliceButtons() {
    QFETCH(int, id);
    QFETCH(int, size);
    QFETCH(int, rotating);
    QFETCH(int, zoom);
    MainImage(3000, 2000);
    Click(id);
    QCOMPARE(doc->m_sliceWidth, size);
    QCOMPARE(doc->m_sliceX, (3000 - size) / 2);
    QCOMPARE(int(doc->m_rotating), rotating);
    QCOMPARE(doc->m_zoom, zoom);
  }

  void exportLockAndCancel() {
    MainImage(1000, 800);
    Click(SlicerId::k512);
    const QString folder = TempFolder();
    Field(SlicerId::kSliceFolder)->setText(folder);
    Click(SlicerId::kExportAndLock);
    QCOMPARE(doc->m_sliceFolder, folder);
    QCOMPARE(dialog->History(), QStringList{QStringLiteral("slice_001_(244,144,512,512).png")});
    QVERIFY(QFile::exists(folder + QStringLiteral("/slice_001_(244,144,512,512).png")));
    // refused while locked: no entry
    Click(SlicerId::kExportAndLock);
    QCOMPARE(dialog->History().size(), 1);
    Click(SlicerId::kCancelLock);
    QCOMPARE(int(doc->m_locked), 0);
    QCOMPARE(host->log.last(), QStringLiteral("Lock mode cancelled"));
    Click(SlicerId::kLock);
    QCOMPARE(int(doc->m_locked), 1);
    QCOMPARE(host->log.last(), QStringLiteral("Lock current place"));
  }

  void historySelectionAndDoubleClick() {
    MainImage(3000, 2000);
    dialog->AddHistory(QStringLiteral("slice_003_(1200,800,512,512).png"));
    dialog->AddHistory(QStringLiteral("rotate_004_(300,250,1024,1024,35).png"));
    ClickEntry(0);
    QCOMPARE(doc->m_sliceX, 1200);
    QCOMPARE(doc->m_sliceY, 800);
    QCOMPARE(int(doc->m_rotating), 0);
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_Down);
    QCOMPARE(doc->m_sliceX, 300);
    QCOMPARE(doc->m_sliceWidth, 1024);
    QCOMPARE(doc->m_angle, 35);
    QCOMPARE(int(doc->m_rotating), 1);

    // locked: the selection changes nothing; a double-click locks again
    doc->LockSlice();
    const QStringList log = host->log;
    ClickEntry(0);
    QCOMPARE(doc->m_sliceX, 300);
    ClickEntry(0, true);
    QCOMPARE(doc->m_sliceX, 300);
    QCOMPARE(int(doc->m_locked), 1);
    QCOMPARE(host->log, log);

    // unlocked: a double-click places and locks without a log line
    doc->CancelLock();
    const QStringList log2 = host->log;
    ClickEntry(1, true);
    QCOMPARE(doc->m_sliceX, 300);
    QCOMPARE(int(doc->m_rotating), 1);
    QCOMPARE(int(doc->m_locked), 1);
    QCOMPARE(host->log, log2);
    // the selected entry clicked again places it again
    doc->CancelLock();
    doc->m_sliceX = 5;
    ClickEntry(1);
    QCOMPARE(doc->m_sliceX, 300);
  }

  void quickImportTakesTheFirstOfEqualTimes() {
    const QString folder = TempFolder();
    QVERIFY(WritePicture(folder + QStringLiteral("/a.png"), 40, 30, 1));
    QVERIFY(WritePicture(folder + QStringLiteral("/b.png"), 40, 30, 2));
    QVERIFY(WritePicture(folder + QStringLiteral("/c.png"), 40, 30, 3));
    WriteText(folder + QStringLiteral("/newer.txt"));
    for (const char* n : {"/a.png", "/b.png", "/c.png"})
      SetTime(folder + QString::fromUtf8(n), 1700000000);
    SetTime(folder + QStringLiteral("/newer.txt"), 1700000100);
    const QStringList listed =
        QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Unsorted);
    Field(SlicerId::kImportFolder)->setText(folder);
    Click(SlicerId::kQuickImport);
    QVERIFY(!listed.isEmpty());
    QCOMPARE(host->log.last(),
             QStringLiteral("Load BG: %1/%2 (40,30)").arg(folder, listed.first()));
    // stored with a final "/"; the field keeps its text
    QCOMPARE(ReadSetting(services->settings, Settings::kImportPath), folder + QLatin1Char('/'));
    QCOMPARE(Field(SlicerId::kImportFolder)->text(), folder);
    // a folder typed with its "/" is stored once with it
    Field(SlicerId::kImportFolder)->setText(folder + QLatin1Char('/'));
    dialog->QuickImport();
    QCOMPARE(ReadSetting(services->settings, Settings::kImportPath), folder + QLatin1Char('/'));
  }

  void quickImportOfAMissingFolder() {
    WriteSetting(services->settings, Settings::kImportPath, QStringLiteral("before"));
    Field(SlicerId::kImportFolder)->setText(Home() + QStringLiteral("/nowhere"));
    Click(SlicerId::kQuickImport);
    QCOMPARE(host->boxes.size(), size_t(1));
    QCOMPARE(host->boxes[0].text, QStringLiteral("Path does not exist"));
    QCOMPARE(host->boxes[0].buttons, IDocumentHost::Buttons::Ok);
    QCOMPARE(ReadSetting(services->settings, Settings::kImportPath), QStringLiteral("before"));
    QVERIFY(host->log.isEmpty());
  }

  void findMostRecentSubfolder() {
    const QString root = TempFolder();
    QDir().mkpath(root + QStringLiteral("/a"));
    QVERIFY(WritePicture(root + QStringLiteral("/a/x.png"), 8, 8));
    WriteText(root + QStringLiteral("/b/c/log.txt"));
    SetTime(root + QStringLiteral("/a/x.png"), 1700000000);
    SetTime(root + QStringLiteral("/b/c/log.txt"), 1700000500);
    Field(SlicerId::kImportRoot)->setText(root + QLatin1Char('/'));
    Click(SlicerId::kFindMostRecent);
    QCOMPARE(Field(SlicerId::kImportFolder)->text(), root + QStringLiteral("/b/c"));
    QCOMPARE(ReadSetting(services->settings, Settings::kImportPath), root + QStringLiteral("/b/c"));
    QCOMPARE(ReadSetting(services->settings, Settings::kImportRoot), root);
    // an empty root does nothing; a root without files only stores the root
    Field(SlicerId::kImportFolder)->setText(QStringLiteral("kept"));
    Field(SlicerId::kImportRoot)->setText(QString());
    Click(SlicerId::kFindMostRecent);
    QCOMPARE(ReadSetting(services->settings, Settings::kImportRoot), root);
    Field(SlicerId::kImportRoot)->setText(TempFolder());
    Click(SlicerId::kFindMostRecent);
    QCOMPARE(Field(SlicerId::kImportFolder)->text(), QStringLiteral("kept"));
  }

  void folderChoosers() {
    QStringList starts;
    QString answer;
    dialog->SetFolderChooser([&](QWidget*, const QString& start) {
      starts.append(start);
      return answer;
    });
    Field(SlicerId::kSliceFolder)->setText(QStringLiteral("/a"));
    Click(SlicerId::kSliceFolderBrowse);  // cancelled
    QCOMPARE(Field(SlicerId::kSliceFolder)->text(), QStringLiteral("/a"));
    answer = QStringLiteral("/chosen");
    Click(SlicerId::kSliceFolderBrowse);
    QCOMPARE(Field(SlicerId::kSliceFolder)->text(), answer);
    QCOMPARE(doc->m_sliceFolder, answer);
    QCOMPARE(ReadSetting(services->settings, Settings::kSlicePath), QString());
    Field(SlicerId::kImportFolder)->setText(QStringLiteral("/i/"));
    Click(SlicerId::kImportFolderBrowse);
    QCOMPARE(ReadSetting(services->settings, Settings::kImportPath), answer);
    Click(SlicerId::kImportRootBrowse);
    QCOMPARE(ReadSetting(services->settings, Settings::kImportRoot), answer);
    QCOMPARE(Field(SlicerId::kImportRoot)->text(), answer);
    QCOMPARE(starts, (QStringList{QStringLiteral("/a/"), QStringLiteral("/a/"),
                                  QStringLiteral("/i/"), QStringLiteral("/")}));
  }

  void resizeRulesAndClose() {
    dialog->resize(260, 900);
    const int m = Button(SlicerId::k512)->x();
    QCOMPARE(Button(SlicerId::k512)->geometry().right() + 1, 260 - m);
    QCOMPARE(Button(SlicerId::k128x4)->geometry().right() + 1, 250);
    QCOMPARE(Button(SlicerId::kImportRootBrowse)->geometry().right() + 1, 260 - m);
    QCOMPARE(Field(SlicerId::kImportRoot)->geometry().right() + 1,
             Button(SlicerId::kImportRootBrowse)->x());
    const QRect list = List()->geometry();
    QCOMPARE(list.left(), 0);
    QCOMPARE(list.width(), 260);
    QCOMPARE(list.bottom() + 1, 900);
    QVERIFY(!dialog->close());
    QVERIFY(dialog->isVisible());
  }

  // Auto Import: under Quick Import, off by default; clicked on, it takes a
  // PNG written into the img2img field's folder after the lock; a missing
  // folder clears the box again.
  void autoImportCheckBox() {
    auto* box = qobject_cast<QCheckBox*>(dialog->Control(SlicerId::kAutoImport));
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Auto Import"));
    QVERIFY(!box->isChecked());
    QVERIFY(!dialog->AutoImportOn());
    const QRect quick = Button(SlicerId::kQuickImport)->geometry();
    QVERIFY(box->geometry().top() >= quick.bottom());
    QVERIFY(box->geometry().bottom() < Field(SlicerId::kImportRoot)->geometry().top());

    const QString folder = TempFolder();
    Field(SlicerId::kImportFolder)->setText(folder);
    QVERIFY(WritePicture(folder + QStringLiteral("/old.png"), 512, 512, 2));
    MainImage(1024, 768);
    doc->CreateSlice(512, 0, 1);
    QSignalSpy changed(dialog.get(), &CLeftDialog::AutoImportChanged);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QVERIFY(box->isChecked());
    QVERIFY(dialog->AutoImportOn());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(ReadSetting(services->settings, Settings::kAutoImport, -1), 1);
    doc->LockSlice();
    QTest::qWait(300);
    QVERIFY(WritePicture(folder + QStringLiteral("/new.png"), 512, 512, 3));
    QVERIFY(QTest::qWaitFor([&] { return doc->m_merge == 1; }, 5000));
    QVERIFY(
        host->log.contains(QStringLiteral("Auto Import: ") + folder + QStringLiteral("/new.png")));
    QVERIFY(
        !host->log.contains(QStringLiteral("Auto Import: ") + folder + QStringLiteral("/old.png")));

    // The field pointed at a folder that does not exist: said once, box cleared.
    Field(SlicerId::kImportFolder)->setText(folder + QStringLiteral("/gone"));
    QVERIFY(QTest::qWaitFor([&] { return !box->isChecked(); }, 3000));
    QCOMPARE(host->log.count(QStringLiteral("Error: Img2img folder does not exist: ") + folder +
                             QStringLiteral("/gone")),
             1);
    QCOMPARE(changed.last().at(0).toBool(), false);
    QCOMPARE(ReadSetting(services->settings, Settings::kAutoImport, -1), 0);
    // The menu's way in sets the box.
    dialog->SetAutoImport(true);
    QVERIFY(!box->isChecked());  // the folder is still missing during the merge
  }
};

QUILTOR_WIDGET_TEST_MAIN(LeftDialogTest)
#include "LeftDialogTest.moc"
