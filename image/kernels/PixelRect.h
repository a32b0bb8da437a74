// A rectangle of pixels, right and bottom exclusive; empty when either side is
// not positive. Union and intersection treat an empty rectangle as nothing.
#pragma once

#include <algorithm>
#include <cstdint>

namespace qkern {

struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;

  bool IsEmpty() const { return right <= left || bottom <= top; }
  int64_t Width() const { return IsEmpty() ? 0 : int64_t{right} - left; }
  int64_t Height() const { return IsEmpty() ? 0 : int64_t{bottom} - top; }
  bool Contains(const PixelRect& r) const {
    return r.IsEmpty() ||
           (!IsEmpty() && r.left >= left && r.top >= top && r.right <= right && r.bottom <= bottom);
  }
  // The bounding box of both.
  PixelRect United(const PixelRect& r) const {
    if (r.IsEmpty()) return *this;
    if (IsEmpty()) return r;
    return {std::min(left, r.left), std::min(top, r.top), std::max(right, r.right),
            std::max(bottom, r.bottom)};
  }
  void Include(const PixelRect& r) { *this = United(r); }
  // The common part; an empty rectangle when they do not meet.
  PixelRect Intersected(const PixelRect& r) const {
    const PixelRect common{std::max(left, r.left), std::max(top, r.top), std::min(right, r.right),
                           std::min(bottom, r.bottom)};
    return common.IsEmpty() ? PixelRect{} : common;
  }
  PixelRect Translated(int dx, int dy) const {
    return {left + dx, top + dy, right + dx, bottom + dy};
  }
  bool operator==(const PixelRect&) const = default;
};

}  // namespace qkern
