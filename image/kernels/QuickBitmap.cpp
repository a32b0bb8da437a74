#include "image/kernels/QuickBitmap.h"

#include <cstring>
#include <new>

namespace {

// Zero-filled block of width * height * bytesPerPixel bytes, or null when the
// size cannot be represented or the allocation fails.
std::unique_ptr<uint8_t[]> AllocateZeroed(int width, int height, int bytesPerPixel) {
  uint64_t count = uint64_t(width) * uint64_t(height) * uint64_t(bytesPerPixel);
  if (count == 0 || count > (uint64_t(1) << 40)) return nullptr;
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
  if (!Create(width, height)) return false;
  size_t count = size_t(width) * size_t(height);
  uint8_t* out = m_pixels.get();
  for (size_t i = 0; i < count; ++i, rgb += 3, out += 4) {
    out[0] = rgb[0];
    out[1] = rgb[1];
    out[2] = rgb[2];
    out[3] = 255;
  }
  return true;
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
