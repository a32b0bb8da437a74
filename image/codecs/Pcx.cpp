#include "image/codecs/Pcx.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffPCX(const uint8_t* head, size_t n) {
  return false;
}

bool GetPCXDims(Source& source, Info& info) {
  return false;
}

uint32_t ReadPCX(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WritePCX(Dest& dest, const WriteImage& image, const ResolutionRecord& res) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

bool GetPCXPalette(Source& source, Palette& palette) {
  return false;
}

}  // namespace qimg
