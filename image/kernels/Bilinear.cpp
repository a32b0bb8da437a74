#include "image/ISImageEx.h"
#include "image/kernels/TwoPassScale.h"

uint32_t CISImageEx::ResizeBilinear(uint32_t width, uint32_t height) {
  if (!HasPixels()) return kISRefused;
  if (width == m_width && height == m_height) return kISOk;
  if (m_bitsPerPixel != 24 && m_bitsPerPixel != 32) return kISRefused;
  // The resampler indexes with int.
  constexpr uint32_t kMaxSide = 0x7FFFFFFF;
  if (width > kMaxSide || height > kMaxSide || m_width > kMaxSide || m_height > kMaxSide)
    return kISRefused;
  CISImageEx temp;
  uint32_t r = temp.Create(width, height, m_bitsPerPixel);
  if (r != kISOk) return r;
  const int sw = int(m_width), sh = int(m_height), tw = int(width), th = int(height);
  const uint8_t* done = m_bitsPerPixel == 24
                            ? C2PassScale<CBilinearFilter, CDataRGB_UBYTE>().Scale(
                                  Pixels(), sw, sh, temp.Pixels(), tw, th)
                            : C2PassScale<CBilinearFilter, CDataRGBA_UBYTE>().Scale(
                                  Pixels(), sw, sh, temp.Pixels(), tw, th);
  if (!done) return kISOutOfMemory;
  return TakeOver(temp);
}
