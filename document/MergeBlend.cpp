#include "document/MergeBlend.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace merge {

namespace {
inline uint16_t Div255(uint32_t x) { return static_cast<uint16_t>(x / 255); }

}  // namespace

void BlendRowScalar(const uint8_t* mask, const uint8_t* overlay, const uint8_t* backup,
                    uint8_t* main, uint8_t* blend, int n) {
  for (int i = 0; i < n; ++i) {
    const uint32_t e = Div255(uint32_t{mask[i]} * overlay[4 * i + 3]);
    blend[i] = static_cast<uint8_t>(e);
    main[3 * i] = BlendChannel(backup[3 * i], overlay[4 * i], e);
    main[3 * i + 1] = BlendChannel(backup[3 * i + 1], overlay[4 * i + 1], e);
    main[3 * i + 2] = BlendChannel(backup[3 * i + 2], overlay[4 * i + 2], e);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// x / 255 for 0 <= x <= 65025 in 16-bit lanes: (x + 1 + (x >> 8)) >> 8.
__attribute__((target("ssse3"))) inline __m128i Div255x8(__m128i x) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8)),
                        8);
}

// Four pixels per step: the weights in 16-bit lanes, the twelve colour bytes
// spread over two registers of 16-bit lanes.
__attribute__((target("ssse3"))) void BlendRowSsse3(const uint8_t* mask, const uint8_t* overlay,
                                                    const uint8_t* backup, uint8_t* main,
                                                    uint8_t* blend, int n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi16(255);
  const __m128i alphas =
      _mm_setr_epi8(3, -1, 7, -1, 11, -1, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i colourLo = _mm_setr_epi8(0, -1, 1, -1, 2, -1, 4, -1, 5, -1, 6, -1, 8, -1, 9, -1);
  const __m128i colourHi =
      _mm_setr_epi8(10, -1, 12, -1, 13, -1, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i bytesLo = _mm_setr_epi8(0, -1, 1, -1, 2, -1, 3, -1, 4, -1, 5, -1, 6, -1, 7, -1);
  const __m128i bytesHi =
      _mm_setr_epi8(8, -1, 9, -1, 10, -1, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i weightLo = _mm_setr_epi8(0, -1, 0, -1, 0, -1, 2, -1, 2, -1, 2, -1, 4, -1, 4, -1);
  const __m128i weightHi =
      _mm_setr_epi8(4, -1, 6, -1, 6, -1, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  int i = 0;
  // The backup is read 16 bytes at a time: stop while two pixels remain.
  for (; i + 6 <= n; i += 4) {
    const __m128i ov = _mm_loadu_si128(reinterpret_cast<const __m128i*>(overlay + 4 * i));
    int32_t m4;
    std::memcpy(&m4, mask + i, 4);
    const __m128i m = _mm_unpacklo_epi8(_mm_cvtsi32_si128(m4), zero);
    const __m128i e = Div255x8(_mm_mullo_epi16(m, _mm_shuffle_epi8(ov, alphas)));
    const int32_t e4 = _mm_cvtsi128_si32(_mm_packus_epi16(e, zero));
    std::memcpy(blend + i, &e4, 4);

    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(backup + 3 * i));
    const __m128i e0 = _mm_shuffle_epi8(e, weightLo), e1 = _mm_shuffle_epi8(e, weightHi);
    const __m128i r0 = Div255x8(
        _mm_add_epi16(_mm_mullo_epi16(_mm_shuffle_epi8(b, bytesLo), _mm_sub_epi16(full, e0)),
                      _mm_mullo_epi16(_mm_shuffle_epi8(ov, colourLo), e0)));
    const __m128i r1 = Div255x8(
        _mm_add_epi16(_mm_mullo_epi16(_mm_shuffle_epi8(b, bytesHi), _mm_sub_epi16(full, e1)),
                      _mm_mullo_epi16(_mm_shuffle_epi8(ov, colourHi), e1)));
    const __m128i out = _mm_packus_epi16(r0, r1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(main + 3 * i), out);
    const int32_t tail = _mm_cvtsi128_si32(_mm_srli_si128(out, 8));
    std::memcpy(main + 3 * i + 8, &tail, 4);
  }
  BlendRowScalar(mask + i, overlay + 4 * i, backup + 3 * i, main + 3 * i, blend + i, n - i);
}
#endif

void BlendRow(const uint8_t* mask, const uint8_t* overlay, const uint8_t* backup, uint8_t* main,
              uint8_t* blend, int n) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (ssse3) {
    BlendRowSsse3(mask, overlay, backup, main, blend, n);
    return;
  }
#endif
  BlendRowScalar(mask, overlay, backup, main, blend, n);
}

}  // namespace merge
