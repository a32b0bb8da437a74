#include "image/kernels/ColourMatch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/kernels/Parallel.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUILTOR_COLOUR_AVX2 1
#endif

namespace {

// Linear sRGB to XYZ (D65), each row divided by the white point's component,
// so that white maps to (1, 1, 1); and its inverse.
constexpr float kToXyz[3][3] = {
    {0.4124564f / 0.95047f, 0.3575761f / 0.95047f, 0.1804375f / 0.95047f},
    {0.2126729f, 0.7151522f, 0.0721750f},
    {0.0193339f / 1.08883f, 0.1191920f / 1.08883f, 0.9503041f / 1.08883f}};
constexpr float kToRgb[3][3] = {{3.2404542f * 0.95047f, -1.5371385f, -0.4985314f * 1.08883f},
                                {-0.9692660f * 0.95047f, 1.8760108f, 0.0415560f * 1.08883f},
                                {0.0556434f * 0.95047f, -0.2040259f, 1.0572252f * 1.08883f}};

// The CIE f(t) and its inverse: a cube root above (6/29)^3, a line below.
constexpr float kDelta = 6.0f / 29.0f;
constexpr float kDeltaCubed = kDelta * kDelta * kDelta;
constexpr float kLineSlope = 1.0f / (3.0f * kDelta * kDelta);
constexpr float kLineOffset = 4.0f / 29.0f;
constexpr float kInverseSlope = 3.0f * kDelta * kDelta;

// Byte to linear light, exactly as the reference formula gives it.
const std::array<float, 256>& DecodeTable() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int v = 0; v < 256; ++v) {
      const double c = v / 255.0;
      t[size_t(v)] =
          static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return t;
  }();
  return table;
}

inline float LabF(float t) { return t > kDeltaCubed ? std::cbrt(t) : t * kLineSlope + kLineOffset; }
inline float LabFInverse(float f) {
  return f > kDelta ? f * f * f : (f - kLineOffset) * kInverseSlope;
}

inline uint8_t EncodeByte(float linear) {
  const double x = std::clamp(static_cast<double>(linear), 0.0, 1.0);
  const double e = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(e * 255 + 0.5);
}

// The sums a part of a picture contributes to the statistics.
struct Moments {
  double sum[3] = {0, 0, 0};
  double squares[3] = {0, 0, 0};
  size_t count = 0;

  void Add(const Moments& o) {
    for (int c = 0; c < 3; ++c) {
      sum[c] += o.sum[c];
      squares[c] += o.squares[c];
    }
    count += o.count;
  }
};

// L is summed about 50 so that its squares stay small against the mean's.
constexpr double kLCentre = 50.0;

void AccumulateScalar(const uint8_t* rgb, size_t count, Moments& m) {
  for (size_t i = 0; i < count; ++i) {
    float lab[3];
    SrgbToLab(rgb + 3 * i, lab);
    const double v[3] = {lab[0] - kLCentre, lab[1], lab[2]};
    for (int c = 0; c < 3; ++c) {
      m.sum[c] += v[c];
      m.squares[c] += v[c] * v[c];
    }
  }
  m.count += count;
}

CLabStats StatsFrom(const Moments& m) {
  CLabStats s;
  if (m.count == 0) return s;
  const double n = static_cast<double>(m.count);
  for (int c = 0; c < 3; ++c) {
    const double mean = m.sum[c] / n;
    s.mean[c] = mean + (c == 0 ? kLCentre : 0.0);
    s.deviation[c] = std::sqrt(std::max(0.0, m.squares[c] / n - mean * mean));
  }
  return s;
}

void ApplyScalar(uint8_t* rgb, size_t count, const CLabTransfer& t) {
  for (size_t i = 0; i < count; ++i) {
    float lab[3];
    SrgbToLab(rgb + 3 * i, lab);
    for (int c = 0; c < 3; ++c) lab[c] = lab[c] * t.scale[c] + t.offset[c];
    LabToSrgb(lab, rgb + 3 * i);
  }
}

// Threads for count pixels: a pixel costs some tens of cycles each way.
int ThreadsForPixels(size_t count) {
  return qkern::ThreadsFor(static_cast<int64_t>(std::min<size_t>(count, size_t{1} << 40)),
                           int64_t{1} << 16);
}

// Splits [0, count) into parts of whole 8-pixel groups for the threads.
template <class Fn>
void ForPixelParts(size_t count, Fn&& fn) {
  const size_t groups = (count + 7) / 8;
  const int parts = static_cast<int>(std::min<size_t>(groups, 1 << 20));
  const int threads = ThreadsForPixels(count);
  qkern::ParallelParts(parts, threads, [&](int begin, int end, int part) {
    const size_t from = std::min(count, groups * static_cast<size_t>(begin) / parts * 8);
    const size_t to = std::min(count, groups * static_cast<size_t>(end) / parts * 8);
    fn(from, to, part);
  });
}

#ifdef QUILTOR_COLOUR_AVX2

// Linear light to byte for the vector path, exactly as EncodeByte rounds: a
// table over the float's bits from 2^-13 (below which every value encodes to
// 0) to 1.0, one bin per exponent and top ten mantissa bits. A bin spans less
// than a tenth of a byte, so at most one rounding step falls inside it; each
// entry holds the byte at the bin's start and, above it, the position of that
// step within the bin (kEncodeBin: none).
constexpr int kEncodeShift = 13;
constexpr int32_t kEncodeBin = 1 << kEncodeShift;
constexpr int32_t kEncodeBase = (127 - 13) << 23;
constexpr int kEncodeEntries = (13 << (23 - kEncodeShift)) + 1;

float FloatFromBits(int32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

const int32_t* EncodeTable() {
  static const std::vector<int32_t> table = [] {
    std::vector<int32_t> t(kEncodeEntries);
    for (int k = 0; k < kEncodeEntries; ++k) {
      const int32_t start = kEncodeBase + k * kEncodeBin;
      const uint8_t first = EncodeByte(FloatFromBits(start));
      int32_t step = kEncodeBin;
      if (k + 1 < kEncodeEntries && EncodeByte(FloatFromBits(start + kEncodeBin - 1)) != first) {
        int32_t lo = 0, hi = kEncodeBin - 1;  // EncodeByte(start + hi) != first
        while (lo + 1 < hi) {
          const int32_t mid = (lo + hi) / 2;
          (EncodeByte(FloatFromBits(start + mid)) != first ? hi : lo) = mid;
        }
        step = hi;
      }
      t[size_t(k)] = first | step << 8;
    }
    return t;
  }();
  return table.data();
}

struct Lab8 {
  __m256 l, a, b;
};

// Eight pixels from p, which must have 32 readable bytes, as indices 0..255.
__attribute__((target("avx2"), always_inline)) inline void LoadBytes(const uint8_t* p, __m256i& r,
                                                                     __m256i& g, __m256i& b) {
  __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  // Pixels 0-3 to the low lane, 4-7 to the high one, twelve bytes each.
  v = _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6));
  const __m256i pickR =
      _mm256_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1, 0, -1, -1, -1, 3,
                       -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
  const __m256i pickG =
      _mm256_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1, 1, -1, -1, -1,
                       4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
  const __m256i pickB =
      _mm256_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1, 2, -1, -1, -1,
                       5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
  r = _mm256_shuffle_epi8(v, pickR);
  g = _mm256_shuffle_epi8(v, pickG);
  b = _mm256_shuffle_epi8(v, pickB);
}

// Cube root for 0 < t <= 1 (other lanes are replaced by the caller): a guess
// from the bits, then two Halley steps, y (y^3 + 2t) / (2y^3 + t).
__attribute__((target("avx2"), always_inline)) inline __m256 Cbrt8(__m256 t) {
  const __m256 bits = _mm256_cvtepi32_ps(_mm256_castps_si256(t));
  __m256 y = _mm256_castsi256_ps(
      _mm256_add_epi32(_mm256_cvttps_epi32(_mm256_mul_ps(bits, _mm256_set1_ps(1.0f / 3.0f))),
                       _mm256_set1_epi32(709958130)));
  for (int k = 0; k < 2; ++k) {
    const __m256 y3 = _mm256_mul_ps(_mm256_mul_ps(y, y), y);
    const __m256 num = _mm256_add_ps(y3, _mm256_add_ps(t, t));
    const __m256 den = _mm256_add_ps(_mm256_add_ps(y3, y3), t);
    y = _mm256_div_ps(_mm256_mul_ps(y, num), den);
  }
  return y;
}

__attribute__((target("avx2"), always_inline)) inline __m256 LabF8(__m256 t) {
  const __m256 line =
      _mm256_add_ps(_mm256_mul_ps(t, _mm256_set1_ps(kLineSlope)), _mm256_set1_ps(kLineOffset));
  const __m256 above = _mm256_cmp_ps(t, _mm256_set1_ps(kDeltaCubed), _CMP_GT_OQ);
  // The guess from the bits of a tiny t is harmless: its lanes take the line.
  return _mm256_blendv_ps(line, Cbrt8(_mm256_max_ps(t, _mm256_set1_ps(kDeltaCubed))), above);
}

__attribute__((target("avx2"), always_inline)) inline __m256 Dot(const float row[3], __m256 x,
                                                                 __m256 y, __m256 z) {
  return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(row[0]), x),
                                     _mm256_mul_ps(_mm256_set1_ps(row[1]), y)),
                       _mm256_mul_ps(_mm256_set1_ps(row[2]), z));
}

__attribute__((target("avx2"), always_inline)) inline Lab8 ToLab8(const uint8_t* p,
                                                                  const float* decode) {
  __m256i ri, gi, bi;
  LoadBytes(p, ri, gi, bi);
  const __m256 r = _mm256_i32gather_ps(decode, ri, 4);
  const __m256 g = _mm256_i32gather_ps(decode, gi, 4);
  const __m256 b = _mm256_i32gather_ps(decode, bi, 4);
  const __m256 fx = LabF8(Dot(kToXyz[0], r, g, b));
  const __m256 fy = LabF8(Dot(kToXyz[1], r, g, b));
  const __m256 fz = LabF8(Dot(kToXyz[2], r, g, b));
  return {_mm256_sub_ps(_mm256_mul_ps(_mm256_set1_ps(116.0f), fy), _mm256_set1_ps(16.0f)),
          _mm256_mul_ps(_mm256_set1_ps(500.0f), _mm256_sub_ps(fx, fy)),
          _mm256_mul_ps(_mm256_set1_ps(200.0f), _mm256_sub_ps(fy, fz))};
}

__attribute__((target("avx2"), always_inline)) inline __m256 LabFInverse8(__m256 f) {
  const __m256 cube = _mm256_mul_ps(_mm256_mul_ps(f, f), f);
  const __m256 line =
      _mm256_mul_ps(_mm256_sub_ps(f, _mm256_set1_ps(kLineOffset)), _mm256_set1_ps(kInverseSlope));
  return _mm256_blendv_ps(line, cube, _mm256_cmp_ps(f, _mm256_set1_ps(kDelta), _CMP_GT_OQ));
}

__attribute__((target("avx2"), always_inline)) inline __m256i Encode8(__m256 linear,
                                                                      const int32_t* table) {
  const __m256 x = _mm256_min_ps(_mm256_max_ps(linear, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
  const __m256i from =
      _mm256_max_epi32(_mm256_sub_epi32(_mm256_castps_si256(x), _mm256_set1_epi32(kEncodeBase)),
                       _mm256_setzero_si256());
  const __m256i entry = _mm256_i32gather_epi32(table, _mm256_srli_epi32(from, kEncodeShift), 4);
  const __m256i within = _mm256_and_si256(from, _mm256_set1_epi32(kEncodeBin - 1));
  // Byte, plus one at or past the step: the comparison gives -1 there.
  return _mm256_sub_epi32(_mm256_and_si256(entry, _mm256_set1_epi32(255)),
                          _mm256_cmpgt_epi32(within, _mm256_sub_epi32(_mm256_srli_epi32(entry, 8),
                                                                      _mm256_set1_epi32(1))));
}

// Eight Lab pixels back to 24 bytes at p.
__attribute__((target("avx2"), always_inline)) inline void StoreLab8(const Lab8& lab, uint8_t* p,
                                                                     const int32_t* table) {
  const __m256 fy =
      _mm256_mul_ps(_mm256_add_ps(lab.l, _mm256_set1_ps(16.0f)), _mm256_set1_ps(1.0f / 116.0f));
  const __m256 fx = _mm256_add_ps(fy, _mm256_mul_ps(lab.a, _mm256_set1_ps(1.0f / 500.0f)));
  const __m256 fz = _mm256_sub_ps(fy, _mm256_mul_ps(lab.b, _mm256_set1_ps(1.0f / 200.0f)));
  const __m256 x = LabFInverse8(fx), y = LabFInverse8(fy), z = LabFInverse8(fz);
  const __m256i r = Encode8(Dot(kToRgb[0], x, y, z), table);
  const __m256i g = Encode8(Dot(kToRgb[1], x, y, z), table);
  const __m256i b = Encode8(Dot(kToRgb[2], x, y, z), table);
  const __m256i packed =
      _mm256_or_si256(r, _mm256_or_si256(_mm256_slli_epi32(g, 8), _mm256_slli_epi32(b, 16)));
  const __m256i squeeze = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                           0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i lanes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(packed, squeeze),
                                                    _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(lanes));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm256_extracti128_si256(lanes, 1));
}

// Adds four float lanes' worth of a vector into doubles.
__attribute__((target("avx2"), always_inline)) inline double HorizontalSum(__m256 v) {
  const __m256d wide = _mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(v)),
                                     _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)));
  alignas(32) double d[4];
  _mm256_store_pd(d, wide);
  return (d[0] + d[1]) + (d[2] + d[3]);
}

// Pixels from..to of rgb; 8-pixel groups while 32 bytes can be read, the
// rest through the reference.
__attribute__((target("avx2"))) void AccumulateAvx2(const uint8_t* rgb, size_t from, size_t to,
                                                    Moments& m) {
  const float* decode = DecodeTable().data();
  const __m256 centre = _mm256_set1_ps(static_cast<float>(kLCentre));
  size_t i = from;
  // Float sums are moved into doubles every 64 groups, before they lose bits.
  while (i + 11 <= to) {
    __m256 sum[3] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
    __m256 sq[3] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
    const size_t blockEnd = std::min(to - 10, i + 64 * 8);
    size_t n = 0;
    for (; i < blockEnd; i += 8, n += 8) {
      const Lab8 lab = ToLab8(rgb + 3 * i, decode);
      const __m256 v[3] = {_mm256_sub_ps(lab.l, centre), lab.a, lab.b};
      for (int c = 0; c < 3; ++c) {
        sum[c] = _mm256_add_ps(sum[c], v[c]);
        sq[c] = _mm256_add_ps(sq[c], _mm256_mul_ps(v[c], v[c]));
      }
    }
    for (int c = 0; c < 3; ++c) {
      m.sum[c] += HorizontalSum(sum[c]);
      m.squares[c] += HorizontalSum(sq[c]);
    }
    m.count += n;
  }
  AccumulateScalar(rgb + 3 * i, to - i, m);
}

struct Transfer8 {
  __m256 scale[3], offset[3];
};

__attribute__((target("avx2"), always_inline)) inline void ApplyGroup(uint8_t* p,
                                                                      const Transfer8& t,
                                                                      const float* decode,
                                                                      const int32_t* encode) {
  Lab8 lab = ToLab8(p, decode);
  lab.l = _mm256_add_ps(_mm256_mul_ps(lab.l, t.scale[0]), t.offset[0]);
  lab.a = _mm256_add_ps(_mm256_mul_ps(lab.a, t.scale[1]), t.offset[1]);
  lab.b = _mm256_add_ps(_mm256_mul_ps(lab.b, t.scale[2]), t.offset[2]);
  StoreLab8(lab, p, encode);
}

__attribute__((target("avx2"))) void ApplyAvx2(uint8_t* rgb, size_t from, size_t to,
                                               const CLabTransfer& t) {
  const float* decode = DecodeTable().data();
  const int32_t* encode = EncodeTable();
  Transfer8 t8;
  for (int c = 0; c < 3; ++c) {
    t8.scale[c] = _mm256_set1_ps(t.scale[c]);
    t8.offset[c] = _mm256_set1_ps(t.offset[c]);
  }
  size_t i = from;
  for (; i + 11 <= to; i += 8) ApplyGroup(rgb + 3 * i, t8, decode, encode);
  // The last pixels go through a padded copy, so that they are treated alike.
  while (i < to) {
    const size_t n = std::min<size_t>(8, to - i);
    alignas(32) uint8_t padded[32] = {};
    std::memcpy(padded, rgb + 3 * i, 3 * n);
    ApplyGroup(padded, t8, decode, encode);
    std::memcpy(rgb + 3 * i, padded, 3 * n);
    i += n;
  }
}

#endif

}  // namespace

void SrgbToLab(const uint8_t rgb[3], float lab[3]) {
  const auto& decode = DecodeTable();
  const float r = decode[rgb[0]], g = decode[rgb[1]], b = decode[rgb[2]];
  float f[3];
  for (int k = 0; k < 3; ++k) f[k] = LabF(kToXyz[k][0] * r + kToXyz[k][1] * g + kToXyz[k][2] * b);
  lab[0] = 116.0f * f[1] - 16.0f;
  lab[1] = 500.0f * (f[0] - f[1]);
  lab[2] = 200.0f * (f[1] - f[2]);
}

void LabToSrgb(const float lab[3], uint8_t rgb[3]) {
  const float fy = (lab[0] + 16.0f) * (1.0f / 116.0f);
  const float fx = fy + lab[1] * (1.0f / 500.0f);
  const float fz = fy - lab[2] * (1.0f / 200.0f);
  const float x = LabFInverse(fx), y = LabFInverse(fy), z = LabFInverse(fz);
  for (int k = 0; k < 3; ++k)
    rgb[k] = EncodeByte(kToRgb[k][0] * x + kToRgb[k][1] * y + kToRgb[k][2] * z);
}

CLabStats MeasureLabScalar(const uint8_t* rgb, size_t count) {
  Moments m;
  if (rgb) AccumulateScalar(rgb, count, m);
  return StatsFrom(m);
}

CLabStats MeasureLab(const uint8_t* rgb, size_t count) {
  if (!rgb || count == 0) return {};
#ifdef QUILTOR_COLOUR_AVX2
  if (qkern::UseAvx2()) {
    std::vector<Moments> parts(static_cast<size_t>(ThreadsForPixels(count)));
    ForPixelParts(count, [&](size_t from, size_t to, int part) {
      AccumulateAvx2(rgb, from, to, parts[static_cast<size_t>(part)]);
    });
    Moments total;
    for (const Moments& p : parts) total.Add(p);
    return StatsFrom(total);
  }
#endif
  return MeasureLabScalar(rgb, count);
}

CLabTransfer MakeLabTransfer(const CLabStats& from, const CLabStats& to) {
  CLabTransfer t;
  for (int c = 0; c < 3; ++c) {
    double scale = 1.0;
    if (from.deviation[c] >= kLabFlatDeviation && to.deviation[c] >= kLabFlatDeviation)
      scale = std::clamp(to.deviation[c] / from.deviation[c], 1.0 / kLabMaxScale, kLabMaxScale);
    t.scale[c] = static_cast<float>(scale);
    t.offset[c] = static_cast<float>(to.mean[c] - scale * from.mean[c]);
  }
  return t;
}

void ApplyLabTransferScalar(uint8_t* rgb, size_t count, const CLabTransfer& transfer) {
  if (rgb) ApplyScalar(rgb, count, transfer);
}

void ApplyLabTransfer(uint8_t* rgb, size_t count, const CLabTransfer& transfer) {
  if (!rgb || count == 0) return;
#ifdef QUILTOR_COLOUR_AVX2
  if (qkern::UseAvx2()) {
    ForPixelParts(count, [&](size_t from, size_t to, int) { ApplyAvx2(rgb, from, to, transfer); });
    return;
  }
#endif
  ApplyScalar(rgb, count, transfer);
}

void MatchColours(uint8_t* slice, size_t sliceCount, const uint8_t* reference,
                  size_t referenceCount) {
  if (!slice || !reference || sliceCount == 0 || referenceCount == 0) return;
  const CLabStats from = MeasureLab(slice, sliceCount);
  const CLabStats to = MeasureLab(reference, referenceCount);
  ApplyLabTransfer(slice, sliceCount, MakeLabTransfer(from, to));
}
