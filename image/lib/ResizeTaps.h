// The fixed-point tap tables and the rounding behind the resize method codes,
// shared with callers that re-scale only part of a picture (the view's display
// copy), so that a partial update equals the full resize byte for byte.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qimg {

inline constexpr int kResizeWeightBits = 14;  // weights are Q14
inline constexpr int kResizeMidBits = 7;      // fraction bits of the intermediate
inline constexpr int32_t kResizeMidMax = 255 << kResizeMidBits;

// Per output position: first source index, tap count, offset of its Q14
// weights, which sum to exactly 1 << kResizeWeightBits.
struct ResizeTaps {
  std::vector<int> first, count;
  std::vector<size_t> offset;
  std::vector<int16_t> weights;
};

// kAreaOrBilinear: an area average when reducing, bilinear when enlarging
// (method codes 0 and 16); kLanczos3: method 17.
enum class ResizeFilter { kAreaOrBilinear, kLanczos3 };

// The taps of n outputs from m source pixels; sources beyond the edges fold
// onto the edge pixel.
void BuildResizeTaps(ResizeTaps& taps, int n, int m, ResizeFilter filter);

// A weighted sum of bytes rounded into the Q7 intermediate, and a weighted sum
// of intermediates rounded into a byte.
inline uint16_t ResizeToMid(int32_t acc) {
  return uint16_t(std::clamp((acc + (1 << (kResizeWeightBits - kResizeMidBits - 1))) >>
                                 (kResizeWeightBits - kResizeMidBits),
                             0, kResizeMidMax));
}
inline uint8_t ResizeToByte(int32_t acc) {
  constexpr int shift = kResizeWeightBits + kResizeMidBits;
  return uint8_t(std::clamp((acc + (1 << (shift - 1))) >> shift, 0, 255));
}

}  // namespace qimg
