#include "image/codecs/Psd.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffPSD(const uint8_t* head, size_t n) {
  return false;
}

bool GetPSDDims(Source& source, Info& info) {
  return false;
}

uint32_t ReadPSD(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WritePSD(Dest& dest, const WriteImage& image) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

bool GetPSDPalette(Source& source, Palette& palette) {
  return false;
}

}  // namespace qimg
