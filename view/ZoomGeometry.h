// The zoomed view's arithmetic, free of widgets: a zoom is a scale (logical
// client pixels per image pixel) and the client position of image point
// (0, 0). The fitted view keeps its own rules (ViewGeometry); these serve
// every zoom above it.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

namespace viewzoom {

struct Zoom {
  double scale = 1.0;
  double x = 0.0, y = 0.0;  // client position of image point (0, 0)
  bool operator==(const Zoom&) const = default;
  // Where the picture is drawn: whole client pixels, so that picture pixels
  // fall on whole screen pixels at whole-number scales and the overlays line
  // up with them. The exact position is kept so that zooming again and again
  // about one point does not drift.
  QPoint Origin() const;
};

constexpr double kMaxScale = 16.0;
// Part of the view, per axis, that keeps picture in it.
constexpr double kKeptPart = 0.25;
// Part of the view that one arrow key press pans.
constexpr double kPanPart = 0.1;
// Part of the view's shorter side the square fills after Zoom to Slice.
constexpr double kSlicePart = 0.9;

// The image pixel under a client point (rounding down, also left of and
// above the picture).
QPoint ImagePointAt(QPointF client, const Zoom& zoom);
// The client position of an image point (its pixel's top-left corner).
QPointF ClientOf(QPointF image, const Zoom& zoom);
// The image rectangle shown in a view of the given size, clipped to the picture.
QRect VisibleImageRect(const Zoom& zoom, QSize view, QSize image);

// The next scale of the ladder fitted × √2^n (n ≥ 0) above (steps > 0) or
// below (steps < 0) current, limited to [fitted, maxScale].
double StepScale(double fitted, double current, int steps, double maxScale = kMaxScale);
// The zoom at newScale that keeps the image point under fixed where it is.
Zoom ZoomAbout(const Zoom& zoom, double newScale, QPointF fixed);
// The zoom at scale with the image point at the view's centre.
Zoom CentredOn(double scale, QPointF image, QSize view);
// The zoom moved by (dx, dy) client pixels.
Zoom Panned(const Zoom& zoom, double dx, double dy);
// The zoom moved as little as needed so that, in each axis, the picture
// covers a quarter of the view (or all of itself when it is smaller).
Zoom Limited(const Zoom& zoom, QSize view, QSize image);
// Zoom to Slice: the square (image pixels) fills 90 % of the view's shorter
// side, centred; the scale stays within [fitted, maxScale].
Zoom ToSlice(const QRect& square, QSize view, double fitted, double maxScale = kMaxScale);
// After a resize from oldView to newView: the image point that was at the
// old centre is at the new one.
Zoom Resized(const Zoom& zoom, QSize oldView, QSize newView);
// Whole percent of device pixels per image pixel, for the status bar.
int Percent(double scale, double ratio);

}  // namespace viewzoom
