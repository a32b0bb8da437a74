// Shared pieces of the view tests: a host that forwards repaints and changed
// pixels to the view, pictures put straight into the document, and input
// sent straight to the view.
#pragma once

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include "document/QuiltorDoc.h"
#include "document/RecordingHost.h"
#include "view/QuiltorView.h"

class ViewHost : public RecordingHost {
 public:
  void Repaint() override {
    ++repaints;
    if (view) view->update();
  }
  void MainImageChanged(const QRect& rect) override {
    changes.push_back(rect);
    if (view) view->ImageChanged(rect);
  }
  CQuiltorView* view = nullptr;
  std::vector<QRect> changes;
};

// A document with its view, sized as asked.
struct ViewFixture {
  ViewHost host;
  CQuiltorServices services;
  CQuiltorDoc doc{host, services};
  CQuiltorView view{doc};
  explicit ViewFixture(int width = 800, int height = 600) {
    host.view = &view;
    view.resize(width, height);
  }
};

// Fills an image with a pattern that differs from pixel to pixel, or with
// one colour.
inline void MakePicture(CISImageEx& image, int width, int height) {
  image.Create(uint32_t(width), uint32_t(height), 24);
  uint8_t* p = image.Pixels();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = uint8_t(x * 7 + y);
      p[1] = uint8_t(y * 5 + 3 * x);
      p[2] = uint8_t((x ^ y) * 3);
    }
}
inline void MakeFlat(CISImageEx& image, int width, int height, QColor c) {
  image.Create(uint32_t(width), uint32_t(height), 24);
  uint8_t* p = image.Pixels();
  for (size_t i = 0; i < size_t(width) * height; ++i, p += 3) {
    p[0] = uint8_t(c.red());
    p[1] = uint8_t(c.green());
    p[2] = uint8_t(c.blue());
  }
}
inline QColor ImagePixel(const CISImageEx& image, int x, int y) {
  const uint8_t* p = image.Pixels() + (size_t(y) * image.m_width + size_t(x)) * 3;
  return QColor(p[0], p[1], p[2]);
}

inline void SendMouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &event);
}
inline void Press(QWidget& w, QPoint at) {
  SendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}
inline void Move(QWidget& w, QPoint at, bool held) {
  SendMouse(w, QEvent::MouseMove, at, Qt::NoButton, held ? Qt::LeftButton : Qt::NoButton);
}
inline void Release(QWidget& w, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
}
inline QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }
