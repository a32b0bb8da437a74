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
#include "image/lib/ResizeTaps.h"

namespace qimg {
namespace {

constexpr int kWeightBits = kResizeWeightBits;
constexpr int kMidBits = kResizeMidBits;
constexpr int32_t kMidMax = kResizeMidMax;

using Filter = ResizeFilter;
using Axis = ResizeTaps;

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

}  // namespace

void BuildResizeTaps(ResizeTaps& axis, int n, int m, ResizeFilter filter) {
  axis = ResizeTaps();
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

namespace {

inline uint16_t ToMid(int32_t acc) { return ResizeToMid(acc); }
inline uint8_t ToByte(int32_t acc) { return ResizeToByte(acc); }
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

bool HaveAvx2() { return qkern::UseAvx2(); }

// Weights of taps k and k + 1 side by side, for multiply-add on sample pairs.
inline int32_t WeightPair(const int16_t* w, int k, int n) {
  const uint16_t second = k + 1 < n ? uint16_t(w[k + 1]) : 0;
  return int32_t(uint32_t(uint16_t(w[k])) | uint32_t(second) << 16);
}

// Samples per strip of the column passes: output rows next to each other
// read mostly the same source rows, so a strip of all of them is worked off
// while those rows are still in cache.
constexpr size_t kStrip = 2048;

// Bytes in, Q7 out: two taps per multiply-add over 16 samples.
__attribute__((target("avx2"))) void ColumnsAvx2(const uint8_t* src, size_t srcStride,
                                                 uint16_t* dst, size_t dstStride, size_t elems,
                                                 int y0, int y1, const Axis& axis) {
  const size_t vectorElems = elems & ~size_t(15);
  const __m256i bias = _mm256_set1_epi32(1 << (kWeightBits - kMidBits - 1));
  const __m256i top = _mm256_set1_epi16(int16_t(kMidMax));
  for (size_t x0 = 0; x0 < vectorElems; x0 += kStrip) {
    const size_t x1 = std::min(vectorElems, x0 + kStrip);
    for (int y = y0; y < y1; ++y) {
      const int16_t* w = axis.weights.data() + axis.offset[size_t(y)];
      const int n = axis.count[size_t(y)];
      const uint8_t* rows = src + size_t(axis.first[size_t(y)]) * srcStride;
      uint16_t* out = dst + size_t(y - y0) * dstStride;
      for (size_t x = x0; x < x1; x += 16) {
        __m256i lo = bias, hi = bias;
        for (int k = 0; k < n; k += 2) {
          const __m256i pair = _mm256_set1_epi32(WeightPair(w, k, n));
          const uint8_t* p = rows + size_t(k) * srcStride + x;
          const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
          const __m128i b = k + 1 < n
                                ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + srcStride))
                                : _mm_setzero_si128();
          lo = _mm256_add_epi32(
              lo, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, b)), pair));
          hi = _mm256_add_epi32(
              hi, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, b)), pair));
        }
        lo = _mm256_srai_epi32(lo, kWeightBits - kMidBits);
        hi = _mm256_srai_epi32(hi, kWeightBits - kMidBits);
        // packus works per 128-bit half: restore the order, then clamp the top.
        __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(lo, hi), 0xD8);
        packed = _mm256_min_epu16(packed, top);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), packed);
      }
    }
  }
  for (int y = y0; y < y1; ++y) {
    const int16_t* w = axis.weights.data() + axis.offset[size_t(y)];
    const int n = axis.count[size_t(y)];
    const uint8_t* rows = src + size_t(axis.first[size_t(y)]) * srcStride;
    uint16_t* out = dst + size_t(y - y0) * dstStride;
    for (size_t x = vectorElems; x < elems; ++x) {
      int32_t acc = 0;
      for (int k = 0; k < n; ++k) acc += int32_t(w[k]) * int32_t(rows[size_t(k) * srcStride + x]);
      out[x] = ToMid(acc);
    }
  }
}

// Q7 in, bytes out: two taps per multiply-add over 8 samples.
__attribute__((target("avx2"))) void ColumnsAvx2(const uint16_t* src, size_t srcStride,
                                                 uint8_t* dst, size_t dstStride, size_t elems,
                                                 int y0, int y1, const Axis& axis) {
  constexpr int shift = kWeightBits + kMidBits;
  const size_t vectorElems = elems & ~size_t(7);
  const __m256i bias = _mm256_set1_epi32(1 << (shift - 1));
  for (size_t x0 = 0; x0 < vectorElems; x0 += kStrip / 2) {
    const size_t x1 = std::min(vectorElems, x0 + kStrip / 2);
    for (int y = y0; y < y1; ++y) {
      const int16_t* w = axis.weights.data() + axis.offset[size_t(y)];
      const int n = axis.count[size_t(y)];
      const uint16_t* rows = src + size_t(axis.first[size_t(y)]) * srcStride;
      uint8_t* out = dst + size_t(y - y0) * dstStride;
      for (size_t x = x0; x < x1; x += 8) {
        __m256i acc = bias;
        for (int k = 0; k < n; k += 2) {
          const __m256i pair = _mm256_set1_epi32(WeightPair(w, k, n));
          const uint16_t* p = rows + size_t(k) * srcStride + x;
          const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
          const __m128i b = k + 1 < n
                                ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + srcStride))
                                : _mm_setzero_si128();
          const __m256i pairs =
              _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
          acc = _mm256_add_epi32(acc, _mm256_madd_epi16(pairs, pair));
        }
        acc = _mm256_srai_epi32(acc, shift);
        const __m128i words =
            _mm_packs_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
      }
    }
  }
  for (int y = y0; y < y1; ++y) {
    const int16_t* w = axis.weights.data() + axis.offset[size_t(y)];
    const int n = axis.count[size_t(y)];
    const uint16_t* rows = src + size_t(axis.first[size_t(y)]) * srcStride;
    uint8_t* out = dst + size_t(y - y0) * dstStride;
    for (size_t x = vectorElems; x < elems; ++x) {
      int32_t acc = 0;
      for (int k = 0; k < n; ++k) acc += int32_t(w[k]) * int32_t(rows[size_t(k) * srcStride + x]);
      out[x] = ToByte(acc);
    }
  }
}

template <class In>
void ColumnsPlain(const In* src, size_t srcStride, OutOf<In>* dst, size_t dstStride, size_t elems,
                  int y0, int y1, const Axis& axis) {
  ColumnsBody<In>(src, srcStride, dst, dstStride, elems, y0, y1, axis);
}
// Row pass with the channels as lanes: each multiply-add takes two taps of
// every channel, after a shuffle has put the samples of taps k and k + 1
// side by side. `srcElems` is the number of valid samples per source row:
// taps whose 8-sample load would pass it are summed one by one.
template <class In, int C>
__attribute__((target("avx2"))) void RowsAvx2(const In* src, size_t srcStride, OutOf<In>* dst,
                                              size_t dstStride, int outW, int y0, int y1,
                                              const Axis& axis, size_t srcElems) {
  // 16-bit samples e0..e7 (pixels k and k + 1) to pairs per channel.
  const __m128i order = C == 3
                            ? _mm_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1)
                            : _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
  for (int y = y0; y < y1; ++y) {
    const In* row = src + size_t(y) * srcStride;
    OutOf<In>* out = dst + size_t(y) * dstStride;
    for (int x = 0; x < outW; ++x) {
      const int16_t* w = axis.weights.data() + axis.offset[size_t(x)];
      const int n = axis.count[size_t(x)];
      const size_t first = size_t(axis.first[size_t(x)]) * C;
      __m128i acc = _mm_setzero_si128();
      int k = 0;
      for (; k < n && first + size_t(k) * C + 8 <= srcElems; k += 2) {
        const In* p = row + first + size_t(k) * C;
        __m128i samples;
        if constexpr (sizeof(In) == 1)
          samples = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
        else
          samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i pair = _mm_set1_epi32(WeightPair(w, k, n));
        acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_shuffle_epi8(samples, order), pair));
      }
      alignas(16) int32_t sums[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(sums), acc);
      for (; k < n; ++k)
        for (int c = 0; c < C; ++c)
          sums[c] += int32_t(w[k]) * int32_t(row[first + size_t(k) * C + size_t(c)]);
      for (int c = 0; c < C; ++c) out[size_t(x) * C + size_t(c)] = Round<In>(sums[c]);
    }
  }
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
      ColumnsAvx2(src, srcStride, out, dstStride, elems, y0, y1, axis);
    else
      ColumnsPlain<In>(src, srcStride, out, dstStride, elems, y0, y1, axis);
  });
}

template <class In>
void Rows(const In* src, size_t srcStride, size_t srcElems, OutOf<In>* dst, size_t dstStride,
          int outW, int rows, int channels, const Axis& axis) {
  const int64_t work = int64_t(rows) * channels * int64_t(axis.weights.size());
  const bool avx2 = HaveAvx2();
  qkern::ParallelFor(rows, qkern::ThreadsFor(work), [&](int y0, int y1) {
    if (channels == 3) {
      if (avx2)
        RowsAvx2<In, 3>(src, srcStride, dst, dstStride, outW, y0, y1, axis, srcElems);
      else
        RowsPlain<In, 3>(src, srcStride, dst, dstStride, outW, y0, y1, axis);
    } else {
      if (avx2)
        RowsAvx2<In, 4>(src, srcStride, dst, dstStride, outW, y0, y1, axis, srcElems);
      else
        RowsPlain<In, 4>(src, srcStride, dst, dstStride, outW, y0, y1, axis);
    }
  });
}

// Columns, then rows, a band of kBand output rows at a time through a
// per-thread band of the intermediate: nothing but that band is written
// between the passes, and it stays in cache.
constexpr int kBand = 8;

void ShrinkRowsFirst(const uint8_t* src, int sw, size_t srcRowBytes, uint8_t* dst, int dw, int dh,
                     size_t dstRowBytes, int channels, const Axis& horizontal, const Axis& vertical,
                     std::vector<std::unique_ptr<uint16_t[]>>& bands) {
  const size_t elems = size_t(sw) * channels;
  const bool avx2 = HaveAvx2();
  const int count = (dh + kBand - 1) / kBand;
  qkern::ParallelParts(count, int(bands.size()), [&](int b0, int b1, int part) {
    uint16_t* mid = bands[size_t(part)].get();
    for (int b = b0; b < b1; ++b) {
      const int y0 = b * kBand, y1 = std::min(dh, y0 + kBand);
      if (avx2)
        ColumnsAvx2(src, srcRowBytes, mid, elems, elems, y0, y1, vertical);
      else
        ColumnsPlain<uint8_t>(src, srcRowBytes, mid, elems, elems, y0, y1, vertical);
      uint8_t* out = dst + size_t(y0) * dstRowBytes;
      const int rows = y1 - y0;
      if (channels == 3) {
        if (avx2)
          RowsAvx2<uint16_t, 3>(mid, elems, out, dstRowBytes, dw, 0, rows, horizontal, elems);
        else
          RowsPlain<uint16_t, 3>(mid, elems, out, dstRowBytes, dw, 0, rows, horizontal);
      } else {
        if (avx2)
          RowsAvx2<uint16_t, 4>(mid, elems, out, dstRowBytes, dw, 0, rows, horizontal, elems);
        else
          RowsPlain<uint16_t, 4>(mid, elems, out, dstRowBytes, dw, 0, rows, horizontal);
      }
    }
  });
}

bool Resample(const uint8_t* src, int sw, int sh, size_t srcRowBytes, uint8_t* dst, int dw, int dh,
              size_t dstRowBytes, int channels, Filter filter) {
  Axis horizontal, vertical;
  BuildResizeTaps(horizontal, dw, sw, filter);
  BuildResizeTaps(vertical, dh, sh, filter);
  if (dh <= sh) {
    const int64_t work = int64_t(sw) * channels * int64_t(vertical.weights.size()) +
                         int64_t(dh) * channels * int64_t(horizontal.weights.size());
    std::vector<std::unique_ptr<uint16_t[]>> bands;
    bands.resize(size_t(qkern::ThreadsFor(work)));
    for (auto& band : bands) {
      band.reset(new (std::nothrow) uint16_t[size_t(sw) * channels * kBand]);
      if (!band) return false;
    }
    ShrinkRowsFirst(src, sw, srcRowBytes, dst, dw, dh, dstRowBytes, channels, horizontal, vertical,
                    bands);
  } else {
    // Rows first, into dw x sh; the columns then grow it to dh rows.
    const size_t midStride = size_t(dw) * channels;
    std::unique_ptr<uint16_t[]> mid(new (std::nothrow) uint16_t[midStride * size_t(sh)]);
    if (!mid) return false;
    Rows<uint8_t>(src, srcRowBytes, size_t(sw) * channels, mid.get(), midStride, dw, sh, channels,
                  horizontal);
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
