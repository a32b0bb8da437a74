#include "image/codecs/Png.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffPNG(const uint8_t* head, size_t n) {
  return false;
}

bool GetPNGDims(Source& source, Info& info) {
  return false;
}

uint32_t ReadPNG(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WritePNG(Dest& dest, const WriteImage& image, const ResolutionRecord& res) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

bool GetPNGPalette(Source& source, Palette& palette) {
  return false;
}

}  // namespace qimg
