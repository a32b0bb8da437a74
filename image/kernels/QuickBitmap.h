// Plain pixel buffers of the merge: 32-bit overlay and 8-bit masks.
#pragma once

#include <cstdint>
#include <memory>

// 32-bit buffer, bytes R, G, B, A, rows top to bottom, unpadded.
class CQuickBitmap {
 public:
  CQuickBitmap() = default;
  virtual ~CQuickBitmap() = default;
  CQuickBitmap(CQuickBitmap&&) = default;
  CQuickBitmap& operator=(CQuickBitmap&&) = default;
  // Same size as held: zero-filled; else reallocated zero-filled. Returns
  // false on allocation failure (the bitmap then holds no pixels and its size
  // is 0). A width or height below 1 leaves it without pixels and returns true.
  bool Create(int width, int height);
  // Create, then every pixel := (R, G, B, 255) from 24-bit RGB pixels. False
  // (and no pixels) for a null source, a side below 1 or allocation failure.
  bool SetFromRGB(const uint8_t* rgb, int width, int height);
  // Pixels of this size for the caller to write every byte of: a held buffer
  // of the size is kept as it is, otherwise as Create. False as Create.
  bool SizeForOverwrite(int width, int height);
  bool HasPixels() const { return m_pixels != nullptr && m_width > 0 && m_height > 0; }
  void Release();

  int m_width = 0;
  int m_height = 0;
  int m_bitsPerPixel = 32;
  std::unique_ptr<uint8_t[]> m_pixels;
};

// 8-bit buffer, rows top to bottom.
class CQuickBitmap8 {
 public:
  CQuickBitmap8() = default;
  virtual ~CQuickBitmap8() = default;
  CQuickBitmap8(CQuickBitmap8&&) = default;
  CQuickBitmap8& operator=(CQuickBitmap8&&) = default;
  // Same size as held: zero-filled; else reallocated zero-filled when both
  // sides are positive (otherwise absent, stored size unchanged). Returns
  // false on allocation failure (then absent with size 0).
  bool Create(int width, int height);
  bool HasPixels() const { return m_pixels != nullptr && m_width > 0 && m_height > 0; }
  void Release();

  std::unique_ptr<uint8_t[]> m_pixels;
  int m_width = 0;
  int m_height = 0;
};
