// libFuzzer target: CISImageEx::Load itself, where detection, decoding, the
// TIFF pixel aspect correction and the depth conversion to 24 bits meet.
#include <cstddef>
#include <cstdint>

#include "image/ISImageEx.h"
#include "image/lib/Imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto src = qimg::Source::FromMemory(data, size);
  CISImageEx image;
  // Content detection comes first; the name only matters for unrecognised content.
  if (image.Load(*src, "fuzz.tga") == 0 && image.HasPixels()) {
    const uint8_t* p = image.Pixels();
    volatile uint8_t sum = 0;
    for (size_t i = 0, n = size_t{image.RowBytes()} * image.m_height; i < n; ++i)
      sum = uint8_t(sum + p[i]);
  }
  return 0;
}
