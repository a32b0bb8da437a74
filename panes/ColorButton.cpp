#include "panes/ColorButton.h"

#include <QMouseEvent>
#include <QPainter>

#include "panes/ControlMath.h"
#include "panes/MemDC2.h"

CColorButton::CColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  // the first move over the button marks it hovered
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CColorButton::paintEvent(QPaintEvent*) {
  const QRect item = rect();
  const QColor a = m_bHover ? Lighten(m_crColor, 5) : m_crColor;
  CMemDC2 dc(this, item);
  QPainter& p = dc.Painter();
  QColor frame;
  if (isDown()) {
    p.fillRect(item, a);
    frame = Darken(a, 50);
  } else {
    p.fillRect(item, Lighten(a, 20));
    frame = Darken(a, 70);
  }
  p.setPen(frame);
  p.setBrush(Qt::NoBrush);
  p.drawRect(item.adjusted(0, 0, -1, -1));

  p.setFont(font());
  // The caption stays readable on the button's own fill whatever the
  // application's palette: the palette's text colour unless it is too close
  // to the fill (a dark look's light text on these pale colours).
  QColor ink = palette().color(QPalette::ButtonText);
  if (qAbs(ink.lightness() - a.lightness()) < 96) ink = a.lightness() > 127 ? Qt::black : Qt::white;
  p.setPen(ink);
  p.drawText(item, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());

  if (hasFocus() || m_bHover) {
    p.setPen(Darken(a, 70));
    p.drawRect(item.adjusted(0, 0, -1, -1));
    p.drawRect(item.adjusted(1, 1, -2, -2));
  }
}

void CColorButton::mouseMoveEvent(QMouseEvent* event) {
  if (!m_bHover) {
    m_bHover = 1;
    update();
  }
  QPushButton::mouseMoveEvent(event);
}

void CColorButton::leaveEvent(QEvent* event) {
  m_bHover = 0;
  update();
  QPushButton::leaveEvent(event);
}
