#include "image/kernels/QuickBitmap.h"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <cstring>
#include <new>

#include "image/lib/Imaging.h"

namespace {

void ExpandToRGBAScalar(const uint8_t* rgb, uint8_t* rgba, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    rgba[4 * i] = rgb[3 * i];
    rgba[4 * i + 1] = rgb[3 * i + 1];
    rgba[4 * i + 2] = rgb[3 * i + 2];
    rgba[4 * i + 3] = 255;
  }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("ssse3"))) void ExpandToRGBASsse3(const uint8_t* rgb, uint8_t* rgba,
                                                        size_t n) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  size_t i = 0;
  // 16 bytes are read for four pixels: stop while two pixels remain.
  for (; i + 6 <= n; i += 4) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 3 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rgba + 4 * i),
                     _mm_or_si128(_mm_shuffle_epi8(in, spread), opaque));
  }
  ExpandToRGBAScalar(rgb + 3 * i, rgba + 4 * i, n - i);
}
#endif

// 24-bit pixels to (R, G, B, 255).
void ExpandToRGBA(const uint8_t* rgb, uint8_t* rgba, size_t n) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (ssse3) {
    ExpandToRGBASsse3(rgb, rgba, n);
    return;
  }
#endif
  ExpandToRGBAScalar(rgb, rgba, n);
}

// Zero-filled block of width * height * bytesPerPixel bytes, or null when the
// size cannot be represented or the allocation fails.
std::unique_ptr<uint8_t[]> AllocateZeroed(int width, int height, int bytesPerPixel) {
  uint64_t count = uint64_t(width) * uint64_t(height) * uint64_t(bytesPerPixel);
  if (count == 0 || count > (uint64_t(1) << 40) || qimg::AllocationRefused()) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size_t(count)]());
}

}  // namespace

bool CQuickBitmap::Create(int width, int height) {
  if (m_pixels && width == m_width && height == m_height && width > 0 && height > 0) {
    std::memset(m_pixels.get(), 0, size_t(width) * size_t(height) * 4);
    return true;
  }
  Release();
  m_bitsPerPixel = 32;
  if (width <= 0 || height <= 0) return true;
  m_pixels = AllocateZeroed(width, height, 4);
  if (!m_pixels) return false;
  m_width = width;
  m_height = height;
  return true;
}

bool CQuickBitmap::SetFromRGB(const uint8_t* rgb, int width, int height) {
  if (!rgb || width <= 0 || height <= 0) {
    Release();
    return false;
  }
  if (!SizeForOverwrite(width, height)) return false;
  ExpandToRGBA(rgb, m_pixels.get(), size_t(width) * size_t(height));
  return true;
}

bool CQuickBitmap::SizeForOverwrite(int width, int height) {
  // Every byte will be written, so a held buffer of the right size need not
  // be cleared first.
  if (HasPixels() && m_width == width && m_height == height) return true;
  return Create(width, height);
}

void CQuickBitmap::Release() {
  m_pixels.reset();
  m_width = 0;
  m_height = 0;
}

bool CQuickBitmap8::Create(int width, int height) {
  if (m_pixels && width == m_width && height == m_height && width > 0 && height > 0) {
    std::memset(m_pixels.get(), 0, size_t(width) * size_t(height));
    return true;
  }
  m_pixels.reset();
  if (width <= 0 || height <= 0) return true;  // absent; the stored size stays
  m_pixels = AllocateZeroed(width, height, 1);
  if (!m_pixels) {
    m_width = 0;
    m_height = 0;
    return false;
  }
  m_width = width;
  m_height = height;
  return true;
}

void CQuickBitmap8::Release() {
  m_pixels.reset();
  m_width = 0;
  m_height = 0;
}
