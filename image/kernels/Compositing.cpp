#include "image/kernels/Compositing.h"

#include <cmath>
#include <cstddef>

#include "image/kernels/Parallel.h"

namespace {

// Tap positions and cubic-convolution weights (a = -1) along one axis. The
// clamping rules decide which neighbours an edge sample reuses.
struct Taps {
  int index[4];
  double weight[4];
};

inline void AxisTaps(double p, int size, Taps& taps) {
  if (!(p >= 0)) p = 0;  // also catches NaN
  if (p > size - 1) p = size - 1;
  int ip = int(p);
  taps.index[0] = p >= 1 ? ip - 1 : 0;
  taps.index[1] = p < size - 1 ? ip : size - 1;
  taps.index[2] = p < size - 2 ? ip + 1 : taps.index[1];
  taps.index[3] = p < size - 3 ? ip + 2 : taps.index[2];
  double t = p - std::floor(p);
  taps.weight[0] = -t * (1 - t) * (1 - t);
  taps.weight[1] = 1 - 2 * t * t + t * t * t;
  taps.weight[2] = t + t * t - t * t * t;
  taps.weight[3] = -t * t * (1 - t);
}

inline uint8_t RoundClamp(double v) {
  v += 0.5;
  if (v >= 255) return 255;
  return v > 0 ? uint8_t(v) : 0;
}

template <int N>
inline void Sample(const uint8_t* pixels, int width, int height, double x, double y,
                   uint8_t out[4]) {
  Taps cols, rows;
  AxisTaps(x, width, cols);
  AxisTaps(y, height, rows);
  const uint8_t* rowPtr[4];
  for (int r = 0; r < 4; ++r) rowPtr[r] = pixels + size_t(rows.index[r]) * size_t(width) * N;
  size_t off[4];
  for (int c = 0; c < 4; ++c) off[c] = size_t(cols.index[c]) * N;
  for (int k = 0; k < N; ++k) {
    double rowValue[4];
    for (int r = 0; r < 4; ++r) {
      const uint8_t* p = rowPtr[r] + k;
      rowValue[r] = cols.weight[0] * p[off[0]] + cols.weight[1] * p[off[1]] +
                    cols.weight[2] * p[off[2]] + cols.weight[3] * p[off[3]];
    }
    out[k] = RoundClamp(rows.weight[0] * rowValue[0] + rows.weight[1] * rowValue[1] +
                        rows.weight[2] * rowValue[2] + rows.weight[3] * rowValue[3]);
  }
  if (N == 3) out[3] = 0;
}

inline int64_t Pixels(int width, int height) { return int64_t(width) * int64_t(height); }

}  // namespace

void FeatherEdges(uint8_t* rgba, int width, int height, int r) {
  if (!rgba || r <= 0 || height <= 0 || width <= 0) return;
  const float fr = float(r);
  auto factor = [fr, r](int p, int size) -> float {
    if (p < r) return float(p) / fr;
    if (p > size - r) return float(size - 1 - p) / fr;
    return 1.0f;
  };
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rgba + size_t(y) * size_t(width) * 4;
    const float fy = factor(y, height);
    auto scale = [row, fy, &factor, width](int x) {
      uint8_t& a = row[size_t(x) * 4 + 3];
      a = uint8_t(int(float(a) * (factor(x, width) * fy)));
    };
    if (fy != 1.0f) {
      for (int x = 0; x < width; ++x) scale(x);
      continue;
    }
    // Between the ramps the factor is exactly 1: only the ramp columns change.
    int head = r < width ? r : width;
    for (int x = 0; x < head; ++x) scale(x);
    int tail = width - r + 1;
    for (int x = tail > head ? tail : head; x < width; ++x) scale(x);
  }
}

void SampleBicubic(const uint8_t* pixels, int width, int height, double x, double y, int n,
                   uint8_t out[4]) {
  if (!pixels || width <= 0 || height <= 0 || (n != 3 && n != 4)) {
    out[0] = out[1] = out[2] = out[3] = 0;
    return;
  }
  if (n == 4)
    Sample<4>(pixels, width, height, x, y, out);
  else
    Sample<3>(pixels, width, height, x, y, out);
}

void ExtractRotatedSquare(const uint8_t* source, int width, int height, int cx, int cy, int s,
                          double theta, uint8_t* target) {
  if (!source || !target || width <= 0 || height <= 0 || s <= 0) return;
  const double cs = std::cos(theta), sn = std::sin(theta);
  const int half = s / 2;
  qkern::ParallelFor(s, qkern::ThreadsFor(Pixels(s, s) * 64), [&](int begin, int end) {
    uint8_t px[4];
    for (int i = begin; i < end; ++i) {
      const double v = double(i - half);
      uint8_t* out = target + size_t(i) * size_t(s) * 3;
      for (int j = 0; j < s; ++j, out += 3) {
        const double u = double(j - half);
        const double x = double(cx) + u * cs - v * sn;
        const double y = double(cy) + u * sn + v * cs;
        Sample<3>(source, width, height, x, y, px);
        out[0] = px[0];
        out[1] = px[1];
        out[2] = px[2];
      }
    }
  });
}

void RenderRotatedOverlay(const uint8_t* background, int width, int height, int cx, int cy,
                          float theta, const uint8_t* slice, int sliceWidth, int sliceHeight,
                          uint8_t* overlay, int ox, int oy, int overlayWidth, int overlayHeight) {
  (void)background;  // only its extent matters: the overlay is transparent outside it
  if (!overlay || overlayWidth <= 0 || overlayHeight <= 0) return;
  const bool haveSlice = slice && sliceWidth > 0 && sliceHeight > 0;
  const float cs = std::cos(theta), sn = std::sin(theta);
  const float halfW = float(sliceWidth / 2), halfH = float(sliceHeight / 2);
  const float sw = float(sliceWidth), sh = float(sliceHeight);
  qkern::ParallelFor(overlayHeight, qkern::ThreadsFor(Pixels(overlayWidth, overlayHeight) * 32),
                     [&](int begin, int end) {
                       for (int r = begin; r < end; ++r) {
                         uint8_t* out = overlay + size_t(r) * size_t(overlayWidth) * 4;
                         const int64_t y = int64_t(oy) + r;
                         const bool rowInside = y >= 0 && y < height;
                         const float dy = float(y - cy);
                         for (int c = 0; c < overlayWidth; ++c, out += 4) {
                           const int64_t x = int64_t(ox) + c;
                           if (!rowInside || x < 0 || x >= width || !haveSlice) {
                             out[0] = out[1] = out[2] = out[3] = 0;
                             continue;
                           }
                           const float dx = float(x - cx);
                           const float sx = dx * cs + dy * sn + halfW;
                           const float sy = dy * cs - dx * sn + halfH;
                           if (sx >= 0 && sx < sw && sy >= 0 && sy < sh) {
                             Sample<4>(slice, sliceWidth, sliceHeight, sx, sy, out);
                           } else {
                             out[0] = out[1] = out[2] = out[3] = 0;
                           }
                         }
                       }
                     });
}
