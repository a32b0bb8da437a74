#include "image/kernels/MergeKernels.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace qkern {

void CopyPixels(ConstPixelView from, PixelView to) {
  if (from.IsEmpty() || to.IsEmpty() || from.bytesPerPixel != to.bytesPerPixel) return;
  const std::ptrdiff_t rows = std::min(from.height, to.height);
  const auto bytes = static_cast<std::size_t>(std::min(from.width, to.width) * from.bytesPerPixel);
  for (std::ptrdiff_t y = 0; y < rows; ++y) std::memcpy(to.Row(y), from.Row(y), bytes);
}

void ResetFeatherBands(PixelView rgba, int r) {
  if (r <= 0 || rgba.IsEmpty()) return;
  const std::ptrdiff_t w = rgba.width, h = rgba.height, ramp = r;
  auto columns = [&](std::ptrdiff_t y, std::ptrdiff_t x0, std::ptrdiff_t x1) {
    uint8_t* p = rgba.Row(y);
    for (std::ptrdiff_t x = x0; x < x1; ++x) p[4 * x + 3] = 255;
  };
  const std::ptrdiff_t top = std::min(ramp, h), bottom = std::max(top, h - ramp + 1);
  for (std::ptrdiff_t y = 0; y < top; ++y) columns(y, 0, w);
  for (std::ptrdiff_t y = bottom; y < h; ++y) columns(y, 0, w);
  const std::ptrdiff_t left = std::min(ramp, w), right = std::max(left, w - ramp + 1);
  for (std::ptrdiff_t y = top; y < bottom; ++y) {
    columns(y, 0, left);
    columns(y, right, w);
  }
}

namespace {

// n stamp columns of one row: the mask alone.
inline void DabMask(uint8_t* mask, const uint8_t* snapshot, const uint8_t* stamp, std::ptrdiff_t n,
                    const uint8_t target[256]) {
  for (std::ptrdiff_t u = 0; u < n; ++u) {
    const uint8_t sv = stamp[u];
    if (sv != 0) mask[u] = MixTowards(mask[u], target[snapshot[u]], sv);
  }
}

// n stamp columns over the main picture: the mask, the blend mask and the
// main pixels.
inline void DabBlend(uint8_t* mask, const uint8_t* snapshot, const uint8_t* stamp,
                     const uint8_t* overlay, uint8_t* blend, const uint8_t* backup, uint8_t* main,
                     std::ptrdiff_t n, const uint8_t target[256]) {
  for (std::ptrdiff_t u = 0; u < n; ++u) {
    const uint8_t sv = stamp[u];
    if (sv == 0) continue;
    mask[u] = MixTowards(mask[u], target[snapshot[u]], sv);
    const uint8_t* ov = overlay + 4 * u;
    const uint32_t e = uint32_t{ov[3]} * mask[u] / 255;
    blend[u] = static_cast<uint8_t>(e);
    const uint8_t* b = backup + 3 * u;
    uint8_t* m = main + 3 * u;
    m[0] = BlendChannel(b[0], ov[0], e);
    m[1] = BlendChannel(b[1], ov[1], e);
    m[2] = BlendChannel(b[2], ov[2], e);
  }
}

}  // namespace

PixelRect PaintMaskDab(const MaskLayers& l, ConstPixelView stamp, int cornerX, int cornerY,
                       const uint8_t target[256]) {
  const std::ptrdiff_t cx = cornerX, cy = cornerY;
  // The stamp's part inside the mask.
  const std::ptrdiff_t u0 = std::max<std::ptrdiff_t>(0, -cx), v0 = std::max<std::ptrdiff_t>(0, -cy);
  const std::ptrdiff_t u1 = std::min(stamp.width, l.mask.width - cx);
  const std::ptrdiff_t v1 = std::min(stamp.height, l.mask.height - cy);
  if (u1 <= u0 || v1 <= v0) return {};
  // The part of those columns that lies on the main picture, computed once
  // instead of tested at every pixel.
  const std::ptrdiff_t mainX = std::ptrdiff_t{l.ox} + cx, mainY = std::ptrdiff_t{l.oy} + cy;
  const std::ptrdiff_t b0 = std::clamp(-mainX, u0, u1);
  const std::ptrdiff_t b1 = std::clamp(l.main.width - mainX, b0, u1);
  for (std::ptrdiff_t v = v0; v < v1; ++v) {
    const std::ptrdiff_t my = cy + v;
    const uint8_t* stampRow = stamp.Row(v);
    auto maskOnly = [&](std::ptrdiff_t from, std::ptrdiff_t to) {
      if (to > from)
        DabMask(l.mask.At(cx + from, my), l.snapshot.At(cx + from, my), stampRow + from, to - from,
                target);
    };
    const bool rowInMain = l.blend && mainY + v >= 0 && mainY + v < l.main.height;
    if (!rowInMain || b1 <= b0) {
      maskOnly(u0, u1);
      continue;
    }
    maskOnly(u0, b0);
    DabBlend(l.mask.At(cx + b0, my), l.snapshot.At(cx + b0, my), stampRow + b0,
             l.overlay.At(cx + b0, my), l.blendMask.At(cx + b0, my),
             l.backup.At(mainX + b0, mainY + v), l.main.At(mainX + b0, mainY + v), b1 - b0, target);
    maskOnly(b1, u1);
  }
  return {static_cast<int>(cx + u0), static_cast<int>(cy + v0), static_cast<int>(cx + u1),
          static_cast<int>(cy + v1)};
}

DabRange DabsBetween(int start, float step, int low, int high, int count) {
  const auto corner = [&](int k) {
    return static_cast<int>(static_cast<float>(start) + static_cast<float>(k) * step);
  };
  // The corner moves one way along the segment, so each bound is found by
  // bisection: the first k in [0, count) for which past(k) holds.
  const auto first = [&](auto past) {
    int lo = 0, hi = count;
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      if (past(mid))
        hi = mid;
      else
        lo = mid + 1;
    }
    return lo;
  };
  if (step >= 0)
    return {first([&](int k) { return corner(k) > low; }),
            first([&](int k) { return corner(k) >= high; })};
  return {first([&](int k) { return corner(k) < high; }),
          first([&](int k) { return corner(k) <= low; })};
}

}  // namespace qkern
