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
// One pixel widened to four doubles. kWide reads four bytes even for RGB
// (the fourth lane is dropped): allowed unless the pixel is the buffer's last.
template <int N, bool kWide>
__attribute__((target("avx2"), always_inline)) inline __m256d Pixel(const uint8_t* p) {
  uint32_t bytes;
  if constexpr (N == 4 || kWide) {
    std::memcpy(&bytes, p, 4);
  } else {
    // Three bytes assembled in a register; a partial copy through memory stalls.
    uint16_t low;
    std::memcpy(&low, p, 2);
    bytes = uint32_t(low) | uint32_t(p[2]) << 16;
  }
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(bytes))));
}

template <int N, bool kWide>
__attribute__((target("avx2"), always_inline)) inline __m256d Combine(const uint8_t* pixels,
                                                                      int width, const Taps& cols,
                                                                      const Taps& rows) {
  const size_t o0 = size_t(cols.index[0]) * N, o1 = size_t(cols.index[1]) * N,
               o2 = size_t(cols.index[2]) * N, o3 = size_t(cols.index[3]) * N;
  const __m256d e0 = _mm256_set1_pd(cols.weight[0]), e1 = _mm256_set1_pd(cols.weight[1]),
                e2 = _mm256_set1_pd(cols.weight[2]), e3 = _mm256_set1_pd(cols.weight[3]);
  __m256d total = _mm256_setzero_pd();
  for (int r = 0; r < 4; ++r) {
    const uint8_t* p = pixels + size_t(rows.index[r]) * size_t(width) * N;
    __m256d v = _mm256_mul_pd(e0, Pixel<N, kWide>(p + o0));
    v = _mm256_add_pd(v, _mm256_mul_pd(e1, Pixel<N, kWide>(p + o1)));
    v = _mm256_add_pd(v, _mm256_mul_pd(e2, Pixel<N, kWide>(p + o2)));
    v = _mm256_add_pd(v, _mm256_mul_pd(e3, Pixel<N, kWide>(p + o3)));
    const __m256d term = _mm256_mul_pd(_mm256_set1_pd(rows.weight[r]), v);
    total = r == 0 ? term : _mm256_add_pd(total, term);
  }
  return total;
}

template <int N>
__attribute__((target("avx2"), always_inline)) inline void SampleAvx2(const uint8_t* pixels,
                                                                      int width, int height,
                                                                      double x, double y,
                                                                      uint8_t out[4]) {
  Taps cols, rows;
  AxisTaps(x, width, cols);
  AxisTaps(y, height, rows);
  // Taps are sorted, so only the last row and column can hold the last pixel.
  const bool wide = rows.index[3] < height - 1 || cols.index[3] < width - 1;
  __m256d total = wide ? Combine<N, true>(pixels, width, cols, rows)
                       : Combine<N, false>(pixels, width, cols, rows);
  total = _mm256_add_pd(total, _mm256_set1_pd(0.5));
  // max first: it turns NaN into 0 as the scalar comparisons do
  total = _mm256_min_pd(_mm256_max_pd(total, _mm256_setzero_pd()), _mm256_set1_pd(255));
  const __m128i q = _mm256_cvttpd_epi32(total);
  const uint32_t packed = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(q, q), q)));
  std::memcpy(out, &packed, 4);
  if (N == 3) out[3] = 0;
}

bool HaveAvx2() { return qkern::UseAvx2(); }

// Rotated cut, rows i0..i1 of the target.
struct ExtractJob {
  const uint8_t* source;
  int width, height, s, half;
  qkern::RotatedSquareD square;
  uint8_t* target;
};

// Output in tiles of kTile x kTile: a turned tile reads a compact patch of
// the source that stays in cache, where a whole turned row would not.
constexpr int kTile = 64;

#define QUILTOR_EXTRACT_ROWS(SAMPLE)                                     \
  uint8_t px[4];                                                         \
  for (int j0 = 0; j0 < job.s; j0 += kTile) {                            \
    const int j1 = std::min(job.s, j0 + kTile);                          \
    for (int i = i0; i < i1; ++i) {                                      \
      const double v = double(i - job.half);                             \
      uint8_t* out = job.target + (size_t(i) * size_t(job.s) + j0) * 3;  \
      for (int j = j0; j < j1; ++j, out += 3) {                          \
        const double u = double(j - job.half);                           \
        const qkern::RotatedSquareD::Point p = job.square.Forward(u, v); \
        SAMPLE<3>(job.source, job.width, job.height, p.x, p.y, px);      \
        out[0] = px[0];                                                  \
        out[1] = px[1];                                                  \
        out[2] = px[2];                                                  \
      }                                                                  \
    }                                                                    \
  }

__attribute__((target("avx2"))) void ExtractRowsAvx2(const ExtractJob& job, int i0, int i1) {
  QUILTOR_EXTRACT_ROWS(SampleAvx2)
}
void ExtractRowsPlain(const ExtractJob& job, int i0, int i1) { QUILTOR_EXTRACT_ROWS(SamplePlain) }
#undef QUILTOR_EXTRACT_ROWS

// Rotated overlay, rows r0..r1 of the overlay.
struct RenderJob {
  int width, height;
  qkern::RotatedSquareF square;
  float halfW, halfH, sw, sh;
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
      const float dy = float(y - job.square.cy);                                    \
      for (int c = c0; c < c1; ++c, out += 4) {                                     \
        const int64_t x = int64_t(job.ox) + c;                                      \
        if (!rowInside || x < 0 || x >= job.width) {                                \
          std::memset(out, 0, 4);                                                   \
          continue;                                                                 \
        }                                                                           \
        const qkern::RotatedSquareF::Point q =                                      \
            job.square.InverseOffset(float(x - job.square.cx), dy);                 \
        const float sx = q.x + job.halfW, sy = q.y + job.halfH;                     \
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

// Narrows [c0, c1] to the columns whose sample coordinate a + slope * column
// lies within [lo, hi] (an empty range: c0 > c1).
void LimitColumns(double a, double slope, double lo, double hi, double& c0, double& c1) {
  if (std::fabs(slope) < 1e-9) {
    if (a < lo || a > hi) c0 = 1, c1 = 0;
    return;
  }
  double t0 = (lo - a) / slope, t1 = (hi - a) / slope;
  if (t0 > t1) std::swap(t0, t1);
  c0 = std::max(c0, t0);
  c1 = std::min(c1, t1);
}

// The re-feather's alpha along one overlay row (inside the background).
// Only overlay pixels whose cubic taps reach a ramp of the old or the new
// feather can change, and only in alpha (the channels are sampled
// independently).
void RefeatherRow(const RenderJob& job, const AlphaOnly& pass, int row, int col0, int col1) {
  const int sw = job.sliceWidth, sh = job.sliceHeight, r = std::max(pass.ramp, 0);
  const float cs = job.square.cosine, sn = job.square.sine;
  const int ox = job.ox, cx = job.square.cx;
  // Sample positions whose four taps all lie where both feathers give 255.
  const double deepX0 = r + 2, deepX1 = sw - r - 3, deepY0 = r + 2, deepY1 = sh - r - 3;
  const float dy = static_cast<float>(job.oy + row - job.square.cy);
  // Along the row both sample coordinates move linearly with the column;
  // these bounds are estimates with a safety margin of a pixel or more.
  const double ax = (double(ox) - cx) * cs + double(dy) * sn + job.halfW;
  const double ay = double(dy) * cs - (double(ox) - cx) * sn + job.halfH;
  double in0 = col0, in1 = col1 - 1, deep0 = col0, deep1 = col1 - 1;
  LimitColumns(ax, cs, -2.0, sw + 1.0, in0, in1);
  LimitColumns(ay, -sn, -2.0, sh + 1.0, in0, in1);
  LimitColumns(ax, cs, deepX0, deepX1, deep0, deep1);
  LimitColumns(ay, -sn, deepY0, deepY1, deep0, deep1);
  if (in0 > in1) return;
  const int first = static_cast<int>(std::max<double>(col0, std::floor(in0) - 1));
  const int last = static_cast<int>(std::min<double>(col1 - 1, std::ceil(in1) + 1));
  int skip0 = last + 1, skip1 = last;  // columns left alone: all taps deep inside
  if (deep1 - deep0 > 4) {
    skip0 = static_cast<int>(std::ceil(deep0)) + 1;
    skip1 = static_cast<int>(std::floor(deep1)) - 1;
  }
  uint8_t* out = job.overlay + static_cast<size_t>(row) * job.overlayWidth * 4;
  auto run = [&](int begin, int end) {
    if (end <= begin) return;
    for (int col = begin; col < end; ++col) {
      const qkern::RotatedSquareF::Point q = job.square.Inverse(ox + col, job.oy + row);
      const float sx = q.x + job.halfW, sy = q.y + job.halfH;
      if (!(sx >= 0 && sx < job.sw && sy >= 0 && sy < job.sh)) continue;
      out[static_cast<size_t>(col) * 4 + 3] = SampleBicubicChannel(job.slice, sw, sh, sx, sy, 4, 3);
    }
    if (pass.touched) pass.touched(row, begin, end);
  };
  if (skip0 <= skip1) {
    run(first, std::min(skip0, last + 1));
    run(std::max(skip1 + 1, first), last + 1);
  } else {
    run(first, last + 1);
  }
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
    SamplePlain<4>(pixels, width, height, x, y, out);
  else
    SamplePlain<3>(pixels, width, height, x, y, out);
}

uint8_t SampleBicubicChannel(const uint8_t* pixels, int width, int height, double x, double y,
                             int n, int k) {
  Taps cols, rows;
  AxisTaps(x, width, cols);
  AxisTaps(y, height, rows);
  double rowValue[4];
  for (int r = 0; r < 4; ++r) {
    const uint8_t* p = pixels + size_t(rows.index[r]) * size_t(width) * n + k;
    rowValue[r] = cols.weight[0] * p[size_t(cols.index[0]) * n] +
                  cols.weight[1] * p[size_t(cols.index[1]) * n] +
                  cols.weight[2] * p[size_t(cols.index[2]) * n] +
                  cols.weight[3] * p[size_t(cols.index[3]) * n];
  }
  return RoundClamp(rows.weight[0] * rowValue[0] + rows.weight[1] * rowValue[1] +
                    rows.weight[2] * rowValue[2] + rows.weight[3] * rowValue[3]);
}

void ExtractRotatedSquare(const uint8_t* source, int width, int height, int cx, int cy, int s,
                          double theta, uint8_t* target) {
  if (!source || !target || width <= 0 || height <= 0 || s <= 0) return;
  ExtractRotatedSquare(qkern::ConstPixelView::Packed(source, width, height, 3),
                       qkern::RotatedSquareD::FromRadians(cx, cy, theta),
                       qkern::PixelView::Packed(target, s, s, 3));
}

void ExtractRotatedSquare(qkern::ConstPixelView source, const qkern::RotatedSquareD& square,
                          qkern::PixelView target) {
  if (source.IsEmpty() || target.IsEmpty() || source.bytesPerPixel != 3 ||
      target.bytesPerPixel != 3 || target.width != target.height ||
      source.stride != source.width * 3 || target.stride != target.width * 3)
    return;
  const int s = static_cast<int>(target.width);
  const ExtractJob job{source.pixels,
                       static_cast<int>(source.width),
                       static_cast<int>(source.height),
                       s,
                       s / 2,
                       square,
                       target.pixels};
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

void RenderRotatedOverlay(const qkern::RotatedSquareF& square, qkern::ConstPixelView slice,
                          const OverlayTarget& target, const AlphaOnly* alphaOnly) {
  const int overlayWidth = static_cast<int>(target.pixels.width);
  const int overlayHeight = static_cast<int>(target.pixels.height);
  if (target.pixels.IsEmpty() || target.pixels.bytesPerPixel != 4) return;
  const int sliceWidth = static_cast<int>(slice.width),
            sliceHeight = static_cast<int>(slice.height);
  const RenderJob job{target.backgroundWidth,
                      target.backgroundHeight,
                      square,
                      float(sliceWidth / 2),
                      float(sliceHeight / 2),
                      float(sliceWidth),
                      float(sliceHeight),
                      slice.pixels,
                      sliceWidth,
                      sliceHeight,
                      !slice.IsEmpty(),
                      target.pixels.pixels,
                      target.ox,
                      target.oy,
                      overlayWidth};
  if (alphaOnly) {
    if (!job.haveSlice) return;
    const int ox = target.ox, oy = target.oy;
    const int row0 = std::clamp(-oy, 0, overlayHeight);
    const int row1 = std::clamp(target.backgroundHeight - oy, row0, overlayHeight);
    const int col0 = std::clamp(-ox, 0, overlayWidth);
    const int col1 = std::clamp(target.backgroundWidth - ox, col0, overlayWidth);
    qkern::ParallelFor(row1 - row0, qkern::ThreadsFor(int64_t{row1 - row0} * (col1 - col0) / 4),
                       [&](int begin, int end) {
                         for (int row = row0 + begin; row < row0 + end; ++row)
                           RefeatherRow(job, *alphaOnly, row, col0, col1);
                       });
    return;
  }
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
