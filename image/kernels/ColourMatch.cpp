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

#ifdef QUILTOR_COLOUR_AVX2
// The CIE f of X / Xn, Y / Yn and Z / Zn of a pixel; Lab is linear in them.
void SrgbToF(const uint8_t rgb[3], float f[3]) {
  const auto& decode = DecodeTable();
  const float r = decode[rgb[0]], g = decode[rgb[1]], b = decode[rgb[2]];
  for (int k = 0; k < 3; ++k) f[k] = LabF(kToXyz[k][0] * r + kToXyz[k][1] * g + kToXyz[k][2] * b);
}

// f values kept between measuring a picture and mapping it, as 16-bit
// integers in steps of 1 / kKeptScale (f lies in [4 / 29, 1] for bytes).
constexpr float kKeptScale = 60000.0f;
struct KeptF {
  uint16_t* x = nullptr;
  uint16_t* y = nullptr;
  uint16_t* z = nullptr;
};
#endif

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

#ifdef QUILTOR_COLOUR_AVX2
// As AccumulateScalar, keeping each pixel's f values from index `at` on.
void AccumulateScalarKeeping(const uint8_t* rgb, size_t count, Moments& m, const KeptF& kept,
                             size_t at) {
  for (size_t i = 0; i < count; ++i) {
    float f[3];
    SrgbToF(rgb + 3 * i, f);
    const double v[3] = {116.0 * f[1] - 16.0 - kLCentre, 500.0 * (double(f[0]) - f[1]),
                         200.0 * (double(f[1]) - f[2])};
    for (int c = 0; c < 3; ++c) {
      m.sum[c] += v[c];
      m.squares[c] += v[c] * v[c];
    }
    kept.x[at + i] = static_cast<uint16_t>(std::lround(f[0] * kKeptScale));
    kept.y[at + i] = static_cast<uint16_t>(std::lround(f[1] * kKeptScale));
    kept.z[at + i] = static_cast<uint16_t>(std::lround(f[2] * kKeptScale));
  }
  m.count += count;
}
#endif

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

#ifdef QUILTOR_COLOUR_AVX2
bool UseVectorPath() {
  static const bool fma = __builtin_cpu_supports("fma");
  return fma && qkern::UseAvx2();
}
#endif

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

#define QUILTOR_VECTOR __attribute__((target("avx2,fma"), always_inline)) inline

QUILTOR_VECTOR __m256 Dot(const float row[3], __m256 x, __m256 y, __m256 z) {
  return _mm256_fmadd_ps(
      _mm256_set1_ps(row[0]), x,
      _mm256_fmadd_ps(_mm256_set1_ps(row[1]), y, _mm256_mul_ps(_mm256_set1_ps(row[2]), z)));
}

// The CIE f of X / Xn, Y / Yn and Z / Zn of eight pixels; Lab is linear in them.
struct F8 {
  __m256 x, y, z;
};

// The CIE f of n vectors at once, step by step: the steps of one vector
// depend on each other, so interleaving several keeps the units busy. Below
// kDeltaCubed the line; above, the cube root without a division: the inverse
// cube root guessed from the bits (within 3.5 %), three Newton steps
// r (4 - t r^3) / 3, each squaring the error, then t r^2.
template <int N>
QUILTOR_VECTOR void LabFN(__m256 (&v)[N]) {
  const __m256 third = _mm256_set1_ps(1.0f / 3.0f), fourThirds = _mm256_set1_ps(4.0f / 3.0f);
  __m256 t[N], r[N];
  for (int n = 0; n < N; ++n) {
    t[n] = _mm256_max_ps(v[n], _mm256_set1_ps(kDeltaCubed));
    const __m256 bits = _mm256_cvtepi32_ps(_mm256_castps_si256(t[n]));
    r[n] = _mm256_castsi256_ps(_mm256_sub_epi32(_mm256_set1_epi32(0x54a23000),
                                                _mm256_cvttps_epi32(_mm256_mul_ps(bits, third))));
  }
  for (int k = 0; k < 3; ++k)
    for (int n = 0; n < N; ++n) {
      const __m256 tr3 = _mm256_mul_ps(_mm256_mul_ps(t[n], r[n]), _mm256_mul_ps(r[n], r[n]));
      r[n] = _mm256_mul_ps(r[n], _mm256_fnmadd_ps(tr3, third, fourThirds));
    }
  for (int n = 0; n < N; ++n) {
    const __m256 line =
        _mm256_fmadd_ps(v[n], _mm256_set1_ps(kLineSlope), _mm256_set1_ps(kLineOffset));
    const __m256 above = _mm256_cmp_ps(v[n], _mm256_set1_ps(kDeltaCubed), _CMP_GT_OQ);
    v[n] = _mm256_blendv_ps(line, _mm256_mul_ps(t[n], _mm256_mul_ps(r[n], r[n])), above);
  }
}

// The f values of g groups of eight pixels from p (24 g + 8 readable bytes).
template <int G>
QUILTOR_VECTOR void ToFN(const uint8_t* p, const float* decode, F8 (&out)[G]) {
  __m256 v[3 * G];
  for (int g = 0; g < G; ++g) {
    __m256i ri, gi, bi;
    LoadBytes(p + 24 * g, ri, gi, bi);
    const __m256 r = _mm256_i32gather_ps(decode, ri, 4);
    const __m256 gr = _mm256_i32gather_ps(decode, gi, 4);
    const __m256 b = _mm256_i32gather_ps(decode, bi, 4);
    for (int c = 0; c < 3; ++c) v[3 * g + c] = Dot(kToXyz[c], r, gr, b);
  }
  LabFN(v);
  for (int g = 0; g < G; ++g) out[g] = {v[3 * g], v[3 * g + 1], v[3 * g + 2]};
}

QUILTOR_VECTOR __m256 LabFInverse8(__m256 f) {
  const __m256 cube = _mm256_mul_ps(_mm256_mul_ps(f, f), f);
  const __m256 line =
      _mm256_mul_ps(_mm256_sub_ps(f, _mm256_set1_ps(kLineOffset)), _mm256_set1_ps(kInverseSlope));
  return _mm256_blendv_ps(line, cube, _mm256_cmp_ps(f, _mm256_set1_ps(kDelta), _CMP_GT_OQ));
}

QUILTOR_VECTOR __m256i Encode8(__m256 linear, const int32_t* table) {
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

// Eight pixels' f values back to bytes, as R | G << 8 | B << 16 per lane.
QUILTOR_VECTOR __m256i FromF8(const F8& f, const int32_t* table) {
  const __m256 x = LabFInverse8(f.x), y = LabFInverse8(f.y), z = LabFInverse8(f.z);
  const __m256i r = Encode8(Dot(kToRgb[0], x, y, z), table);
  const __m256i g = Encode8(Dot(kToRgb[1], x, y, z), table);
  const __m256i b = Encode8(Dot(kToRgb[2], x, y, z), table);
  return _mm256_or_si256(r, _mm256_or_si256(_mm256_slli_epi32(g, 8), _mm256_slli_epi32(b, 16)));
}

// Eight packed pixels to 24 bytes at p.
QUILTOR_VECTOR void StoreRgb8(__m256i packed, uint8_t* p) {
  const __m256i squeeze = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                           0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i lanes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(packed, squeeze),
                                                    _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(lanes));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm256_extracti128_si256(lanes, 1));
}

// Adds four float lanes' worth of a vector into doubles.
QUILTOR_VECTOR double HorizontalSum(__m256 v) {
  const __m256d wide = _mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(v)),
                                     _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)));
  alignas(32) double d[4];
  _mm256_store_pd(d, wide);
  return (d[0] + d[1]) + (d[2] + d[3]);
}

// Adds the L - kLCentre, a and b of eight pixels and their squares.
QUILTOR_VECTOR void AddMoments(const F8& f, __m256 (&sum)[3], __m256 (&sq)[3]) {
  const __m256 v[3] = {_mm256_fmsub_ps(_mm256_set1_ps(116.0f), f.y,
                                       _mm256_set1_ps(16.0f + static_cast<float>(kLCentre))),
                       _mm256_mul_ps(_mm256_set1_ps(500.0f), _mm256_sub_ps(f.x, f.y)),
                       _mm256_mul_ps(_mm256_set1_ps(200.0f), _mm256_sub_ps(f.y, f.z))};
  for (int c = 0; c < 3; ++c) {
    sum[c] = _mm256_add_ps(sum[c], v[c]);
    sq[c] = _mm256_fmadd_ps(v[c], v[c], sq[c]);
  }
}

QUILTOR_VECTOR void StoreKept(__m256 f, uint16_t* to) {
  const __m256i q = _mm256_cvtps_epi32(_mm256_mul_ps(f, _mm256_set1_ps(kKeptScale)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                   _mm_packus_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1)));
}

QUILTOR_VECTOR void Keep(const F8& f, const KeptF& kept, size_t at) {
  StoreKept(f.x, kept.x + at);
  StoreKept(f.y, kept.y + at);
  StoreKept(f.z, kept.z + at);
}

// Pixels from..to of rgb: two 8-pixel groups at a time while their bytes and
// 8 more can be read, then single groups, the rest through the reference.
// With kKeep the f values are kept too.
template <bool kKeep>
__attribute__((target("avx2,fma"))) void AccumulateAvx2(const uint8_t* rgb, size_t from, size_t to,
                                                        Moments& m, const KeptF& kept = {}) {
  const float* decode = DecodeTable().data();
  size_t i = from;
  // Float sums are moved into doubles every 64 groups or so, before they lose bits.
  while (i + 11 <= to) {
    __m256 sum[3] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
    __m256 sq[3] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
    const size_t last = to - 11;  // the last index a group may start at
    const size_t blockEnd = std::min(last + 1, i + 64 * 8);
    const size_t start = i;
    for (; i + 8 <= last && i < blockEnd; i += 16) {
      F8 f[2];
      ToFN(rgb + 3 * i, decode, f);
      AddMoments(f[0], sum, sq);
      AddMoments(f[1], sum, sq);
      if constexpr (kKeep) {
        Keep(f[0], kept, i);
        Keep(f[1], kept, i + 8);
      }
    }
    for (; i < blockEnd; i += 8) {
      F8 f[1];
      ToFN(rgb + 3 * i, decode, f);
      AddMoments(f[0], sum, sq);
      if constexpr (kKeep) Keep(f[0], kept, i);
    }
    for (int c = 0; c < 3; ++c) {
      m.sum[c] += HorizontalSum(sum[c]);
      m.squares[c] += HorizontalSum(sq[c]);
    }
    m.count += i - start;
  }
  if constexpr (kKeep)
    AccumulateScalarKeeping(rgb + 3 * i, to - i, m, kept, i);
  else
    AccumulateScalar(rgb + 3 * i, to - i, m);
}

// The Lab map written on the f values: f'y = sy fy + cy, f'x = sx fx + xy fy + cx,
// f'z = sz fz + zy fy + cz.
struct FTransfer {
  float sy, cy, sx, xy, cx, sz, zy, cz;

  explicit FTransfer(const CLabTransfer& t) {
    const float sL = t.scale[0], sa = t.scale[1], sb = t.scale[2];
    sy = sL;
    cy = (t.offset[0] + 16.0f - 16.0f * sL) / 116.0f;
    sx = sa;
    xy = sL - sa;
    cx = cy + t.offset[1] / 500.0f;
    sz = sb;
    zy = sL - sb;
    cz = cy - t.offset[2] / 200.0f;
  }
};

struct FTransfer8 {
  __m256 sy, cy, sx, xy, cx, sz, zy, cz;
};

QUILTOR_VECTOR FTransfer8 Broadcast(const FTransfer& t) {
  return {_mm256_set1_ps(t.sy), _mm256_set1_ps(t.cy), _mm256_set1_ps(t.sx), _mm256_set1_ps(t.xy),
          _mm256_set1_ps(t.cx), _mm256_set1_ps(t.sz), _mm256_set1_ps(t.zy), _mm256_set1_ps(t.cz)};
}

QUILTOR_VECTOR F8 Move(const FTransfer8& t, __m256 fx, __m256 fy, __m256 fz) {
  return {_mm256_fmadd_ps(t.sx, fx, _mm256_fmadd_ps(t.xy, fy, t.cx)),
          _mm256_fmadd_ps(t.sy, fy, t.cy),
          _mm256_fmadd_ps(t.sz, fz, _mm256_fmadd_ps(t.zy, fy, t.cz))};
}

// The mapped colours of g groups of eight pixels from p (24 g + 8 readable
// bytes), packed as FromF8 gives them.
template <int G>
QUILTOR_VECTOR void MapGroups(const uint8_t* p, const FTransfer8& t, const float* decode,
                              const int32_t* encode, __m256i (&out)[G]) {
  F8 f[G];
  ToFN(p, decode, f);
  for (int g = 0; g < G; ++g) out[g] = FromF8(Move(t, f[g].x, f[g].y, f[g].z), encode);
}

template <int kOutBytes>
QUILTOR_VECTOR void StoreGroup(__m256i packed, uint8_t* out) {
  if constexpr (kOutBytes == 4)
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(out),
        _mm256_or_si256(packed, _mm256_set1_epi32(static_cast<int32_t>(0xff000000u))));
  else
    StoreRgb8(packed, out);
}

// Pixels from..to of rgb, mapped into out: 3 bytes a pixel (out may be rgb:
// a group's bytes are read before they are written), or 4 with an opaque alpha.
template <int kOutBytes>
__attribute__((target("avx2,fma"))) void MapAvx2(const uint8_t* rgb, uint8_t* out, size_t from,
                                                 size_t to, const CLabTransfer& transfer) {
  const float* decode = DecodeTable().data();
  const int32_t* encode = EncodeTable();
  const FTransfer8 t = Broadcast(FTransfer(transfer));
  size_t i = from;
  for (; i + 19 <= to; i += 16) {
    __m256i packed[2];
    MapGroups(rgb + 3 * i, t, decode, encode, packed);
    StoreGroup<kOutBytes>(packed[0], out + kOutBytes * i);
    StoreGroup<kOutBytes>(packed[1], out + kOutBytes * (i + 8));
  }
  for (; i + 11 <= to; i += 8) {
    __m256i packed[1];
    MapGroups(rgb + 3 * i, t, decode, encode, packed);
    StoreGroup<kOutBytes>(packed[0], out + kOutBytes * i);
  }
  // The last pixels go through a padded copy, so that they are treated alike.
  while (i < to) {
    const size_t n = std::min<size_t>(8, to - i);
    alignas(32) uint8_t padded[32] = {};
    std::memcpy(padded, rgb + 3 * i, 3 * n);
    alignas(32) uint8_t mapped[32];
    __m256i packed[1];
    MapGroups(padded, t, decode, encode, packed);
    StoreGroup<kOutBytes>(packed[0], mapped);
    std::memcpy(out + kOutBytes * i, mapped, kOutBytes * n);
    i += n;
  }
}

QUILTOR_VECTOR __m256 LoadKept(const uint16_t* from) {
  const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  return _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(q)),
                       _mm256_set1_ps(1.0f / kKeptScale));
}

// Kept pixels from..to through the transfer into 32-bit pixels.
__attribute__((target("avx2,fma"))) void MapKeptAvx2(const KeptF& kept, uint8_t* rgba, size_t from,
                                                     size_t to, const CLabTransfer& transfer) {
  const int32_t* encode = EncodeTable();
  const FTransfer8 t = Broadcast(FTransfer(transfer));
  size_t i = from;
  for (; i < to; i += 8) {
    const size_t n = std::min<size_t>(8, to - i);
    alignas(16) uint16_t tail[3][8] = {};
    const uint16_t* x = kept.x + i;
    const uint16_t* y = kept.y + i;
    const uint16_t* z = kept.z + i;
    if (n < 8) {
      std::memcpy(tail[0], x, 2 * n);
      std::memcpy(tail[1], y, 2 * n);
      std::memcpy(tail[2], z, 2 * n);
      x = tail[0], y = tail[1], z = tail[2];
    }
    const __m256i packed = FromF8(Move(t, LoadKept(x), LoadKept(y), LoadKept(z)), encode);
    if (n == 8) {
      StoreGroup<4>(packed, rgba + 4 * i);
    } else {
      alignas(32) uint8_t mapped[32];
      StoreGroup<4>(packed, mapped);
      std::memcpy(rgba + 4 * i, mapped, 4 * n);
    }
  }
}

#undef QUILTOR_VECTOR

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
  if (UseVectorPath()) {
    std::vector<Moments> parts(static_cast<size_t>(ThreadsForPixels(count)));
    ForPixelParts(count, [&](size_t from, size_t to, int part) {
      AccumulateAvx2<false>(rgb, from, to, parts[static_cast<size_t>(part)]);
    });
    Moments total;
    for (const Moments& p : parts) total.Add(p);
    return StatsFrom(total);
  }
#endif
  return MeasureLabScalar(rgb, count);
}

CLabStats MeasureLabRows(const uint8_t* first, size_t width, size_t height, size_t stride) {
  if (!first || width == 0 || height == 0) return {};
  const int rows = static_cast<int>(std::min<size_t>(height, 1 << 30));
  const int threads = ThreadsForPixels(width * height);
  std::vector<Moments> parts(static_cast<size_t>(std::max(threads, 1)));
  qkern::ParallelParts(rows, threads, [&](int begin, int end, int part) {
    Moments& m = parts[static_cast<size_t>(part)];
    for (int y = begin; y < end; ++y) {
      const uint8_t* row = first + static_cast<size_t>(y) * stride;
#ifdef QUILTOR_COLOUR_AVX2
      if (UseVectorPath()) {
        AccumulateAvx2<false>(row, 0, width, m);
        continue;
      }
#endif
      AccumulateScalar(row, width, m);
    }
  });
  Moments total;
  for (const Moments& p : parts) total.Add(p);
  return StatsFrom(total);
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
  if (UseVectorPath()) {
    ForPixelParts(count,
                  [&](size_t from, size_t to, int) { MapAvx2<3>(rgb, rgb, from, to, transfer); });
    return;
  }
#endif
  ApplyScalar(rgb, count, transfer);
}

CLabStats MatchIntoRgba(const uint8_t* rgb, uint8_t* rgba, size_t count, const CLabStats& reference,
                        [[maybe_unused]] std::vector<uint16_t>& scratch) {
  if (!rgb || !rgba || count == 0) return {};
#ifdef QUILTOR_COLOUR_AVX2
  if (UseVectorPath()) {
    bool room = true;
    try {
      if (scratch.size() < 3 * count) scratch.resize(3 * count);
    } catch (...) {
      room = false;
    }
    if (!room) {
      // Without room to keep the Lab values, each pass converts the pixels.
      const CLabStats stats = MeasureLab(rgb, count);
      const CLabTransfer transfer = MakeLabTransfer(stats, reference);
      ForPixelParts(
          count, [&](size_t from, size_t to, int) { MapAvx2<4>(rgb, rgba, from, to, transfer); });
      return stats;
    }
    const KeptF kept{scratch.data(), scratch.data() + count, scratch.data() + 2 * count};
    std::vector<Moments> parts(static_cast<size_t>(ThreadsForPixels(count)));
    ForPixelParts(count, [&](size_t from, size_t to, int part) {
      AccumulateAvx2<true>(rgb, from, to, parts[static_cast<size_t>(part)], kept);
    });
    Moments total;
    for (const Moments& p : parts) total.Add(p);
    const CLabStats stats = StatsFrom(total);
    const CLabTransfer transfer = MakeLabTransfer(stats, reference);
    ForPixelParts(
        count, [&](size_t from, size_t to, int) { MapKeptAvx2(kept, rgba, from, to, transfer); });
    return stats;
  }
#endif
  const CLabStats stats = MeasureLabScalar(rgb, count);
  const CLabTransfer transfer = MakeLabTransfer(stats, reference);
  for (size_t i = 0; i < count; ++i) {
    uint8_t px[3] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
    ApplyScalar(px, 1, transfer);
    std::memcpy(rgba + 4 * i, px, 3);
    rgba[4 * i + 3] = 255;
  }
  return stats;
}

void MatchColours(uint8_t* slice, size_t sliceCount, const uint8_t* reference,
                  size_t referenceCount) {
  if (!slice || !reference || sliceCount == 0 || referenceCount == 0) return;
  const CLabStats from = MeasureLab(slice, sliceCount);
  const CLabStats to = MeasureLab(reference, referenceCount);
  ApplyLabTransfer(slice, sliceCount, MakeLabTransfer(from, to));
}
