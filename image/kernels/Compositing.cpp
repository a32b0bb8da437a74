#include "image/kernels/Compositing.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

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
  const int ip = int(p);
  taps.index[0] = p >= 1 ? ip - 1 : 0;
  taps.index[1] = p < size - 1 ? ip : size - 1;
  taps.index[2] = p < size - 2 ? ip + 1 : taps.index[1];
  taps.index[3] = p < size - 3 ? ip + 2 : taps.index[2];
  const double t = p - double(ip);  // p >= 0, so this is p - floor(p)
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
inline void SamplePlain(const uint8_t* pixels, int width, int height, double x, double y,
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

// The same sums with the channels as the lanes of one vector: each lane
// evaluates exactly the expression of SamplePlain, so results are identical.
template <int N>
__attribute__((target("avx2"), always_inline)) inline __m256d Pixel(const uint8_t* p) {
  uint32_t bytes;
  if constexpr (N == 4) {
    std::memcpy(&bytes, p, 4);
  } else {
    // Three bytes, assembled in a register: a 4-byte load could pass the
    // end of the buffer, and a partial copy through memory stalls.
    uint16_t low;
    std::memcpy(&low, p, 2);
    bytes = uint32_t(low) | uint32_t(p[2]) << 16;
  }
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(bytes))));
}

template <int N>
__attribute__((target("avx2"), always_inline)) inline void SampleAvx2(const uint8_t* pixels,
                                                                      int width, int height,
                                                                      double x, double y,
                                                                      uint8_t out[4]) {
  Taps cols, rows;
  AxisTaps(x, width, cols);
  AxisTaps(y, height, rows);
  const size_t o0 = size_t(cols.index[0]) * N, o1 = size_t(cols.index[1]) * N,
               o2 = size_t(cols.index[2]) * N, o3 = size_t(cols.index[3]) * N;
  const __m256d e0 = _mm256_set1_pd(cols.weight[0]), e1 = _mm256_set1_pd(cols.weight[1]),
                e2 = _mm256_set1_pd(cols.weight[2]), e3 = _mm256_set1_pd(cols.weight[3]);
  __m256d total = _mm256_setzero_pd();
  for (int r = 0; r < 4; ++r) {
    const uint8_t* p = pixels + size_t(rows.index[r]) * size_t(width) * N;
    __m256d v = _mm256_mul_pd(e0, Pixel<N>(p + o0));
    v = _mm256_add_pd(v, _mm256_mul_pd(e1, Pixel<N>(p + o1)));
    v = _mm256_add_pd(v, _mm256_mul_pd(e2, Pixel<N>(p + o2)));
    v = _mm256_add_pd(v, _mm256_mul_pd(e3, Pixel<N>(p + o3)));
    const __m256d term = _mm256_mul_pd(_mm256_set1_pd(rows.weight[r]), v);
    total = r == 0 ? term : _mm256_add_pd(total, term);
  }
  total = _mm256_add_pd(total, _mm256_set1_pd(0.5));
  // max first: it turns NaN into 0 as the scalar comparisons do
  total = _mm256_min_pd(_mm256_max_pd(total, _mm256_setzero_pd()), _mm256_set1_pd(255));
  const __m128i q = _mm256_cvttpd_epi32(total);
  const uint32_t packed = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(q, q), q)));
  std::memcpy(out, &packed, 4);
  if (N == 3) out[3] = 0;
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

// Rotated cut, rows i0..i1 of the target.
struct ExtractJob {
  const uint8_t* source;
  int width, height, cx, cy, s, half;
  double cs, sn;
  uint8_t* target;
};

// Output in tiles of kTile x kTile: a turned tile reads a compact patch of
// the source that stays in cache, where a whole turned row would not.
constexpr int kTile = 64;

#define QUILTOR_EXTRACT_ROWS(SAMPLE)                                    \
  uint8_t px[4];                                                        \
  for (int j0 = 0; j0 < job.s; j0 += kTile) {                           \
    const int j1 = std::min(job.s, j0 + kTile);                         \
    for (int i = i0; i < i1; ++i) {                                     \
      const double v = double(i - job.half);                            \
      uint8_t* out = job.target + (size_t(i) * size_t(job.s) + j0) * 3; \
      for (int j = j0; j < j1; ++j, out += 3) {                         \
        const double u = double(j - job.half);                          \
        const double x = double(job.cx) + u * job.cs - v * job.sn;      \
        const double y = double(job.cy) + u * job.sn + v * job.cs;      \
        SAMPLE<3>(job.source, job.width, job.height, x, y, px);         \
        out[0] = px[0];                                                 \
        out[1] = px[1];                                                 \
        out[2] = px[2];                                                 \
      }                                                                 \
    }                                                                   \
  }

__attribute__((target("avx2"))) void ExtractRowsAvx2(const ExtractJob& job, int i0, int i1) {
  QUILTOR_EXTRACT_ROWS(SampleAvx2)
}
void ExtractRowsPlain(const ExtractJob& job, int i0, int i1) { QUILTOR_EXTRACT_ROWS(SamplePlain) }
#undef QUILTOR_EXTRACT_ROWS

// Rotated overlay, rows r0..r1 of the overlay.
struct RenderJob {
  int width, height, cx, cy;
  float cs, sn, halfW, halfH, sw, sh;
  const uint8_t* slice;
  int sliceWidth, sliceHeight;
  bool haveSlice;
  uint8_t* overlay;
  int ox, oy, overlayWidth;
};

#define QUILTOR_RENDER_ROWS(SAMPLE)                                                 \
  for (int c0 = 0; c0 < job.overlayWidth; c0 += kTile) {                            \
    const int c1 = std::min(job.overlayWidth, c0 + kTile);                          \
    for (int r = r0; r < r1; ++r) {                                                 \
      uint8_t* out = job.overlay + (size_t(r) * size_t(job.overlayWidth) + c0) * 4; \
      const int64_t y = int64_t(job.oy) + r;                                        \
      const bool rowInside = y >= 0 && y < job.height && job.haveSlice;             \
      const float dy = float(y - job.cy);                                           \
      for (int c = c0; c < c1; ++c, out += 4) {                                     \
        const int64_t x = int64_t(job.ox) + c;                                      \
        if (!rowInside || x < 0 || x >= job.width) {                                \
          std::memset(out, 0, 4);                                                   \
          continue;                                                                 \
        }                                                                           \
        const float dx = float(x - job.cx);                                         \
        const float sx = dx * job.cs + dy * job.sn + job.halfW;                     \
        const float sy = dy * job.cs - dx * job.sn + job.halfH;                     \
        if (sx >= 0 && sx < job.sw && sy >= 0 && sy < job.sh)                       \
          SAMPLE<4>(job.slice, job.sliceWidth, job.sliceHeight, sx, sy, out);       \
        else                                                                        \
          std::memset(out, 0, 4);                                                   \
      }                                                                             \
    }                                                                               \
  }

__attribute__((target("avx2"))) void RenderRowsAvx2(const RenderJob& job, int r0, int r1) {
  QUILTOR_RENDER_ROWS(SampleAvx2)
}
void RenderRowsPlain(const RenderJob& job, int r0, int r1) { QUILTOR_RENDER_ROWS(SamplePlain) }
#undef QUILTOR_RENDER_ROWS

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
    SamplePlain<4>(pixels, width, height, x, y, out);
  else
    SamplePlain<3>(pixels, width, height, x, y, out);
}

void ExtractRotatedSquare(const uint8_t* source, int width, int height, int cx, int cy, int s,
                          double theta, uint8_t* target) {
  if (!source || !target || width <= 0 || height <= 0 || s <= 0) return;
  const ExtractJob job{source, width,           height,          cx,    cy, s,
                       s / 2,  std::cos(theta), std::sin(theta), target};
  const bool avx2 = HaveAvx2();
  const int bands = (s + kTile - 1) / kTile;
  qkern::ParallelFor(bands, qkern::ThreadsFor(Pixels(s, s) * 64), [&](int b0, int b1) {
    for (int b = b0; b < b1; ++b) {
      const int i0 = b * kTile, i1 = std::min(s, i0 + kTile);
      if (avx2)
        ExtractRowsAvx2(job, i0, i1);
      else
        ExtractRowsPlain(job, i0, i1);
    }
  });
}

void RenderRotatedOverlay(const uint8_t* background, int width, int height, int cx, int cy,
                          float theta, const uint8_t* slice, int sliceWidth, int sliceHeight,
                          uint8_t* overlay, int ox, int oy, int overlayWidth, int overlayHeight) {
  (void)background;  // only its extent matters: the overlay is transparent outside it
  if (!overlay || overlayWidth <= 0 || overlayHeight <= 0) return;
  const RenderJob job{width,
                      height,
                      cx,
                      cy,
                      std::cos(theta),
                      std::sin(theta),
                      float(sliceWidth / 2),
                      float(sliceHeight / 2),
                      float(sliceWidth),
                      float(sliceHeight),
                      slice,
                      sliceWidth,
                      sliceHeight,
                      slice && sliceWidth > 0 && sliceHeight > 0,
                      overlay,
                      ox,
                      oy,
                      overlayWidth};
  const bool avx2 = HaveAvx2();
  const int bands = (overlayHeight + kTile - 1) / kTile;
  qkern::ParallelFor(bands, qkern::ThreadsFor(Pixels(overlayWidth, overlayHeight) * 32),
                     [&](int b0, int b1) {
                       for (int b = b0; b < b1; ++b) {
                         const int r0 = b * kTile, r1 = std::min(overlayHeight, r0 + kTile);
                         if (avx2)
                           RenderRowsAvx2(job, r0, r1);
                         else
                           RenderRowsPlain(job, r0, r1);
                       }
                     });
}
