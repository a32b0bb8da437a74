// The Merger pane's mask preview: grey, a checkerboard while it holds no
// picture, otherwise the picture the document put in, centred. The document
// scales the mask to the stored size, which follows the client size.
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
  // The side given when the window is created; each paint stores the client
  // size.
  void SetPreviewSize(int width, int height) {
    m_previewWidth = width;
    m_previewHeight = height;
  }
  void Redraw() { update(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CISImageEx m_image;
  int m_previewWidth = 256;
  int m_previewHeight = 256;
};
