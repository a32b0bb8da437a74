#include "document/SliceGrid.h"

#include <algorithm>
#include <cstdint>

std::vector<int> GridPositions(int start, int length, int pictureLength, int side, int overlap) {
  const int64_t from = std::clamp<int64_t>(start, 0, pictureLength);
  const int64_t to = std::clamp<int64_t>(int64_t{start} + length, 0, pictureLength);
  const int64_t span = to - from;
  if (span <= 0 || side < 1 || overlap < 0 || overlap > side / 2) return {};
  // A picture narrower than the square: one square from its edge (the export
  // repeats the edge pixels beyond it).
  if (pictureLength <= side) return {0};
  if (span <= side) {
    const int64_t centred = from + (span - side) / 2;
    return {static_cast<int>(std::clamp<int64_t>(centred, 0, int64_t{pictureLength} - side))};
  }
  // The fewest squares whose even spread keeps every step within side - overlap.
  const int64_t travel = span - side;
  const int64_t stride = side - overlap;
  const int64_t gaps = (travel + stride - 1) / stride;
  std::vector<int> positions;
  positions.reserve(static_cast<size_t>(gaps + 1));
  for (int64_t i = 0; i <= gaps; ++i)
    positions.push_back(static_cast<int>(from + (2 * i * travel + gaps) / (2 * gaps)));
  return positions;
}

std::vector<QPoint> SliceGrid(QSize picture, QRect region, int side, int overlap) {
  const std::vector<int> xs =
      GridPositions(region.x(), region.width(), picture.width(), side, overlap);
  const std::vector<int> ys =
      GridPositions(region.y(), region.height(), picture.height(), side, overlap);
  std::vector<QPoint> squares;
  squares.reserve(xs.size() * ys.size());
  for (int y : ys)
    for (int x : xs) squares.emplace_back(x, y);
  return squares;
}
