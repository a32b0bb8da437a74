#include "panes/MemDC2.h"

#include <QPaintDevice>
#include <QtMath>

namespace {
bool IsPrinter(const QPaintDevice* device) {
  return device &&
         (device->devType() == QInternal::Printer || device->devType() == QInternal::Picture);
}
}  // namespace

CMemDC2::CMemDC2(QPaintDevice* target, const QRect& rect, double scale)
    : m_target(target), m_rect(rect), m_scale(scale) {
  if (IsPrinter(target)) {
    m_ownDirect.emplace(target);
    m_direct = &*m_ownDirect;
    return;
  }
  const qreal ratio = target ? target->devicePixelRatioF() : 1.0;
  const QSize size(qMax(1, qCeil(rect.width() * ratio)), qMax(1, qCeil(rect.height() * ratio)));
  m_image = QImage(size, QImage::Format_RGB32);
  m_image.setDevicePixelRatio(ratio);
  m_image.fill(Qt::black);
  Resume();
}

CMemDC2::CMemDC2(QPainter& direct) : m_direct(&direct) {
  if (direct.device()) m_rect = QRect(0, 0, direct.device()->width(), direct.device()->height());
}

void CMemDC2::Resume() {
  if (m_direct || m_painter) return;
  m_painter.emplace(&m_image);
  // callers draw in target coordinates
  m_painter->translate(-m_rect.topLeft());
}

QImage* CMemDC2::Image() {
  if (m_direct) return nullptr;
  m_painter.reset();
  return &m_image;
}

QRect CMemDC2::DeviceRect(const QRectF& rect) const {
  if (m_direct) return {};
  const qreal r = m_image.devicePixelRatio();
  const QRectF device((rect.x() - m_rect.x()) * r, (rect.y() - m_rect.y()) * r, rect.width() * r,
                      rect.height() * r);
  return device.toAlignedRect().intersected(m_image.rect());
}

CMemDC2::~CMemDC2() {
  if (m_direct) return;
  m_painter.reset();
  if (!m_target || m_rect.isEmpty()) return;
  QPainter target(m_target);
  target.setCompositionMode(QPainter::CompositionMode_Source);
  if (m_scale == 1.0) {
    target.drawImage(m_rect.topLeft(), m_image);
  } else {
    const QSizeF logical = QSizeF(m_image.size()) / m_image.devicePixelRatio();
    target.drawImage(QRectF(QPointF(m_rect.topLeft()), logical * m_scale), m_image);
  }
}
