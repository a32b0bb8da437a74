#include "image/codecs/Bmp.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffBMP(const uint8_t* head, size_t n) {
  return false;
}

bool GetBMPDims(Source& source, Info& info) {
  return false;
}

uint32_t ReadBMP(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WriteBMP(Dest& dest, const WriteImage& image, uint32_t colorCount, const ResolutionRecord& res) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

bool GetBMPPalette(Source& source, Palette& palette) {
  return false;
}

}  // namespace qimg
