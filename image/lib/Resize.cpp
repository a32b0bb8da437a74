// Resize by method code. The filters behind the codes:
//   0  the view's fit-to-window copy, rebuilt on every zoom and window size:
//      area averaging (box over each output pixel's footprint) on an axis
//      that shrinks, so no detail aliases away; bilinear (tent, pixel
//      centres aligned) on an axis that grows. Cheap, and never rings.
//   16 the Merger pane's small mask preview: the same as 0; area averaging
//      keeps thin mask strokes visible at preview size.
//   17 slice and shadow scaling and the enlarged exports (x2, x4), where
//      quality matters and the result goes back into Stable Diffusion or the
//      main image: Lanczos-3 (widened by the factor when reducing), results
//      clamped to 0..255 so that ringing cannot wrap.
// Any other code fails with kErrParam.
//
// Both passes run in fixed point: weights in Q14 that sum to exactly 1 per
// output, an intermediate in Q7 (value * 128), rounding to nearest. A
// constant picture therefore stays exactly constant. The pass that shrinks
// the row count runs first, so the costlier row pass sees fewer rows.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/kernels/Parallel.h"
#include "image/lib/Imaging.h"

namespace qimg {
namespace {

constexpr int kWeightBits = 14;
constexpr int kMidBits = 7;  // fraction bits of the intermediate
constexpr int32_t kMidMax = 255 << kMidBits;

enum class Filter { kAreaOrBilinear, kLanczos3 };

// Per output position: first source index, tap count, Q14 weights.
struct Axis {
  std::vector<int> first, count;
  std::vector<size_t> offset;
  std::vector<int16_t> weights;
};

double Sinc(double x) {
  if (x == 0) return 1;
  const double px = M_PI * x;
  return std::sin(px) / px;
}

double Lanczos3(double x) { return std::fabs(x) < 3 ? Sinc(x) * Sinc(x / 3) : 0; }

// Adds one output's weights: `taps` holds (source index, weight) with indices
// possibly outside 0..m-1; those fold onto the edge pixel (edge replication).
void AddOutput(Axis& axis, int m, std::vector<std::pair<int, double>>& taps,
               std::vector<double>& folded) {
  int lo = m, hi = -1;
  for (auto& [j, w] : taps) {
    j = std::clamp(j, 0, m - 1);
    lo = std::min(lo, j);
    hi = std::max(hi, j);
  }
  const int n = hi - lo + 1;
  folded.assign(size_t(n), 0.0);
  double total = 0;
  for (auto& [j, w] : taps) {
    folded[size_t(j - lo)] += w;
    total += w;
  }
  // Quantise to Q14 and put the rounding remainder on the largest weight so
  // that the weights sum to exactly 1 << kWeightBits.
  const size_t start = axis.weights.size();
  int sum = 0;
  size_t largest = start;
  for (int k = 0; k < n; ++k) {
    const int q = int(std::lround(folded[size_t(k)] / total * (1 << kWeightBits)));
    axis.weights.push_back(int16_t(q));
    sum += q;
    if (std::abs(q) > std::abs(axis.weights[largest])) largest = start + size_t(k);
  }
  axis.weights[largest] = int16_t(axis.weights[largest] + ((1 << kWeightBits) - sum));
  axis.first.push_back(lo);
  axis.count.push_back(n);
  axis.offset.push_back(start);
}

void BuildAxis(Axis& axis, int n, int m, Filter filter) {
  const double ratio = double(m) / double(n);  // source pixels per output pixel
  axis.first.reserve(size_t(n));
  axis.count.reserve(size_t(n));
  axis.offset.reserve(size_t(n));
  std::vector<std::pair<int, double>> taps;
  std::vector<double> folded;
  for (int i = 0; i < n; ++i) {
    taps.clear();
    if (filter == Filter::kAreaOrBilinear && ratio > 1) {
      // The footprint [i, i + 1) * ratio, each source pixel weighted by overlap.
      const double a = i * ratio, b = (i + 1) * ratio;
      for (int j = int(std::floor(a)); j < b && j < m; ++j) {
        const double overlap = std::min(b, j + 1.0) - std::max(a, double(j));
        if (overlap > 0) taps.push_back({j, overlap});
      }
    } else if (filter == Filter::kAreaOrBilinear) {
      const double c = (i + 0.5) * ratio - 0.5;
      const int j = int(std::floor(c));
      const double f = c - j;
      taps.push_back({j, 1 - f});
      if (f > 0) taps.push_back({j + 1, f});
    } else {
      const double scale = std::max(1.0, ratio), support = 3 * scale;
      const double c = (i + 0.5) * ratio - 0.5;
      for (int j = int(std::ceil(c - support)); j <= int(std::floor(c + support)); ++j) {
        const double w = Lanczos3((j - c) / scale);
        if (w != 0) taps.push_back({j, w});
      }
      if (taps.empty()) taps.push_back({int(std::lround(c)), 1.0});
    }
    AddOutput(axis, m, taps, folded);
  }
}

// Fixed-point rounding of a weighted sum: into the Q7 intermediate, or into
// bytes from it.
inline uint16_t ToMid(int32_t acc) {
  return uint16_t(std::clamp(
      (acc + (1 << (kWeightBits - kMidBits - 1))) >> (kWeightBits - kMidBits), 0, kMidMax));
}
inline uint8_t ToByte(int32_t acc) {
  constexpr int shift = kWeightBits + kMidBits;
  return uint8_t(std::clamp((acc + (1 << (shift - 1))) >> shift, 0, 255));
}
template <class In>
inline auto Round(int32_t acc) {
  if constexpr (sizeof(In) == 1)
    return ToMid(acc);
  else
    return ToByte(acc);
}
template <class In>
using OutOf = std::conditional_t<sizeof(In) == 1, uint16_t, uint8_t>;

// Column pass: output row y = weighted sum of source rows, over `elems`
// samples per row; row y0 is written at dst. Written so the compiler
// vectorises across samples.
template <class In>
__attribute__((always_inline)) inline void ColumnsBody(const In* src, size_t srcStride,
                                                       OutOf<In>* dst, size_t dstStride,
                                                       size_t elems, int y0, int y1,
                                                       const Axis& axis) {
  constexpr size_t kChunk = 512;
  alignas(64) int32_t acc[kChunk];
  for (int y = y0; y < y1; ++y) {
    const int16_t* w = axis.weights.data() + axis.offset[size_t(y)];
    const int n = axis.count[size_t(y)];
    const In* rows = src + size_t(axis.first[size_t(y)]) * srcStride;
    OutOf<In>* out = dst + size_t(y - y0) * dstStride;
    for (size_t x0 = 0; x0 < elems; x0 += kChunk) {
      const size_t len = std::min(kChunk, elems - x0);
      const In* s = rows + x0;
      const int32_t w0 = w[0];
      for (size_t i = 0; i < len; ++i) acc[i] = w0 * int32_t(s[i]);
      for (int k = 1; k < n; ++k) {
        const In* sk = s + size_t(k) * srcStride;
        const int32_t wk = w[k];
        for (size_t i = 0; i < len; ++i) acc[i] += wk * int32_t(sk[i]);
      }
      for (size_t i = 0; i < len; ++i) out[x0 + i] = Round<In>(acc[i]);
    }
  }
}

// Row pass: output pixel x of each row = weighted sum of source pixels.
template <class In, int C>
__attribute__((always_inline)) inline void RowsBody(const In* src, size_t srcStride, OutOf<In>* dst,
                                                    size_t dstStride, int outW, int y0, int y1,
                                                    const Axis& axis) {
  for (int y = y0; y < y1; ++y) {
    const In* row = src + size_t(y) * srcStride;
    OutOf<In>* out = dst + size_t(y) * dstStride;
    for (int x = 0; x < outW; ++x) {
      const int16_t* w = axis.weights.data() + axis.offset[size_t(x)];
      const int n = axis.count[size_t(x)];
      const In* s = row + size_t(axis.first[size_t(x)]) * C;
      int32_t acc[C] = {};
      for (int k = 0; k < n; ++k, s += C)
        for (int c = 0; c < C; ++c) acc[c] += int32_t(w[k]) * int32_t(s[c]);
      for (int c = 0; c < C; ++c) out[size_t(x) * C + c] = Round<In>(acc[c]);
    }
  }
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

template <class In>
__attribute__((target("avx2"))) void ColumnsAvx2(const In* src, size_t srcStride, OutOf<In>* dst,
                                                 size_t dstStride, size_t elems, int y0, int y1,
                                                 const Axis& axis) {
  ColumnsBody<In>(src, srcStride, dst, dstStride, elems, y0, y1, axis);
}
template <class In>
void ColumnsPlain(const In* src, size_t srcStride, OutOf<In>* dst, size_t dstStride, size_t elems,
                  int y0, int y1, const Axis& axis) {
  ColumnsBody<In>(src, srcStride, dst, dstStride, elems, y0, y1, axis);
}
template <class In, int C>
__attribute__((target("avx2"))) void RowsAvx2(const In* src, size_t srcStride, OutOf<In>* dst,
                                              size_t dstStride, int outW, int y0, int y1,
                                              const Axis& axis) {
  RowsBody<In, C>(src, srcStride, dst, dstStride, outW, y0, y1, axis);
}
template <class In, int C>
void RowsPlain(const In* src, size_t srcStride, OutOf<In>* dst, size_t dstStride, int outW, int y0,
               int y1, const Axis& axis) {
  RowsBody<In, C>(src, srcStride, dst, dstStride, outW, y0, y1, axis);
}

template <class In>
void Columns(const In* src, size_t srcStride, OutOf<In>* dst, size_t dstStride, size_t elems,
             int outH, const Axis& axis) {
  const int64_t work = int64_t(elems) * int64_t(axis.weights.size());
  const bool avx2 = HaveAvx2();
  qkern::ParallelFor(outH, qkern::ThreadsFor(work), [&](int y0, int y1) {
    OutOf<In>* out = dst + size_t(y0) * dstStride;
    if (avx2)
      ColumnsAvx2<In>(src, srcStride, out, dstStride, elems, y0, y1, axis);
    else
      ColumnsPlain<In>(src, srcStride, out, dstStride, elems, y0, y1, axis);
  });
}

template <class In>
void Rows(const In* src, size_t srcStride, OutOf<In>* dst, size_t dstStride, int outW, int rows,
          int channels, const Axis& axis) {
  const int64_t work = int64_t(rows) * channels * int64_t(axis.weights.size());
  const bool avx2 = HaveAvx2();
  qkern::ParallelFor(rows, qkern::ThreadsFor(work), [&](int y0, int y1) {
    if (channels == 3) {
      if (avx2)
        RowsAvx2<In, 3>(src, srcStride, dst, dstStride, outW, y0, y1, axis);
      else
        RowsPlain<In, 3>(src, srcStride, dst, dstStride, outW, y0, y1, axis);
    } else {
      if (avx2)
        RowsAvx2<In, 4>(src, srcStride, dst, dstStride, outW, y0, y1, axis);
      else
        RowsPlain<In, 4>(src, srcStride, dst, dstStride, outW, y0, y1, axis);
    }
  });
}

// Columns, then rows, one output row at a time through a per-thread row of
// the intermediate: nothing but that row is written between the passes.
void ShrinkRowsFirst(const uint8_t* src, int sw, size_t srcRowBytes, uint8_t* dst, int dw, int dh,
                     size_t dstRowBytes, int channels, const Axis& horizontal, const Axis& vertical,
                     std::vector<std::unique_ptr<uint16_t[]>>& rows) {
  const size_t elems = size_t(sw) * channels;
  const bool avx2 = HaveAvx2();
  qkern::ParallelParts(dh, int(rows.size()), [&](int y0, int y1, int part) {
    uint16_t* mid = rows[size_t(part)].get();
    for (int y = y0; y < y1; ++y) {
      if (avx2)
        ColumnsAvx2<uint8_t>(src, srcRowBytes, mid, elems, elems, y, y + 1, vertical);
      else
        ColumnsPlain<uint8_t>(src, srcRowBytes, mid, elems, elems, y, y + 1, vertical);
      uint8_t* out = dst + size_t(y) * dstRowBytes;
      if (channels == 3) {
        if (avx2)
          RowsAvx2<uint16_t, 3>(mid, elems, out, dstRowBytes, dw, 0, 1, horizontal);
        else
          RowsPlain<uint16_t, 3>(mid, elems, out, dstRowBytes, dw, 0, 1, horizontal);
      } else {
        if (avx2)
          RowsAvx2<uint16_t, 4>(mid, elems, out, dstRowBytes, dw, 0, 1, horizontal);
        else
          RowsPlain<uint16_t, 4>(mid, elems, out, dstRowBytes, dw, 0, 1, horizontal);
      }
    }
  });
}

bool Resample(const uint8_t* src, int sw, int sh, size_t srcRowBytes, uint8_t* dst, int dw, int dh,
              size_t dstRowBytes, int channels, Filter filter) {
  Axis horizontal, vertical;
  BuildAxis(horizontal, dw, sw, filter);
  BuildAxis(vertical, dh, sh, filter);
  if (dh <= sh) {
    const int64_t work = int64_t(sw) * channels * int64_t(vertical.weights.size()) +
                         int64_t(dh) * channels * int64_t(horizontal.weights.size());
    std::vector<std::unique_ptr<uint16_t[]>> rows(size_t(qkern::ThreadsFor(work)));
    for (auto& row : rows) {
      row.reset(new (std::nothrow) uint16_t[size_t(sw) * channels]);
      if (!row) return false;
    }
    ShrinkRowsFirst(src, sw, srcRowBytes, dst, dw, dh, dstRowBytes, channels, horizontal, vertical,
                    rows);
  } else {
    // Rows first, into dw x sh; the columns then grow it to dh rows.
    const size_t midStride = size_t(dw) * channels;
    std::unique_ptr<uint16_t[]> mid(new (std::nothrow) uint16_t[midStride * size_t(sh)]);
    if (!mid) return false;
    Rows<uint8_t>(src, srcRowBytes, mid.get(), midStride, dw, sh, channels, horizontal);
    Columns<uint16_t>(mid.get(), midStride, dst, dstRowBytes, midStride, dh, vertical);
  }
  return true;
}

}  // namespace

bool ResizeImage(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint32_t srcRowBytes,
                 uint8_t* dst, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstRowBytes,
                 uint32_t bytesPerPixel, uint32_t method) {
  constexpr uint32_t kMaxSide = 1u << 30;
  if (!src || !dst || srcWidth == 0 || srcHeight == 0 || dstWidth == 0 || dstHeight == 0 ||
      srcWidth > kMaxSide || srcHeight > kMaxSide || dstWidth > kMaxSide || dstHeight > kMaxSide ||
      (bytesPerPixel != 3 && bytesPerPixel != 4) ||
      uint64_t(srcRowBytes) < uint64_t(srcWidth) * bytesPerPixel ||
      uint64_t(dstRowBytes) < uint64_t(dstWidth) * bytesPerPixel) {
    SetLastError(kErrParam);
    return false;
  }
  Filter filter;
  switch (method) {
    case 0:
    case 16: filter = Filter::kAreaOrBilinear; break;
    case 17: filter = Filter::kLanczos3; break;
    default: SetLastError(kErrParam); return false;
  }
  bool ok = false;
  try {
    ok = Resample(src, int(srcWidth), int(srcHeight), srcRowBytes, dst, int(dstWidth),
                  int(dstHeight), dstRowBytes, int(bytesPerPixel), filter);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) SetLastError(kErrNoMemory);
  return ok;
}

}  // namespace qimg
