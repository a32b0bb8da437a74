// The squares of a slice grid: they cover a region of the picture, each
// overlaps its neighbours by at least the asked overlap, they are spread
// evenly and lie inside the picture (the last row and column end at the
// region's far edges). Pure arithmetic, shared by the export and the view.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

// The start positions along one axis: the region [start, start + length)
// clamped to [0, pictureLength). Empty when nothing of it lies inside.
std::vector<int> GridPositions(int start, int length, int pictureLength, int side, int overlap);

// The squares' top-left corners, row by row. The side is in picture pixels,
// the overlap 0 to side / 2; anything else gives no squares.
std::vector<QPoint> SliceGrid(QSize picture, QRect region, int side, int overlap);
