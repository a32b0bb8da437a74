#include "panes/ImagePreviewWnd.h"

#include <QImage>
#include <QPainter>

CImagePreviewWnd::CImagePreviewWnd(QWidget* parent) : QWidget(parent) {}

void CImagePreviewWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(128, 128, 128));
  if (!m_image.HasPixels()) return;
  const QImage picture(m_image.Pixels(), static_cast<int>(m_image.m_width),
                       static_cast<int>(m_image.m_height), static_cast<int>(m_image.RowBytes()),
                       QImage::Format_RGB888);
  painter.drawImage((width() - picture.width()) / 2, (height() - picture.height()) / 2, picture);
}
