// The two passes of C2PassScale. Every output sample is
//   a = 0 (float); for each tap: a = float(double(a) + double(sample) * weight)
// truncated to a byte. The vector paths run exactly that sequence in each
// lane: lanes are different pixels or channels sharing one weight, never
// different taps of one sum, so no reassociation takes place.
#include "image/kernels/TwoPassScale.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "image/kernels/Parallel.h"

namespace qkern {
namespace {

// Rows handled together by the row pass, one accumulator chain each: enough
// independent chains to cover the latency of the add-and-round step.
constexpr int kRowBlock = 8;

inline float Step(float a, double sample, double weight) {
  return float(double(a) + sample * weight);
}

inline uint8_t TruncateToByte(float a) { return a >= 255.0f ? 255 : a > 0 ? uint8_t(a) : 0; }

std::atomic<bool> g_vectorPaths{true};

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have && g_vectorPaths.load(std::memory_order_relaxed);
}

// ---- row pass -------------------------------------------------------------

void RowsScalar(const uint8_t* source, int sw, int y0, int y1, uint8_t* target, int tw, int C,
                const Contributions& t) {
  for (int y = y0; y < y1; ++y) {
    const uint8_t* in = source + size_t(y) * size_t(sw) * C;
    uint8_t* out = target + size_t(y) * size_t(tw) * C;
    for (int x = 0; x < tw; ++x) {
      const double* w = t.weights.data() + t.offset[size_t(x)];
      const int n = t.count[size_t(x)];
      const uint8_t* p = in + size_t(t.first[size_t(x)]) * C;
      for (int c = 0; c < C; ++c) {
        float a = 0;
        for (int k = 0; k < n; ++k) a = Step(a, p[size_t(k) * C + c], w[k]);
        out[size_t(x) * C + c] = TruncateToByte(a);
      }
    }
  }
}

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline uint32_t Load24(const uint8_t* p) {
  uint16_t low;
  std::memcpy(&low, p, 2);
  return uint32_t(low) | uint32_t(p[2]) << 16;
}

template <bool kLoad32>
__attribute__((target("avx2"), always_inline)) inline __m256d Widen(const uint8_t* p) {
  const uint32_t bytes = kLoad32 ? Load32(p) : Load24(p);
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(bytes))));
}

// a = float(double(a) + sample * weight), kept widened to double.
__attribute__((target("avx2"), always_inline)) inline __m256d Accumulate(__m256d a, __m256d s,
                                                                         __m256d w) {
  return _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(a, _mm256_mul_pd(s, w))));
}

// The eight accumulators are named so that they stay in registers.
template <int C, bool kLoad32>
__attribute__((target("avx2"), always_inline)) inline void RowTaps(const uint8_t* const* in,
                                                                   size_t base, const double* w,
                                                                   int n, __m256d* acc) {
  static_assert(kRowBlock == 8);
  const uint8_t *p0 = in[0] + base, *p1 = in[1] + base, *p2 = in[2] + base, *p3 = in[3] + base;
  const uint8_t *p4 = in[4] + base, *p5 = in[5] + base, *p6 = in[6] + base, *p7 = in[7] + base;
  __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0, a6 = a0, a7 = a0;
  for (int k = 0; k < n; ++k) {
    const __m256d wk = _mm256_broadcast_sd(w + k);
    const size_t at = size_t(k) * C;
    a0 = Accumulate(a0, Widen<kLoad32>(p0 + at), wk);
    a1 = Accumulate(a1, Widen<kLoad32>(p1 + at), wk);
    a2 = Accumulate(a2, Widen<kLoad32>(p2 + at), wk);
    a3 = Accumulate(a3, Widen<kLoad32>(p3 + at), wk);
    a4 = Accumulate(a4, Widen<kLoad32>(p4 + at), wk);
    a5 = Accumulate(a5, Widen<kLoad32>(p5 + at), wk);
    a6 = Accumulate(a6, Widen<kLoad32>(p6 + at), wk);
    a7 = Accumulate(a7, Widen<kLoad32>(p7 + at), wk);
  }
  acc[0] = a0, acc[1] = a1, acc[2] = a2, acc[3] = a3;
  acc[4] = a4, acc[5] = a5, acc[6] = a6, acc[7] = a7;
}

// kRowBlock rows at once: lanes are the channels of one pixel (for 3
// channels the fourth lane carries the next pixel's first byte and is
// dropped). Outputs from `wide` on read the last source pixel, where a 4-byte
// load would leave a 3-channel row.
template <int C>
__attribute__((target("avx2"))) void RowBlockAvx2(const uint8_t* const* in, uint8_t* const* out,
                                                  int rows, int tw, int wide,
                                                  const Contributions& t) {
  for (int x = 0; x < tw; ++x) {
    const double* w = t.weights.data() + t.offset[size_t(x)];
    const int n = t.count[size_t(x)];
    const size_t base = size_t(t.first[size_t(x)]) * C;
    __m256d acc[kRowBlock];
    if (C == 4 || x < wide)
      RowTaps<C, true>(in, base, w, n, acc);
    else
      RowTaps<C, false>(in, base, w, n, acc);
    for (int r = 0; r < rows; ++r) {
      __m128i q = _mm256_cvttpd_epi32(acc[r]);
      q = _mm_packus_epi16(_mm_packus_epi32(q, q), q);
      const uint32_t v = uint32_t(_mm_cvtsi128_si32(q));
      std::memcpy(out[r] + size_t(x) * C, &v, C);
    }
  }
}

// ---- column pass ----------------------------------------------------------

void ColumnsScalar(const uint8_t* source, size_t rowBytes, int y0, int y1, size_t x0,
                   uint8_t* target, const Contributions& t) {
  for (int y = y0; y < y1; ++y) {
    const double* w = t.weights.data() + t.offset[size_t(y)];
    const int n = t.count[size_t(y)];
    const uint8_t* in = source + size_t(t.first[size_t(y)]) * rowBytes;
    uint8_t* out = target + size_t(y) * rowBytes;
    for (size_t x = x0; x < rowBytes; ++x) {
      float a = 0;
      for (int k = 0; k < n; ++k) a = Step(a, in[size_t(k) * rowBytes + x], w[k]);
      out[x] = TruncateToByte(a);
    }
  }
}

__attribute__((target("avx2"))) void ColumnsAvx2(const uint8_t* source, size_t rowBytes, int y0,
                                                 int y1, uint8_t* target, const Contributions& t) {
  const size_t vectorBytes = rowBytes & ~size_t(15);
  for (int y = y0; y < y1; ++y) {
    const double* w = t.weights.data() + t.offset[size_t(y)];
    const int n = t.count[size_t(y)];
    const uint8_t* in = source + size_t(t.first[size_t(y)]) * rowBytes;
    uint8_t* out = target + size_t(y) * rowBytes;
    for (size_t x = 0; x < vectorBytes; x += 16) {
      __m256d acc[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(),
                        _mm256_setzero_pd()};
      const uint8_t* p = in + x;
      for (int k = 0; k < n; ++k, p += rowBytes) {
        const __m256d wk = _mm256_broadcast_sd(w + k);
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i parts[4] = {b, _mm_srli_si128(b, 4), _mm_srli_si128(b, 8), _mm_srli_si128(b, 12)};
        for (int v = 0; v < 4; ++v) {
          const __m256d s = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(parts[v]));
          acc[v] = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(acc[v], _mm256_mul_pd(s, wk))));
        }
      }
      const __m128i lo = _mm_packus_epi32(_mm256_cvttpd_epi32(acc[0]), _mm256_cvttpd_epi32(acc[1]));
      const __m128i hi = _mm_packus_epi32(_mm256_cvttpd_epi32(acc[2]), _mm256_cvttpd_epi32(acc[3]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
  }
  if (vectorBytes < rowBytes) ColumnsScalar(source, rowBytes, y0, y1, vectorBytes, target, t);
}

}  // namespace

void EnableVectorPaths(bool enable) { g_vectorPaths.store(enable); }

bool ScaleRows(const uint8_t* source, int sw, int sh, uint8_t* target, int tw, int channels,
               const Contributions& table) {
  const int C = channels;
  if (C != 3 && C != 4) return false;
  const int64_t work = int64_t(sh) * tw * C * (int64_t(table.weights.size()) / std::max(1, tw));
  if (!HaveAvx2()) {
    ParallelFor(sh, ThreadsFor(work),
                [&](int y0, int y1) { RowsScalar(source, sw, y0, y1, target, tw, C, table); });
    return true;
  }
  const int blocks = (sh + kRowBlock - 1) / kRowBlock;
  int wide = 0;
  while (wide < tw && table.first[size_t(wide)] + table.count[size_t(wide)] < sw) ++wide;
  ParallelFor(blocks, ThreadsFor(work), [&](int b0, int b1) {
    const uint8_t* in[kRowBlock];
    uint8_t* out[kRowBlock];
    for (int b = b0; b < b1; ++b) {
      const int y0 = b * kRowBlock, rows = std::min(kRowBlock, sh - y0);
      for (int r = 0; r < kRowBlock; ++r) {
        const int y = std::min(y0 + r, sh - 1);  // a short last block repeats its last row
        in[r] = source + size_t(y) * size_t(sw) * C;
        out[r] = target + size_t(y) * size_t(tw) * C;
      }
      if (C == 3)
        RowBlockAvx2<3>(in, out, rows, tw, wide, table);
      else
        RowBlockAvx2<4>(in, out, rows, tw, wide, table);
    }
  });
  return true;
}

bool ScaleColumns(const uint8_t* source, int sw, int sh, uint8_t* target, int th, int channels,
                  const Contributions& table) {
  if (channels != 3 && channels != 4) return false;
  (void)sh;
  const size_t rowBytes = size_t(sw) * channels;
  const int64_t work =
      int64_t(th) * int64_t(rowBytes) * (int64_t(table.weights.size()) / std::max(1, th));
  const bool avx2 = HaveAvx2();
  ParallelFor(th, ThreadsFor(work), [&](int y0, int y1) {
    if (avx2)
      ColumnsAvx2(source, rowBytes, y0, y1, target, table);
    else
      ColumnsScalar(source, rowBytes, y0, y1, 0, target, table);
  });
  return true;
}

}  // namespace qkern
