// The Merger pane's mask preview: shows the picture the document gives it.
#pragma once

#include <QWidget>

#include "image/ISImageEx.h"

class CImagePreviewWnd : public QWidget {
  Q_OBJECT
 public:
  explicit CImagePreviewWnd(QWidget* parent = nullptr);
  CISImageEx& Image() { return m_image; }
  int PreviewWidth() const { return m_previewWidth; }
  int PreviewHeight() const { return m_previewHeight; }
  void Redraw() { update(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CISImageEx m_image;
  int m_previewWidth = 256;
  int m_previewHeight = 256;
};
