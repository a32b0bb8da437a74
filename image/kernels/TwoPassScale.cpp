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

// Rows handled together by the row pass: every lane of a vector is one
// channel of one of these rows.
constexpr int kRowBlock = 4;

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

// Interleaves kRowBlock rows as floats, pixel by pixel: packed[j * 4C + r * C
// + c] = row r, pixel j, channel c. Rows past the end repeat the last one.
void PackRows(const uint8_t* source, int sw, int sh, int y0, int C, float* packed) {
  const uint8_t* rows[kRowBlock];
  for (int r = 0; r < kRowBlock; ++r)
    rows[r] = source + size_t(std::min(y0 + r, sh - 1)) * size_t(sw) * C;
  const int L = kRowBlock * C;
  for (int j = 0; j < sw; ++j) {
    float* dst = packed + size_t(j) * L;
    for (int r = 0; r < kRowBlock; ++r)
      for (int c = 0; c < C; ++c) dst[r * C + c] = float(rows[r][size_t(j) * C + c]);
  }
}

template <int C>
__attribute__((target("avx2"))) void RowBlockAvx2(const float* packed, uint8_t* const* out,
                                                  int rows, int tw, const Contributions& t) {
  constexpr int L = kRowBlock * C;  // lanes: C vectors of 4 doubles
  alignas(16) uint8_t bytes[16];
  for (int x = 0; x < tw; ++x) {
    const double* w = t.weights.data() + t.offset[size_t(x)];
    const int n = t.count[size_t(x)];
    const float* p = packed + size_t(t.first[size_t(x)]) * L;
    __m256d acc[C];
    for (int v = 0; v < C; ++v) acc[v] = _mm256_setzero_pd();
    for (int k = 0; k < n; ++k, p += L) {
      const __m256d wk = _mm256_broadcast_sd(w + k);
      for (int v = 0; v < C; ++v) {
        const __m256d s = _mm256_cvtps_pd(_mm_loadu_ps(p + 4 * v));
        acc[v] = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(acc[v], _mm256_mul_pd(s, wk))));
      }
    }
    __m128i q[4];
    for (int v = 0; v < 4; ++v) q[v] = v < C ? _mm256_cvttpd_epi32(acc[v]) : _mm_setzero_si128();
    const __m128i lo = _mm_packus_epi32(q[0], q[1]), hi = _mm_packus_epi32(q[2], q[3]);
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(lo, hi));
    for (int r = 0; r < rows; ++r) std::memcpy(out[r] + size_t(x) * C, bytes + r * C, C);
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
  const int threads = ThreadsFor(work);
  // One packing buffer per thread, all allocated before any work starts.
  const size_t packedFloats = size_t(sw) * kRowBlock * C;
  std::vector<std::unique_ptr<float[]>> packed;
  packed.reserve(size_t(threads));
  for (int i = 0; i < threads; ++i) {
    packed.emplace_back(new (std::nothrow) float[packedFloats]);
    if (!packed.back()) return false;
  }
  ParallelParts(blocks, threads, [&](int b0, int b1, int part) {
    float* buffer = packed[size_t(part)].get();
    uint8_t* out[kRowBlock];
    for (int b = b0; b < b1; ++b) {
      const int y0 = b * kRowBlock, rows = std::min(kRowBlock, sh - y0);
      PackRows(source, sw, sh, y0, C, buffer);
      for (int r = 0; r < kRowBlock; ++r)
        out[r] = target + size_t(std::min(y0 + r, sh - 1)) * size_t(tw) * C;
      if (C == 3)
        RowBlockAvx2<3>(buffer, out, rows, tw, table);
      else
        RowBlockAvx2<4>(buffer, out, rows, tw, table);
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
