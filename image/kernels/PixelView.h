// A non-owning view of pixels as kernels see them: a pointer, the size, the
// distance between rows and the bytes per pixel. Every offset is 64-bit, so
// that pictures beyond 4 GB stay addressable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "image/kernels/PixelRect.h"

namespace qkern {

template <class Byte>
struct BasicPixelView {
  Byte* pixels = nullptr;
  std::ptrdiff_t width = 0, height = 0;
  std::ptrdiff_t stride = 0;  // bytes from one row to the next
  std::ptrdiff_t bytesPerPixel = 1;

  // A tightly packed picture of width x height.
  static BasicPixelView Packed(Byte* pixels, std::ptrdiff_t width, std::ptrdiff_t height,
                               std::ptrdiff_t bytesPerPixel) {
    return {pixels, width, height, width * bytesPerPixel, bytesPerPixel};
  }
  bool IsEmpty() const { return !pixels || width <= 0 || height <= 0; }
  Byte* Row(std::ptrdiff_t y) const { return pixels + y * stride; }
  Byte* At(std::ptrdiff_t x, std::ptrdiff_t y) const { return Row(y) + x * bytesPerPixel; }
  PixelRect Bounds() const { return {0, 0, static_cast<int>(width), static_cast<int>(height)}; }
  // The part of the view inside r (clipped to it), with r's top-left as origin.
  BasicPixelView Crop(const PixelRect& r) const {
    const PixelRect inside = r.Intersected(Bounds());
    if (inside.IsEmpty()) return {nullptr, 0, 0, stride, bytesPerPixel};
    return {At(inside.left, inside.top), inside.Width(), inside.Height(), stride, bytesPerPixel};
  }
  operator BasicPixelView<const Byte>() const requires(!std::is_const_v<Byte>) {
    return {pixels, width, height, stride, bytesPerPixel};
  }
};

using PixelView = BasicPixelView<uint8_t>;
using ConstPixelView = BasicPixelView<const uint8_t>;

}  // namespace qkern
