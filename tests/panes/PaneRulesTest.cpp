// The widget-free rules of the panes: dialog units, the resize rules, the
// edge blur text, Fill Opacity, the slider's and colour button's arithmetic.
#include "panes/ControlMath.h"
#include "panes/DialogTemplate.h"
#include "panes/PaneLayout.h"
#include "widgets/WidgetTestSupport.h"

class PaneRulesTest : public QObject {
  Q_OBJECT
 private slots:
  void dialogUnitsConvertEachFieldRounded() {
    QCOMPARE(MulDiv(7, 6, 4), 11);  // 10.5 rounds away from zero
    QCOMPARE(MulDiv(-7, 6, 4), -11);
    QCOMPARE(MulDiv(5, 13, 8), 8);
    QCOMPARE(DialogToPixels(QRect(7, 16, 87, 15), {6, 13}), QRect(11, 26, 131, 24));
    QCOMPARE(DialogToPixels(QSize(165, 371), {6, 13}), QSize(248, 603));
    // base units: average letter width rounded as the platform does
    const DialogBaseUnits u = BaseUnitsOf(PaneFont());
    const QFontMetrics fm(PaneFont());
    const int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    QCOMPARE(u.x, (letters / 26 + 1) / 2);
    QCOMPARE(u.y, fm.height());
  }

  void mergerLayoutAt300() {
    ControlRects r;
    for (const TemplateControl& c : MergerTemplate())
      if (c.id != kNoId) r[c.id] = DialogToPixels(QRect(c.x, c.y, c.width, c.height), {6, 13});
    r[MergerId::kPreview] = QRect(11, 361, 227, 227);
    r[MergerId::kCancelMerge].moveLeft(10);
    const ControlRects before = r;
    LayoutMerger(r, 300);
    auto span = [&](int id) { return std::pair(r[id].left(), r[id].left() + r[id].width()); };
    QCOMPARE(span(MergerId::kFill), std::pair(10, 99));
    QCOMPARE(span(MergerId::kFillOpacity), std::pair(105, 205));
    QCOMPARE(span(MergerId::kInvert), std::pair(210, 290));
    QCOMPARE(r[MergerId::kPreview], QRect(10, 361, 280, 280));
    QCOMPARE(span(MergerId::kCancelMerge), std::pair(10, 290));
    QCOMPARE(span(MergerId::kApplyMerge), std::pair(11, 290));  // keeps its left
    const int editWidth = before.at(MergerId::kEdgeBlurEdit).width();
    QCOMPARE(span(MergerId::kEdgeBlurEdit), std::pair(290 - editWidth, 290));
    QCOMPARE(span(MergerId::kEdgeBlur), std::pair(10, 290 - editWidth - 5));
    for (int id : {MergerId::kBrushSize, MergerId::kSoftness, MergerId::kOpacity})
      QCOMPARE(span(id), std::pair(10, 290));
    // tops and heights stay
    for (const auto& [id, rect] : before) {
      QCOMPARE(r[id].top(), rect.top());
      if (id != MergerId::kPreview) QCOMPARE(r[id].height(), rect.height());
    }
    // without "Cancel Merge" the margin is 10
    ControlRects lone{{MergerId::kFill, QRect(3, 40, 5, 20)}};
    LayoutMerger(lone, 300);
    QCOMPARE(lone[MergerId::kFill], QRect(10, 40, 89, 20));
  }

  void slicerLayout() {
    ControlRects r;
    for (const TemplateControl& c : SlicerTemplate())
      if (c.id != kNoId) r[c.id] = DialogToPixels(QRect(c.x, c.y, c.width, c.height), {6, 13});
    const ControlRects before = r;
    LayoutSlicer(r, 201, 900);
    auto span = [&](int id) { return std::pair(r[id].left(), r[id].left() + r[id].width()); };
    const int m = 11;
    QCOMPARE(span(SlicerId::k256x2), std::pair(11, 95));  // (201 - 10) / 2
    QCOMPARE(span(SlicerId::k128x4), std::pair(95, 191));
    QCOMPARE(span(SlicerId::k512), std::pair(m, 201 - m));
    QCOMPARE(span(SlicerId::k2048), std::pair(before.at(SlicerId::k2048).left(), 201 - m));
    QCOMPARE(span(SlicerId::kCancelLock), std::pair(m, 201 - m));
    const int browse = before.at(SlicerId::kImportFolderBrowse).width();
    QCOMPARE(span(SlicerId::kImportFolderBrowse), std::pair(201 - m - browse, 201 - m));
    QCOMPARE(span(SlicerId::kImportFolder), std::pair(m, 201 - m - browse));
    const int top = before.at(SlicerId::kHistory).top();
    QCOMPARE(r[SlicerId::kHistory], QRect(0, top, 201, 900 - top));
    // the folder fields use the margin of "Cancel Lock"
    r[SlicerId::kCancelLock].moveLeft(20);
    LayoutSlicer(r, 201, 900);
    QCOMPARE(span(SlicerId::kSliceFolderBrowse).second, 181);
    QCOMPARE(span(SlicerId::k512).second, 190);
    // a pane lower than the list's top gives an empty list, not a negative one
    LayoutSlicer(r, 201, 10);
    QCOMPARE(r[SlicerId::kHistory].height(), 0);
  }

  void edgeBlurText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << QStringLiteral("500") << 500;
    QTest::newRow("spaces and sign") << QStringLiteral("  -12px") << -12;
    QTest::newRow("plus") << QStringLiteral("+7") << 7;
    QTest::newRow("text") << QStringLiteral("abc") << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("sign only") << QStringLiteral("-") << 0;
    QTest::newRow("stops at non-digit") << QStringLiteral("3 4") << 3;
    QTest::newRow("saturates") << QStringLiteral("99999999999") << 2147483647;
  }
  void edgeBlurText() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(ParseLeadingInteger(text), value);
  }

  void sliderArithmetic() {
    QCOMPARE(WrapIntoRange(115, 0, 100), 14);
    QCOMPARE(WrapIntoRange(101, 0, 100), 0);
    QCOMPARE(WrapIntoRange(-1, 0, 100), 100);
    QCOMPARE(WrapIntoRange(-1000, 0, 60), -1000 + 17 * 61);
    QCOMPARE(WrapIntoRange(5, 3, 2), 3);  // an empty range cannot loop
    QCOMPARE(TrackValueAtX(10, 147, 0, 128), 1);
    QCOMPARE(TrackValueAtX(-50, 147, 0, 128), 0);
    QCOMPARE(TrackValueAtX(1000, 147, 0, 128), 129);  // the move limits it to 128
    QCOMPARE(TrackValueAtX(5, 10, 0, 128), 0);        // narrower than the thumb
    QCOMPARE(TrackThumbLeft(200, 147, 0, 128), 128);  // drawn at the nearest limit
    QCOMPARE(TrackThumbLeft(5, 147, 5, 5), 0);
    // the whole range per control width, relative to where the drag began
    QCOMPARE(BarDragValue(64, 0, 0, 127, 0, 255, 1.0f), 128);
    QCOMPARE(BarDragValue(40, 50, 128, 127, 0, 255, 1.0f), 108);
    QCOMPARE(BarDragValue(40, 50, 128, 127, 0, 255, 0.5f), 118);
    QCOMPARE(BarDragValue(1 << 30, 0, 0, 0, 0, 255, 1.0f), 2000000000);
    QCOMPARE(BarValueLine(50, 130, 0, 100), 64);
    QCOMPARE(RibPhase(3, 20), -7);
    QCOMPARE(RibPhase(40, 3), 7);
  }

  void colourSteps() {
    QCOMPARE(Lighten(QColor(247, 230, 204), 20), QColor(248, 235, 214));
    QCOMPARE(Darken(QColor(247, 230, 204), 70), QColor(172, 161, 142));
    QCOMPARE(Darken(QColor(247, 230, 204), 50), QColor(123, 115, 102));
    QCOMPARE(GradientColor(QColor(0, 0, 0), QColor(250, 100, 10), 0, 10), QColor(0, 0, 0));
    QCOMPARE(GradientColor(QColor(0, 0, 0), QColor(250, 100, 10), 5, 10), QColor(125, 50, 5));
    QCOMPARE(GradientColor(QColor(9, 9, 9), QColor(9, 9, 9), 3, 0), QColor(9, 9, 9));
  }
};

QUILTOR_WIDGET_TEST_MAIN(PaneRulesTest)
#include "PaneRulesTest.moc"
