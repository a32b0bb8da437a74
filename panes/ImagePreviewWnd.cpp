#include "panes/ImagePreviewWnd.h"

#include <QImage>
#include <QPainter>

CImagePreviewWnd::CImagePreviewWnd(QWidget* parent) : QWidget(parent) {
  // each paint covers the whole client area
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAccessibleName(QStringLiteral("Mask preview"));
}

void CImagePreviewWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor grey(128, 128, 128);
  painter.fillRect(rect(), grey);
  const bool empty = !m_image.HasPixels();
  if (empty) {
    const QColor light(192, 192, 192);
    for (int j = 0; j * 8 < height(); ++j)
      for (int i = 0; i * 8 < width(); ++i)
        if ((i + j) % 2 == 0) painter.fillRect(i * 8, j * 8, 8, 8, light);
  }
  m_previewWidth = width();
  m_previewHeight = height();
  if (empty) return;
  const QImage picture(m_image.Pixels(), static_cast<int>(m_image.m_width),
                       static_cast<int>(m_image.m_height), static_cast<int>(m_image.RowBytes()),
                       QImage::Format_RGB888);
  painter.drawImage((width() - picture.width()) / 2, (height() - picture.height()) / 2, picture);
}
