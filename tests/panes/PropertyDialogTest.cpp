// The Merger dialog driven by widget input: its controls, the brush sliders,
// Fill, Fill Opacity, Invert, the edge blur slider and edit, the layout and
// the mask preview.
#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "document/QuiltorDoc.h"
#include "document/RecordingHost.h"
#include "panes/BlackSlider.h"
#include "panes/ColorButton.h"
#include "panes/ImagePreviewWnd.h"
#include "panes/PropertyDialog.h"
#include "widgets/WidgetTestSupport.h"

using namespace widget_testing;

namespace {

// The frame's host forwards the mask preview to the pane's window.
class PreviewHost : public RecordingHost {
 public:
  CPropertyDialog* dialog = nullptr;
  CISImageEx* MaskPreviewImage() override { return &dialog->Preview()->Image(); }
  int MaskPreviewWidth() const override { return dialog->Preview()->PreviewWidth(); }
  int MaskPreviewHeight() const override { return dialog->Preview()->PreviewHeight(); }
  void RedrawMaskPreview() override {
    ++previewRedraws;
    dialog->Preview()->Redraw();
  }
};

// The feathered weight of a column near the left edge, away from the corners.
int EdgeWeight(int column, int blur) {
  if (blur <= 0) return 255;
  const float ramp = column < blur ? float(column) / float(blur) : 1.0f;
  return int(255.0f * (ramp * 1.0f));
}

}  // namespace

class PropertyDialogTest : public QObject {
  Q_OBJECT
  std::unique_ptr<PreviewHost> host;
  std::unique_ptr<CQuiltorServices> services;
  std::unique_ptr<CQuiltorDoc> doc;
  std::unique_ptr<CPropertyDialog> dialog;

  CBlackSlider* Slider(int id) { return dialog->Slider(id); }
  QLineEdit* Edit() { return qobject_cast<QLineEdit*>(dialog->Control(MergerId::kEdgeBlurEdit)); }
  void Click(int id) {
    QTest::mouseClick(qobject_cast<QPushButton*>(dialog->Control(id)), Qt::LeftButton);
  }
  void Deliver() {
    QCoreApplication::sendPostedEvents(dialog.get(), CSliderNotifyEvent::EventType());
  }
  // A 512 square exported, locked and its reworked file merged.
  void StartMerge() {
    const QString folder = TempFolder();
    QVERIFY(WritePicture(folder + QStringLiteral("/main.png"), 1024, 768, 1));
    QVERIFY(WritePicture(folder + QStringLiteral("/back.png"), 512, 512, 9));
    doc->ImportFile(folder + QStringLiteral("/main.png"));
    doc->CreateSlice(512, 0, 1);
    doc->m_sliceFolder = folder;
    QVERIFY(!doc->ExportAndLock().isEmpty());
    doc->ImportFile(folder + QStringLiteral("/back.png"));
    QCOMPARE(int(doc->m_merge), 1);
  }
  uint8_t Mask(int x, int y) { return doc->m_mask.m_pixels[size_t(y) * doc->m_mask.m_width + x]; }
  int Blend(int x, int y) {
    return doc->m_blendMask.m_pixels[size_t(y) * doc->m_blendMask.m_width + x];
  }

 private slots:
  void init() {
    host = std::make_unique<PreviewHost>();
    services = std::make_unique<CQuiltorServices>();
    doc = std::make_unique<CQuiltorDoc>(*host, *services);
    dialog = std::make_unique<CPropertyDialog>(*doc, *services);
    host->dialog = dialog.get();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  }
  void cleanup() {
    dialog.reset();
    doc.reset();
  }

  void controlsAndStart() {
    for (const TemplateControl& c : MergerTemplate()) {
      auto* w = dialog->findChild<QWidget*>(QString::fromUtf8(c.objectName));
      QVERIFY2(w, c.objectName);
      if (c.id != kNoId) QCOMPARE(dialog->Control(c.id), w);
    }
    const struct {
      int id, min, max, pos, bar;
      const char* name;
    } sliders[] = {{MergerId::kBrushSize, 0, 255, 128, 1, "Brush Size"},
                   {MergerId::kSoftness, 0, 60, 30, 1, "Softness"},
                   {MergerId::kOpacity, 0, 100, 50, 1, "Opacity"},
                   {MergerId::kEdgeBlur, 0, 128, 32, 0, "Edge Blur"}};
    for (const auto& s : sliders) {
      CBlackSlider* slider = Slider(s.id);
      QCOMPARE(slider->GetRangeMin(), s.min);
      QCOMPARE(slider->GetRangeMax(), s.max);
      QCOMPARE(slider->GetPos(), s.pos);
      QCOMPARE(slider->m_bBarStyle, s.bar);
      QCOMPARE(QAccessible::queryAccessibleInterface(slider)->text(QAccessible::Name),
               QString::fromUtf8(s.name));
    }
    QCOMPARE(Edit()->text(), QStringLiteral("32"));
    QCOMPARE(QAccessible::queryAccessibleInterface(Edit())->text(QAccessible::Name),
             QStringLiteral("Edge Blur value"));
    QCOMPARE(qobject_cast<CColorButton*>(dialog->Control(MergerId::kApplyMerge))->m_crColor,
             QColor(247, 230, 204));
    QVERIFY(dialog->Control(MergerId::kPreviewPlaceholder)->isHidden());
    const QRect place = dialog->Control(MergerId::kPreviewPlaceholder)->geometry();
    const QRect preview = dialog->Preview()->geometry();
    QCOMPARE(preview.topLeft(), place.topLeft());
    QCOMPARE(dialog->Control(MergerId::kPreview), dialog->Preview());
    QCOMPARE(preview.width(), preview.height());
  }

  void layoutAt300() {
    dialog->Control(MergerId::kCancelMerge)->move(10, dialog->Control(MergerId::kCancelMerge)->y());
    dialog->resize(300, 700);
    auto span = [&](int id) {
      const QRect r = dialog->Control(id)->geometry();
      return std::pair(r.left(), r.left() + r.width());
    };
    QCOMPARE(span(MergerId::kFill), std::pair(10, 99));
    QCOMPARE(span(MergerId::kFillOpacity), std::pair(105, 205));
    QCOMPARE(span(MergerId::kInvert), std::pair(210, 290));
    QCOMPARE(dialog->Preview()->size(), QSize(280, 280));
    QCOMPARE(dialog->Preview()->x(), 10);
    dialog->Preview()->repaint();
    QCOMPARE(dialog->Preview()->PreviewWidth(), 280);
  }

  void fillOpacityAndInvert() {
    StartMerge();
    const struct { int opacity, value; } cases[] = {{0, 0}, {50, 128}, {100, 255}};
    for (const auto& c : cases) {
      Slider(MergerId::kOpacity)->SetPos(c.opacity, 0);
      const int redraws = host->previewRedraws;
      Click(MergerId::kFillOpacity);
      QCOMPARE(int(Mask(0, 0)), c.value);
      QCOMPARE(int(Mask(300, 200)), c.value);
      QCOMPARE(host->previewRedraws, redraws + 1);
    }
    Click(MergerId::kFill);
    QCOMPARE(int(Mask(10, 10)), 255);
    // paint a little so the mask is not uniform, then invert twice
    doc->PaintMask(doc->m_sliceX + 200, doc->m_sliceY + 200, 0);
    std::vector<uint8_t> before(doc->m_mask.m_pixels.get(), doc->m_mask.m_pixels.get() + 512 * 512);
    Click(MergerId::kInvert);
    QCOMPARE(int(Mask(0, 0)), 0);
    Click(MergerId::kInvert);
    QVERIFY(std::equal(before.begin(), before.end(), doc->m_mask.m_pixels.get()));

    // the preview shows the blend mask, centred, after the last change
    const QImage shown = dialog->Preview()->grab().toImage();
    const int side = dialog->Preview()->width();
    QCOMPARE(int(dialog->Preview()->Image().m_width), side);
    const int far = side * 400 / 512;  // away from the erased dab and the feather
    QCOMPARE(QColor(shown.pixel(far, far)), QColor(255, 255, 255));
    const QRgb dab = shown.pixel(side * 200 / 512, side * 200 / 512);
    QVERIFY(qRed(dab) < 255 && qRed(dab) == qGreen(dab) && qRed(dab) == qBlue(dab));
    QVERIFY(qRed(shown.pixel(0, side / 2)) < 16);  // the feathered edge, scaled down
  }

  void typedEdgeBlur() {
    StartMerge();
    const int column1 = Blend(1, 256);
    const int repaints = host->repaints;
    Edit()->selectAll();
    QTest::keyClicks(Edit(), QStringLiteral("500"));
    QCOMPARE(services->edgeBlur, 500);
    QCOMPARE(Slider(MergerId::kEdgeBlur)->GetPos(), 128);
    Edit()->selectAll();
    QTest::keyClicks(Edit(), QStringLiteral("blur"));
    QCOMPARE(services->edgeBlur, 0);
    QCOMPARE(Slider(MergerId::kEdgeBlur)->GetPos(), 0);
    Deliver();
    // nothing is rebuilt until the next rebuild
    QCOMPARE(host->repaints, repaints);
    QCOMPARE(Blend(1, 256), column1);
    Click(MergerId::kFill);
    QCOMPARE(Blend(1, 256), 255);
  }

  void edgeBlurDragRebuildsAndRefreshesThePreviewOnce() {
    StartMerge();
    CBlackSlider* slider = Slider(MergerId::kEdgeBlur);
    const int y = slider->height() / 2;
    const int redraws = host->previewRedraws;
    const QImage previewBefore = dialog->Preview()->grab().toImage();
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(40, y));
    Deliver();
    std::vector<int> seen;
    for (int x : {40, 60, 80, 100}) {
      QTest::mouseMove(slider, QPoint(x, y));
      Deliver();
      seen.push_back(services->edgeBlur);
      QCOMPARE(services->edgeBlur, slider->GetPos());
      QCOMPARE(Edit()->text(), QString::number(slider->GetPos()));
      QCOMPARE(Blend(1, 256), EdgeWeight(1, services->edgeBlur));
      QCOMPARE(host->previewRedraws, redraws);
    }
    QVERIFY(seen.front() < seen.back());
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(100, y));
    Deliver();
    QCOMPARE(host->previewRedraws, redraws + 1);
    QVERIFY(dialog->Preview()->grab().toImage() != previewBefore);
  }

  void brushSliders() {
    CBlackSlider* size = Slider(MergerId::kBrushSize);
    QSignalSpy now(dialog.get(), &CPropertyDialog::RepaintViewNow);
    // outside a merge: the settings change, no preview circle
    QTest::mousePress(size, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseMove(size, QPoint(40, 10));
    Deliver();
    QVERIFY(doc->m_brush.m_brushSize > 128);
    QCOMPARE(doc->m_brushPreview, 0);
    QCOMPARE(now.count(), 0);
    QTest::mouseRelease(size, Qt::LeftButton, {}, QPoint(40, 10));
    Deliver();

    StartMerge();
    QTest::mousePress(size, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseMove(size, QPoint(60, 10));
    Deliver();
    QCOMPARE(doc->m_brushPreview, 1);
    QCOMPARE(now.count(), 1);
    QCOMPARE(doc->m_brush.m_brushSize, size->GetPos());
    QTest::mouseRelease(size, Qt::LeftButton, {}, QPoint(60, 10));
    Deliver();
    QCOMPARE(doc->m_brushPreview, 0);
    // softness and opacity go in as well, at any notification
    Slider(MergerId::kSoftness)->setFocus();
    QTest::keyClick(Slider(MergerId::kSoftness), Qt::Key_Right);
    Deliver();
    QCOMPARE(doc->m_brush.m_softness, 31.0);
    QCOMPARE(doc->m_brush.m_opacity, 50);
  }

  void previewPaint() {
    CImagePreviewWnd* preview = dialog->Preview();
    preview->resize(100, 60);
    QImage shown = preview->grab().toImage();
    QCOMPARE(QColor(shown.pixel(0, 0)), QColor(192, 192, 192));
    QCOMPARE(QColor(shown.pixel(8, 0)), QColor(128, 128, 128));
    QCOMPARE(QColor(shown.pixel(8, 8)), QColor(192, 192, 192));
    QCOMPARE(QColor(shown.pixel(99, 59)), QColor(128, 128, 128));  // i 12, j 7: odd
    QCOMPARE(preview->PreviewWidth(), 100);
    QCOMPARE(preview->PreviewHeight(), 60);
    QVERIFY(preview->Image().Create(20, 10, 24) == 0);
    std::fill_n(preview->Image().Pixels(), 20 * 10 * 3, uint8_t(250));
    shown = preview->grab().toImage();
    QCOMPARE(QColor(shown.pixel(40, 25)), QColor(250, 250, 250));
    QCOMPARE(QColor(shown.pixel(39, 25)), QColor(128, 128, 128));
    QCOMPARE(QColor(shown.pixel(59, 34)), QColor(250, 250, 250));
    QCOMPARE(QColor(shown.pixel(60, 34)), QColor(128, 128, 128));
    QCOMPARE(QColor(shown.pixel(0, 0)), QColor(128, 128, 128));  // no checkerboard
  }

  void okCancelAndCloseIgnored() {
    dialog->setFocus();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    QVERIFY(!dialog->close());
    QVERIFY(dialog->isVisible());
  }

  // Match Colours: under Edge Blur, off by default; a click during a merge
  // rebuilds the blend at once and keeps the painted mask; stored.
  void matchColoursCheckBox() {
    auto* box = qobject_cast<QCheckBox*>(dialog->Control(MergerId::kMatchColours));
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Match Colours"));
    QVERIFY(!box->isChecked());
    const QRect blur = Slider(MergerId::kEdgeBlur)->geometry();
    QVERIFY(box->geometry().top() >= blur.bottom());
    QVERIFY(box->geometry().bottom() < dialog->Control(MergerId::kApplyMerge)->geometry().top());
    dialog->resize(300, 700);
    QCOMPARE(box->geometry().right() + 1, 300 - dialog->Control(MergerId::kCancelMerge)->x());

    StartMerge();
    doc->m_tool = 0;
    doc->PaintMask(doc->m_sliceX + 200, doc->m_sliceY + 200, 0);
    CISImageEx before;
    before.CopyFrom(doc->m_mainImage);
    const std::vector<uint8_t> mask(doc->m_mask.m_pixels.get(),
                                    doc->m_mask.m_pixels.get() + size_t{512} * 512);
    const int repaints = host->repaints;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QVERIFY(box->isChecked());
    QVERIFY(doc->MatchColoursOn());
    QCOMPARE(services->settings.GetProfileInt(QStringLiteral("Settings"),
                                              QStringLiteral("MatchColours"), 0),
             1);
    QCOMPARE(int(doc->m_merge), 1);
    QVERIFY(host->repaints > repaints);
    auto same = [&] {
      return std::equal(before.Pixels(),
                        before.Pixels() + size_t{before.RowBytes()} * before.m_height,
                        doc->m_mainImage.Pixels());
    };
    QVERIFY(!same());
    QVERIFY(std::equal(mask.begin(), mask.end(), doc->m_mask.m_pixels.get()));
    // The pane a new start builds shows the stored option.
    CPropertyDialog second(*doc, *services);
    QVERIFY(qobject_cast<QCheckBox*>(second.Control(MergerId::kMatchColours))->isChecked());
    // Off again: the unmatched blend with the painted mask, exactly.
    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(!box->isChecked());
    QVERIFY(same());
    QCOMPARE(services->settings.GetProfileInt(QStringLiteral("Settings"),
                                              QStringLiteral("MatchColours"), -1),
             0);
  }
};

QUILTOR_WIDGET_TEST_MAIN(PropertyDialogTest)
#include "PropertyDialogTest.moc"
