// Off-screen drawing buffer: all drawing of one paint goes into an RGB32
// image covering the paint's rectangle, drawn with the target's own
// coordinates, and is copied onto the target in one block at destruction.
// A QImage is used (not a QPixmap) because the view's lock hatch and inverted
// brush outline are raster operations done exactly only on image pixels.
// For a printer the drawing goes straight to the printer's painter.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <optional>

class QPaintDevice;

class CMemDC2 {
 public:
  // Buffers a paint of target (a widget inside its paint event, or any paint
  // device) covering rect in target coordinates. The buffer has the target's
  // device pixel ratio, so it is as sharp as the screen. A printer target is
  // drawn on straight, without a buffer.
  CMemDC2(QPaintDevice* target, const QRect& rect, double scale = 1.0);
  // Draws straight on an existing painter (printing): no buffer is made.
  explicit CMemDC2(QPainter& direct);
  ~CMemDC2();
  CMemDC2(const CMemDC2&) = delete;
  CMemDC2& operator=(const CMemDC2&) = delete;

  QPainter& Painter() { return m_direct ? *m_direct : *m_painter; }
  bool IsBuffered() const { return m_direct == nullptr; }
  const QRect& Rect() const { return m_rect; }
  // The off-screen picture (null when drawing straight). Ends any drawing
  // into it first, so raster work on the pixels sees everything drawn.
  QImage* Image();
  // Resumes drawing after direct pixel work through Image(); the painter
  // starts afresh (target coordinates, default state).
  void Resume();
  // Device pixels of the buffer covering a rectangle in target coordinates
  // (clipped to the buffer).
  QRect DeviceRect(const QRectF& rect) const;

 private:
  QPaintDevice* m_target = nullptr;
  QPainter* m_direct = nullptr;
  std::optional<QPainter> m_ownDirect;  // a printer target's own painter
  QRect m_rect;
  double m_scale = 1.0;
  QImage m_image;
  std::optional<QPainter> m_painter;
};
