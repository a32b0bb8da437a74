#include "panes/BlackSlider.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusTipEvent>
#include <QTimerEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <memory>

#include "panes/ControlMath.h"
#include "panes/MemDC2.h"

namespace {

// Assistive technology sees a slider with its value, limits and a settable
// value; setting it goes the way of a key press.
class CBlackSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit CBlackSliderAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Slider) {}
  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QString::number(Slider()->GetPos());
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return Slider()->GetPos(); }
  void setCurrentValue(const QVariant& value) override { Slider()->SetPosFromUser(value.toInt()); }
  QVariant maximumValue() const override { return Slider()->GetRangeMax(); }
  QVariant minimumValue() const override { return Slider()->GetRangeMin(); }
  QVariant minimumStepSize() const override { return CBlackSlider::kLineSize; }

 private:
  CBlackSlider* Slider() const { return static_cast<CBlackSlider*>(widget()); }
};

QAccessibleInterface* SliderAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("CBlackSlider") && object && object->isWidgetType())
    return new CBlackSliderAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

// x from left (included) to right (excluded), rows top to bottom (both included).
void Span(QPainter& p, int left, int right, int top, int bottom, const QColor& c) {
  if (right > left && bottom >= top)
    p.fillRect(QRect(left, top, right - left, bottom - top + 1), c);
}

// One-pixel columns from start at left to end at right (excluded).
void HorizontalGradient(QPainter& p, int left, int right, int top, int bottom, const QColor& start,
                        const QColor& end) {
  for (int x = left; x < right; ++x)
    Span(p, x, x + 1, top, bottom, GradientColor(start, end, x - left, right - left));
}

// One-pixel rows from start at top to end at bottom (both included).
void VerticalGradient(QPainter& p, int left, int right, int top, int bottom, const QColor& start,
                      const QColor& end) {
  for (int y = top; y <= bottom; ++y)
    Span(p, left, right, y, y, GradientColor(start, end, y - top, bottom - top + 1));
}

// The bar look's two-part gradient: edge colour at both sides, mid colour at
// the middle column.
void BarGradient(QPainter& p, int width, int top, int bottom, const QColor& edge,
                 const QColor& mid) {
  const int c = width / 2;
  HorizontalGradient(p, 0, c, top, bottom, edge, mid);
  HorizontalGradient(p, c, width, top, bottom, mid, edge);
}

}  // namespace

QEvent::Type CSliderNotifyEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

CSliderNotifyEvent::CSliderNotifyEvent(CBlackSlider* s, int c, int p)
    : QEvent(EventType()), slider(s), code(c), pos(p) {}

CBlackSlider::CBlackSlider(QWidget* parent) : QWidget(parent) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(SliderAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
  setFocusPolicy(Qt::StrongFocus);
  // every paint covers the whole control, so nothing is erased first
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CBlackSlider::~CBlackSlider() = default;

void CBlackSlider::NotifyParent(int code) {
  QWidget* parent = parentWidget();
  if (!parent) return;
  QCoreApplication::postEvent(parent,
                              std::make_unique<CSliderNotifyEvent>(this, code, m_nPos).release());
}

void CBlackSlider::SetRange(int min, int max, int mode) {
  (void)mode;
  m_nMin = min;
  m_nMax = max;
}

void CBlackSlider::SetPos(int v, int flag) {
  (void)flag;
  MoveTo(v);
}

void CBlackSlider::MoveTo(int v) {
  const int before = m_nPos;
  m_nPos = std::clamp(v, m_nMin, std::max(m_nMin, m_nMax));
  RepaintNow();
  if (m_nPos != before) {
    QAccessibleValueChangeEvent change(this, m_nPos);
    QAccessible::updateAccessibility(&change);
    if (m_nDragState || hasFocus() || m_wheelTimer.isActive()) ShowValue();
  }
}

void CBlackSlider::ShowValue() {
  // The value beside the thumb (or the bar's red line), as Qt's own sliders
  // show it, and "Brush Size: 128" in the window's status bar.
  const int x = m_bBarStyle ? BarValueLine(m_nPos, width(), m_nMin, m_nMax)
                            : TrackThumbLeft(m_nPos, width(), m_nMin, m_nMax) + 10;
  const QString value = QString::number(m_nPos);
  QToolTip::showText(mapToGlobal(QPoint(std::clamp(x, 0, width()), height())), value, this);
  QStatusTipEvent tip(accessibleName().isEmpty() ? value
                                                 : accessibleName() + QStringLiteral(": ") + value);
  QCoreApplication::sendEvent(this, &tip);
}

void CBlackSlider::HideValue() {
  QToolTip::hideText();
  QStatusTipEvent tip{QString()};
  QCoreApplication::sendEvent(this, &tip);
}

bool CBlackSlider::PosFromPoint(int x) {
  const int v = TrackValueAtX(x, width(), m_nMin, m_nMax);
  if (v == m_nPos) return false;
  MoveTo(v);
  return true;
}

void CBlackSlider::KeyStep(int v, int code) {
  MoveTo(v);
  RepaintNow();
  NotifyParent(code);
}

void CBlackSlider::SetPosFromUser(int v) {
  v = std::clamp(v, m_nMin, std::max(m_nMin, m_nMax));
  if (v == m_nPos) return;
  KeyStep(v, v < m_nPos ? TB_LINEUP : TB_LINEDOWN);
  NotifyParent(TB_ENDTRACK);
}

void CBlackSlider::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || m_nDragState) {
    QWidget::mousePressEvent(e);
    return;
  }
  const QPoint point = e->position().toPoint();
  m_nDragStartPos = m_nPos;
  m_nDragState = 1;
  m_bChanged = 0;
  m_ptDown = m_ptLast = point;
  setFocus(Qt::MouseFocusReason);
  if (!m_bBarStyle) {
    if (PosFromPoint(point.x())) {
      m_bChanged = 1;
      NotifyParent(TB_THUMBTRACK);
    }
    RepaintNow();
  }
}

void CBlackSlider::mouseMoveEvent(QMouseEvent* e) {
  if (!m_nDragState) {
    QWidget::mouseMoveEvent(e);
    return;
  }
  const QPoint point = e->position().toPoint();
  if (m_bBarStyle) {
    m_ptLast = point;
    const int v = BarDragValue(point.x(), m_ptDown.x(), m_nDragStartPos, width(), m_nMin, m_nMax,
                               m_fDragScale);
    if (v == m_nPos) return;
    MoveTo(v);
  } else if (!PosFromPoint(point.x())) {
    return;
  }
  m_bChanged = 1;
  NotifyParent(TB_THUMBTRACK);
  RepaintNow();
}

void CBlackSlider::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(e);
    return;
  }
  if (!m_nDragState) {
    NotifyParent(TB_ENDTRACK);
    update();
    QWidget::mouseReleaseEvent(e);
    return;
  }
  const QPoint point = e->position().toPoint();
  m_nDragStartPos = -1;
  m_ptLast = point;
  if (m_bBarStyle) {
    m_bChanged = 1;
  } else if (PosFromPoint(point.x())) {
    NotifyParent(TB_THUMBTRACK);
    m_bChanged = 1;
  }
  if (m_bChanged) {
    NotifyParent(TB_ENDTRACK);
    m_bChanged = 0;
  }
  m_nDragState = 0;
  RepaintNow();
}

void CBlackSlider::wheelEvent(QWheelEvent* e) {
  e->accept();
  if (!rect().contains(e->position().toPoint())) {
    if (QWidget* parent = parentWidget()) parent->setFocus(Qt::OtherFocusReason);
    return;
  }
  const int delta = e->angleDelta().y();
  if (!isVisible() || delta == 0) return;
  int v = delta > 0 ? m_nPos - 1 : m_nPos + 1;
  v = std::clamp(v, m_nMin, m_nMax + 1);
  MoveTo(v);
  RepaintNow();
  m_bChanged = 1;
  NotifyParent(TB_THUMBTRACK);
  RepaintNow();
  m_wheelTimer.start(kWheelInterval, this);
  m_nWheelTicks = 0;
}

void CBlackSlider::timerEvent(QTimerEvent* e) {
  if (e->timerId() != m_wheelTimer.timerId()) {
    QWidget::timerEvent(e);
    return;
  }
  ++m_nWheelTicks;
  if (m_nWheelTicks > kWheelEndTicks) {
    m_wheelTimer.stop();
    NotifyParent(TB_ENDTRACK);
    m_bChanged = 0;
    m_nWheelTicks = 0;
  }
  RepaintNow();
}

void CBlackSlider::keyPressEvent(QKeyEvent* e) {
  int v = 0;
  int code = 0;
  switch (e->key()) {
    case Qt::Key_PageUp:
      v = m_nPos - kPageSize;
      code = TB_PAGEUP;
      break;
    case Qt::Key_PageDown:
      v = m_nPos + kPageSize;
      code = TB_PAGEDOWN;
      break;
    case Qt::Key_Left:
    case Qt::Key_Up:
      v = m_nPos - kLineSize;
      code = TB_LINEUP;
      break;
    case Qt::Key_Right:
    case Qt::Key_Down:
      v = m_nPos + kLineSize;
      code = TB_LINEDOWN;
      break;
    case Qt::Key_Home:
    case Qt::Key_End: e->accept(); return;
    default: QWidget::keyPressEvent(e); return;
  }
  e->accept();
  KeyStep(WrapIntoRange(v, m_nMin, m_nMax), code);
}

void CBlackSlider::keyReleaseEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
      e->accept();
      // a held key repeats its press; the end comes once, at the real release
      if (!e->isAutoRepeat()) NotifyParent(TB_ENDTRACK);
      return;
    case Qt::Key_Home:
    case Qt::Key_End: e->accept(); return;
    default: QWidget::keyReleaseEvent(e);
  }
}

void CBlackSlider::focusInEvent(QFocusEvent* e) {
  if (!m_bFocused) {
    m_bFocused = 1;
    RepaintNow();
  }
  ShowValue();
  QWidget::focusInEvent(e);
}

void CBlackSlider::focusOutEvent(QFocusEvent* e) {
  if (m_bFocused) {
    m_bFocused = 0;
    RepaintNow();
  }
  HideValue();
  QWidget::focusOutEvent(e);
}

void CBlackSlider::paintEvent(QPaintEvent*) {
  CMemDC2 dc(this, rect());
  QPainter& p = dc.Painter();
  p.fillRect(rect(), palette().color(QPalette::Button));
  if (m_bBarStyle)
    PaintBar(p);
  else
    PaintTrack(p);
}

void CBlackSlider::PaintTrack(QPainter& p) {
  const int w = width();
  Span(p, 0, w, 10, 14, QColor(98, 105, 121));
  Span(p, 0, w, 10, 10, QColor(61, 66, 78));
  Span(p, 0, w, 14, 14, QColor(185, 188, 200));

  const int m = TrackThumbLeft(m_nPos, w, m_nMin, m_nMax);
  Span(p, 0, m + 1, 11, 13, m_crFill);

  const int right = std::min(m + 20, w);
  const int top = 7;
  const int bottom = 17;
  if (right > m) {
    // the thumb's corners are cut
    QRegion clip(rect());
    for (const QPoint corner :
         {QPoint(m, top), QPoint(right - 1, top), QPoint(m, bottom), QPoint(right - 1, bottom)})
      clip -= QRegion(corner.x(), corner.y(), 1, 1);
    p.setClipRegion(clip);
  }
  Span(p, m, right, top, bottom, QColor(224, 230, 236));
  const QColor frame(28, 25, 25);
  Span(p, m, right, top, top, frame);
  Span(p, m, right, bottom, bottom, frame);
  Span(p, m, m + 1, top, bottom, frame);
  Span(p, right - 1, right, top, bottom, frame);
  VerticalGradient(p, m + 2, right - 2, 10, 16, QColor(211, 217, 223), QColor(177, 186, 194));

  if (m_nWheelTicks > 0) {
    const float share =
        static_cast<float>(right - m - 2) / 10.0f * static_cast<float>(std::min(m_nWheelTicks, 10));
    Span(p, m + 1, m + 1 + static_cast<int>(share), 8, 16, QColor(224, 128, 128));
  }
  for (int gx : {m + 6, m + 9, m + 12}) {
    Span(p, gx, gx + 1, 10, 14, QColor(99, 105, 124));
    if (m_nWheelTicks <= 0) Span(p, gx + 1, gx + 2, 11, 15, QColor(184, 193, 202));
  }
  p.setClipping(false);
}

void CBlackSlider::PaintBar(QPainter& p) {
  const int w = width();
  const int h = height();
  BarGradient(p, w, 4, h - 6, QColor(78, 85, 101), QColor(185, 188, 200));
  BarGradient(p, w, 4, 5, QColor(118, 125, 141), QColor(205, 208, 220));
  BarGradient(p, w, h - 6, h - 6, QColor(58, 65, 81), QColor(145, 148, 160));

  if (m_nWheelTicks > 0) {
    const float share =
        static_cast<float>(w) / 10.0f * static_cast<float>(std::min(m_nWheelTicks, 10));
    Span(p, 0, static_cast<int>(share), 4, 5, QColor(192, 128, 128));
  }

  const int phase = RibPhase(m_ptDown.x(), m_ptLast.x());
  for (int k = 5; k <= 165; k += 10) {
    const double a = (k + phase) * 3.1415926535 / 180.0;
    const double x = std::cos(a) * w * 0.5 + w / 2;
    const int g = std::max(0, static_cast<int>(std::sin(a) * 128));
    Span(p, static_cast<int>(x), static_cast<int>(x + 1), 5, h - 7, QColor(g, g, g));
  }

  const int u = BarValueLine(m_nPos, w, m_nMin, m_nMax);
  if (u > 0 && u < w) Span(p, u, u + 1, 5, h - 6, QColor(255, 0, 0));

  const QColor frame(28, 25, 25);
  Span(p, 0, w, 3, 3, frame);
  Span(p, 0, w, h - 5, h - 5, frame);
  Span(p, 0, 1, 3, h - 5, frame);
  Span(p, w - 1, w, 3, h - 5, frame);
}
