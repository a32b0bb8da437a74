// The image view's arithmetic, free of widgets: the fit rule, the picture's
// offset, the slice square on screen with its rotated corners and handle,
// the brush outline's reach and radii, and the image point under a client
// point. Client coordinates are logical pixels; truncation is toward zero
// wherever the view's rules say so.
#pragma once

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <array>

namespace viewgeom {

// The fit rule for a source of width x height in a client area of
// clientWidth x clientHeight: true when the source must be scaled, with the
// fitted size and the scale; false (outputs untouched) when it fits.
struct Fit {
  int width = 0;
  int height = 0;
  double scale = 1.0;
};
bool FitInto(int width, int height, int clientWidth, int clientHeight, Fit& fit);
// Top-left corner that centres a picture of the given size (integer halves).
QPoint CentredOffset(int clientWidth, int clientHeight, int width, int height);

// Image pixel under a client point, for display scale s and image offset.
QPoint ImagePoint(QPoint client, double scale, QPoint offset);

// The slice square on screen: (left, top, width, height) from the slice
// rectangle in image pixels.
QRect SliceScreenRect(const QRect& slice, double scale, QPoint offset);

// The square drawn for a screen rectangle at an angle in whole degrees:
// centre, side, single-precision sine and cosine, the four corners.
struct Square {
  int cx = 0, cy = 0, side = 0;
  float cosine = 1.f, sine = 0.f;
  std::array<QPoint, 4> corners;
  QRect Bounds() const;  // the corners' bounding box, right and bottom inclusive
};
Square RotatedSquare(const QRect& screen, int angle);

// The rotation handle of a square: the disc on the top edge's midpoint and
// the square's two centre axes.
struct Handle {
  QPoint axis1From, axis1To, axis2From, axis2To;
  QRect disc;  // bounding box of the disc; contains() is the hit test
};
int HandleRadius(int logicalDpiX);
Handle RotationHandle(const Square& square, int radius);
// The move hit test of the slice: the axis-aligned screen rectangle with its
// edges included.
bool InsideSlice(const QRect& screen, QPoint p);

// The margin within which the pointer counts as near the slice in merge mode
// (strict comparisons), from the brush's stamp side.
int BrushNearMargin(int stampSide, double scale);
bool BrushNear(const QRect& screen, int margin, QPoint p);

// Brush outline and preview: diameter, outer and inner radii and the core's
// red level.
struct BrushDiscs {
  int radius = 0;      // outer (brush rectangle grown by this)
  int coreRadius = 0;  // inner disc of the preview
  int coreRed = 0;     // fill (coreRed, 0, 0) of the inner disc
};
BrushDiscs BrushRadii(bool preview, int stampSide, int brushSize, double softness, int opacity,
                      double scale);
// The brush rectangle around a point (right and bottom exclusive).
QRect BrushRect(QPoint centre, int radius);
// Whether the brush rectangle reaches into the slice rectangle grown by
// radius / 2 (all comparisons strict).
bool BrushMeetsSlice(const QRect& brush, const QRect& screen, int radius);

// The angle a rotation drag gives: start angle plus the turn, in whole
// degrees (truncated), of the pointer around the centre since the anchor.
int DragAngle(int startAngle, QPoint centre, QPoint anchor, QPoint pointer);

// Top-left of the magnifier patch of side patchSide device pixels centred
// on the image point (mx, my), in logical pixels at device pixel ratio.
QPointF MagnifierTopLeft(QPoint centre, double scale, QPoint offset, int patchSide, double ratio);

}  // namespace viewgeom
