// Resize by method code. Placeholder: plain bilinear for every method until
// the proper filters land.
#include <algorithm>
#include <cmath>

#include "image/lib/Imaging.h"

namespace qimg {

bool ResizeImage(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight,
                 uint32_t srcRowBytes, uint8_t* dst, uint32_t dstWidth, uint32_t dstHeight,
                 uint32_t dstRowBytes, uint32_t bytesPerPixel, uint32_t method) {
  if (!src || !dst || srcWidth == 0 || srcHeight == 0 || dstWidth == 0 || dstHeight == 0 ||
      (bytesPerPixel != 3 && bytesPerPixel != 4))
    return false;
  for (uint32_t y = 0; y < dstHeight; ++y) {
    double sy = (y + 0.5) * srcHeight / dstHeight - 0.5;
    if (sy < 0) sy = 0;
    uint32_t y0 = std::min<uint32_t>(uint32_t(sy), srcHeight - 1);
    uint32_t y1 = std::min(y0 + 1, srcHeight - 1);
    double fy = sy - y0;
    for (uint32_t x = 0; x < dstWidth; ++x) {
      double sx = (x + 0.5) * srcWidth / dstWidth - 0.5;
      if (sx < 0) sx = 0;
      uint32_t x0 = std::min<uint32_t>(uint32_t(sx), srcWidth - 1);
      uint32_t x1 = std::min(x0 + 1, srcWidth - 1);
      double fx = sx - x0;
      for (uint32_t c = 0; c < bytesPerPixel; ++c) {
        auto at = [&](uint32_t xx, uint32_t yy) {
          return double(src[size_t{yy} * srcRowBytes + size_t{xx} * bytesPerPixel + c]);
        };
        double v = (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) +
                   (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
        dst[size_t{y} * dstRowBytes + size_t{x} * bytesPerPixel + c] = uint8_t(v + 0.5);
      }
    }
  }
  return true;
}

}  // namespace qimg
