// Placeholder until the two-pass resampler lands.
#include "image/ISImageEx.h"

uint32_t CISImageEx::ResizeBilinear(uint32_t width, uint32_t height) {
  if (!HasPixels()) return kISRefused;
  if (width == m_width && height == m_height) return kISOk;
  return Resize(width, height, 17);
}
