// Pixel loops of the merge that need no document: the rectangle copy, the
// mask brush's dab, and putting a feather's alpha back.
#pragma once

#include <cstdint>

#include "image/kernels/PixelView.h"

namespace qkern {

// Copies the common extent of two views (same bytes per pixel) row by row.
void CopyPixels(ConstPixelView from, PixelView to);

// The weighted blend of one channel: e = 0 keeps the backup, 255 the overlay.
inline uint8_t BlendChannel(uint32_t backup, uint32_t overlay, uint32_t e) {
  return static_cast<uint8_t>((backup * (255 - e) + overlay * e) / 255);
}

// trunc(target * R + m * (1 - R)) with R = weight / 255, computed exactly:
// in double precision m = target gives target - 1e-14 and the eraser would
// sink one step below its target with every further dab.
inline uint8_t MixTowards(int m, int target, int weight) {
  const int change = (target - m) * weight;
  // Floor division: the sum is positive, so truncation rounds down.
  const int step = change >= 0 ? change / 255 : -((-change + 254) / 255);
  return static_cast<uint8_t>(m + step);
}

// Puts alpha back to 255 where a feather of ramp r lowered it: the first r
// and the last r - 1 rows and columns of an RGBA view.
void ResetFeatherBands(PixelView rgba, int r);

// The merge's layers under the mask brush: the mask and its snapshot at the
// stroke's start (1 byte), the overlay (RGBA) and the blend mask (1 byte) of
// the same size, and the backup and main pictures (RGB) the overlay lies on
// at (ox, oy). blend false: only the mask is painted.
struct MaskLayers {
  PixelView mask;
  ConstPixelView snapshot;
  ConstPixelView overlay;
  PixelView blendMask;
  ConstPixelView backup;
  PixelView main;
  int ox = 0, oy = 0;
  bool blend = false;
};

// One dab of a side x side stamp with its top-left at corner (mask
// coordinates): each mask byte moves towards target[its snapshot byte] by the
// stamp's weight, and where the overlay lies on the main picture the main
// pixel and the blend mask are blended again. Returns the mask pixels the
// stamp covered (empty: none).
PixelRect PaintMaskDab(const MaskLayers& layers, ConstPixelView stamp, int cornerX, int cornerY,
                       const uint8_t target[256]);

// The dabs of a stroke segment whose corner on one axis, start + k * step
// truncated to int, lies strictly between low and high: [begin, end) within
// [0, count). A segment across absurd coordinates then paints only the dabs
// that can touch the mask instead of stepping through millions that can't.
struct DabRange {
  int begin, end;
};
DabRange DabsBetween(int start, float step, int low, int high, int count);

}  // namespace qkern
