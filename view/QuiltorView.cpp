#include "view/QuiltorView.h"

#include <QPaintEvent>
#include <QPainter>

#include "document/QuiltorDoc.h"

CQuiltorView::CQuiltorView(CQuiltorDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
  setAccessibleName(QStringLiteral("Image view"));
  setFocusPolicy(Qt::ClickFocus);
}

CQuiltorView::~CQuiltorView() = default;

void CQuiltorView::ToggleMagnifier() {
  m_magnifier = m_magnifier ? 0 : 1;
  emit MagnifierChanged(m_magnifier != 0);
  update();
}

void CQuiltorView::Render(QPainter& painter) { painter.fillRect(rect(), Qt::white); }

void CQuiltorView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Render(painter);
}
