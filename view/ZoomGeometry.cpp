#include "view/ZoomGeometry.h"

#include <algorithm>
#include <cmath>

namespace viewzoom {
namespace {
Zoom Whole(double scale, double x, double y) { return {scale, x, y}; }

// Tolerance of the ladder against the rounding of repeated multiplications.
constexpr double kEps = 1e-9;
}  // namespace

QPoint Zoom::Origin() const {
  return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}

QPoint ImagePointAt(QPointF c, const Zoom& z) {
  const QPoint o = z.Origin();
  return {static_cast<int>(std::floor((c.x() - o.x()) / z.scale)),
          static_cast<int>(std::floor((c.y() - o.y()) / z.scale))};
}

QPointF ClientOf(QPointF image, const Zoom& z) {
  const QPoint o = z.Origin();
  return {o.x() + image.x() * z.scale, o.y() + image.y() * z.scale};
}

QRect VisibleImageRect(const Zoom& z, QSize view, QSize image) {
  const QPoint o = z.Origin();
  const double x0 = std::floor(-o.x() / z.scale), y0 = std::floor(-o.y() / z.scale);
  const double x1 = std::ceil((view.width() - o.x()) / z.scale);
  const double y1 = std::ceil((view.height() - o.y()) / z.scale);
  const int l = static_cast<int>(std::clamp(x0, 0.0, double(image.width())));
  const int t = static_cast<int>(std::clamp(y0, 0.0, double(image.height())));
  const int r = static_cast<int>(std::clamp(x1, 0.0, double(image.width())));
  const int b = static_cast<int>(std::clamp(y1, 0.0, double(image.height())));
  if (r <= l || b <= t) return {};
  return QRect(l, t, r - l, b - t);
}

double StepScale(double fitted, double current, int steps, double maxScale) {
  if (fitted <= 0) return current;
  const double top = std::max(fitted, maxScale);
  double s = std::clamp(current, fitted, top);
  for (; steps > 0; --steps) {
    // the ladder's rung above s
    const double n = std::floor(2.0 * std::log2(s / fitted) + kEps) + 1.0;
    s = std::min(top, fitted * std::pow(2.0, n / 2.0));
  }
  for (; steps < 0; ++steps) {
    const double n = std::ceil(2.0 * std::log2(s / fitted) - kEps) - 1.0;
    s = n <= 0 ? fitted : fitted * std::pow(2.0, n / 2.0);
  }
  return s;
}

Zoom ZoomAbout(const Zoom& z, double newScale, QPointF f) {
  const double k = newScale / z.scale;
  return Whole(newScale, f.x() - (f.x() - z.x) * k, f.y() - (f.y() - z.y) * k);
}

Zoom CentredOn(double scale, QPointF image, QSize view) {
  return Whole(scale, view.width() / 2.0 - image.x() * scale,
               view.height() / 2.0 - image.y() * scale);
}

Zoom Panned(const Zoom& z, double dx, double dy) { return Whole(z.scale, z.x + dx, z.y + dy); }

namespace {
double LimitAxis(double at, double extent, double viewLength) {
  const double kept = std::min(extent, viewLength * kKeptPart);
  const double lo = kept - extent, hi = viewLength - kept;
  return lo <= hi ? std::clamp(at, lo, hi) : at;
}
}  // namespace

Zoom Limited(const Zoom& z, QSize view, QSize image) {
  return Whole(z.scale, LimitAxis(z.x, image.width() * z.scale, view.width()),
               LimitAxis(z.y, image.height() * z.scale, view.height()));
}

Zoom ToSlice(const QRect& square, QSize view, double fitted, double maxScale) {
  const int side = std::max(square.width(), square.height());
  const int shorter = std::min(view.width(), view.height());
  double scale = side > 0 ? kSlicePart * shorter / side : fitted;
  scale = std::clamp(scale, fitted, std::max(fitted, maxScale));
  const QPointF centre(square.x() + square.width() / 2.0, square.y() + square.height() / 2.0);
  return CentredOn(scale, centre, view);
}

Zoom Resized(const Zoom& z, QSize oldView, QSize newView) {
  return Panned(z, (newView.width() - oldView.width()) / 2.0,
                (newView.height() - oldView.height()) / 2.0);
}

int Percent(double scale, double ratio) {
  return static_cast<int>(std::lround(scale * ratio * 100.0));
}

}  // namespace viewzoom
