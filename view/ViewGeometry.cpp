#include "view/ViewGeometry.h"

#include <algorithm>
#include <cmath>

#include "image/kernels/RotatedSquare.h"

namespace viewgeom {
namespace {
// Truncation toward zero of a float or double coordinate.
template <class F>
int Trunc(F v) {
  return static_cast<int>(v);
}
}  // namespace

bool FitInto(int width, int height, int clientWidth, int clientHeight, Fit& fit) {
  if (width <= 0 || height <= 0) return false;
  if (width <= clientWidth && height <= clientHeight) return false;
  const double s = std::min(static_cast<double>(clientWidth) / width,
                            static_cast<double>(clientHeight) / height);
  fit.scale = s;
  fit.width = Trunc(width * s);
  fit.height = Trunc(height * s);
  return true;
}

QPoint CentredOffset(int clientWidth, int clientHeight, int width, int height) {
  return {(clientWidth - width) / 2, (clientHeight - height) / 2};
}

QPoint ImagePoint(QPoint client, double scale, QPoint offset) {
  return {Trunc((client.x() - offset.x()) / scale), Trunc((client.y() - offset.y()) / scale)};
}

QRect SliceScreenRect(const QRect& slice, double scale, QPoint offset) {
  const int left = Trunc(slice.x() * scale) + offset.x();
  const int top = Trunc(slice.y() * scale) + offset.y();
  const int right = Trunc((static_cast<double>(slice.x()) + slice.width()) * scale) + offset.x();
  const int bottom = Trunc((static_cast<double>(slice.y()) + slice.height()) * scale) + offset.y();
  return {left, top, right - left, bottom - top};
}

QRect Square::Bounds() const {
  int l = corners[0].x(), r = l, t = corners[0].y(), b = t;
  for (const QPoint& c : corners) {
    l = std::min(l, c.x());
    r = std::max(r, c.x());
    t = std::min(t, c.y());
    b = std::max(b, c.y());
  }
  return QRect(QPoint(l, t), QPoint(r, b));
}

Square RotatedSquare(const QRect& screen, int angle) {
  Square sq;
  const int left = screen.x(), top = screen.y();
  const int right = left + screen.width(), bottom = top + screen.height();
  sq.cx = left + (right - left) / 2;
  sq.cy = top + (bottom - top) / 2;
  sq.side = right - left;
  const qkern::RotatedSquareF turn = qkern::RotatedSquareF::FromDegrees(sq.cx, sq.cy, angle);
  sq.cosine = turn.cosine;
  sq.sine = turn.sine;
  const float k = static_cast<float>(sq.side / 2);
  static constexpr float kU[4] = {1, -1, -1, 1}, kV[4] = {1, 1, -1, -1};
  for (size_t i = 0; i < 4; ++i) {
    const qkern::RotatedSquareF::Point t = turn.Turned(kU[i], kV[i]);
    sq.corners[i] = QPoint(Trunc(static_cast<float>(sq.cx) + k * t.x),
                           Trunc(static_cast<float>(sq.cy) + k * t.y));
  }
  return sq;
}

int HandleRadius(int logicalDpiX) {
  return static_cast<int>(std::lround(10.0 * logicalDpiX / 96.0));
}

Handle RotationHandle(const Square& sq, int radius) {
  const float h = static_cast<float>(sq.side) * 0.5f;
  const qkern::RotatedSquareF turn{sq.cx, sq.cy, sq.cosine, sq.sine};
  auto point = [&turn](float u, float v) {
    const qkern::RotatedSquareF::Point p = turn.Forward(u, v);
    return QPoint(Trunc(p.x), Trunc(p.y));
  };
  Handle hd;
  hd.axis1From = point(0, -h);
  hd.axis1To = point(0, h);
  hd.axis2From = point(-h, 0);
  hd.axis2To = point(h, 0);
  // The disc sits on the top edge's midpoint.
  const qkern::RotatedSquareF::Point top = turn.Forward(0, -h);
  const float r = static_cast<float>(radius);
  const int l = Trunc(top.x - r), t = Trunc(top.y - r), rt = Trunc(top.x + r), b = Trunc(top.y + r);
  hd.disc = QRect(l, t, rt - l, b - t);
  return hd;
}

bool InsideSlice(const QRect& s, QPoint p) {
  return s.x() <= p.x() && p.x() <= s.x() + s.width() && s.y() <= p.y() &&
         p.y() <= s.y() + s.height();
}

int BrushNearMargin(int stampSide, double scale) { return Trunc(stampSide * scale * 0.5) / 2; }

bool BrushNear(const QRect& s, int q, QPoint p) {
  return s.x() - q < p.x() && p.x() < s.x() + s.width() + q && s.y() - q < p.y() &&
         p.y() < s.y() + s.height() + q;
}

BrushDiscs BrushRadii(bool preview, int stampSide, int brushSize, double softness, int opacity,
                      double scale) {
  BrushDiscs d;
  const int diameter = preview ? Trunc(softness * 4.0 + brushSize) : stampSide;
  d.radius = Trunc(diameter * scale * 0.5);
  d.coreRadius = Trunc(brushSize * scale * 0.5);
  d.coreRed = Trunc(opacity / 100.0 * 255) % 256;
  return d;
}

QRect BrushRect(QPoint c, int r) { return QRect(c.x() - r, c.y() - r, 2 * r, 2 * r); }

bool BrushMeetsSlice(const QRect& b, const QRect& s, int r) {
  const int g = r / 2;
  const int bl = b.x(), bt = b.y(), br = b.x() + b.width(), bb = b.y() + b.height();
  return br > s.x() - g && bb > s.y() - g && bl < s.x() + s.width() + g &&
         bt < s.y() + s.height() + g;
}

int DragAngle(int startAngle, QPoint c, QPoint anchor, QPoint p) {
  const double a1 =
      std::atan2(static_cast<double>(p.y() - c.y()), static_cast<double>(p.x() - c.x()));
  const double a0 =
      std::atan2(static_cast<double>(anchor.y() - c.y()), static_cast<double>(anchor.x() - c.x()));
  return startAngle + Trunc((a1 - a0) * 180.0 / M_PI);
}

QPointF MagnifierTopLeft(QPoint centre, double scale, QPoint offset, int patchSide, double ratio) {
  const double half = patchSide / 2 / ratio;
  return {offset.x() + Trunc(centre.x() * scale) - half,
          offset.y() + Trunc(centre.y() * scale) - half};
}

}  // namespace viewgeom
