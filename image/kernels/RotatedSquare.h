// The turned square of the slice: its centre (a whole pixel), the sine and
// cosine of its angle in the precision the caller's rule needs (single for
// the merge and the view, double for the export's cut), the map from square
// offsets to picture points and back, its corners and bounding box.
// Every caller keeps its own evaluation order: these are the expressions
// each one used, written once.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace qkern {

template <class T>
struct RotatedSquare {
  int cx = 0, cy = 0;
  T cosine = 1, sine = 0;

  static T Radians(int degrees) { return static_cast<T>(degrees * std::numbers::pi / 180.0); }
  static RotatedSquare FromRadians(int cx, int cy, T theta) {
    return {cx, cy, std::cos(theta), std::sin(theta)};
  }
  static RotatedSquare FromDegrees(int cx, int cy, int degrees) {
    return FromRadians(cx, cy, Radians(degrees));
  }

  struct Point {
    T x = 0, y = 0;
  };
  // The turned offset (u, v) of the square's frame, without the centre.
  Point Turned(T u, T v) const { return {u * cosine - v * sine, u * sine + v * cosine}; }
  // The picture point at offset (u, v) from the centre in the square's frame.
  Point Forward(T u, T v) const {
    return {static_cast<T>(cx) + u * cosine - v * sine, static_cast<T>(cy) + u * sine + v * cosine};
  }
  // The square-frame offset of the picture pixel (x, y) from the centre.
  Point Inverse(int64_t x, int64_t y) const {
    return InverseOffset(static_cast<T>(x - cx), static_cast<T>(y - cy));
  }
  // The same from the pixel's offset to the centre (a row's dy taken once).
  Point InverseOffset(T dx, T dy) const {
    return {dx * cosine + dy * sine, dy * cosine - dx * sine};
  }
  // The corners of a halfWidth x halfHeight rectangle about the centre, in the
  // order (-,-), (-,+), (+,-), (+,+) of (u, v).
  std::array<Point, 4> Corners(T halfWidth, T halfHeight) const {
    return {Forward(-halfWidth, -halfHeight), Forward(-halfWidth, halfHeight),
            Forward(halfWidth, -halfHeight), Forward(halfWidth, halfHeight)};
  }
  struct Box {
    T minX = 0, minY = 0, maxX = 0, maxY = 0;
  };
  Box Bounds(T halfWidth, T halfHeight) const {
    const std::array<Point, 4> c = Corners(halfWidth, halfHeight);
    Box b{c[0].x, c[0].y, c[0].x, c[0].y};
    for (const Point& p : c) {
      b.minX = std::min(b.minX, p.x);
      b.maxX = std::max(b.maxX, p.x);
      b.minY = std::min(b.minY, p.y);
      b.maxY = std::max(b.maxY, p.y);
    }
    return b;
  }
};

using RotatedSquareF = RotatedSquare<float>;
using RotatedSquareD = RotatedSquare<double>;

}  // namespace qkern
