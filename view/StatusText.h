// The status bar's place texts of the image view, free of widgets: the image
// point under the pointer and the square while it is dragged or turned.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

namespace statustext {

// "x 1200, y 340".
QString ImagePoint(QPoint point);
// "slice 1200, 340, 512 × 512, 35°" (top-left corner, size, angle).
QString Slice(const QRect& slice, int angle);
// What the view shows for the pointer at image point over a picture of
// imageSize: the point inside the picture, nothing outside it; the square
// while dragging (dragState 1 or 2) whatever the pointer is over.
QString PlaceText(QPoint point, QSize imageSize, int dragState, const QRect& slice, int angle);

}  // namespace statustext
