#include "image/codecs/Wbmp.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffWBMP(const uint8_t* head, size_t n) {
  return false;
}

bool GetWBMPDims(Source& source, Info& info) {
  return false;
}

uint32_t ReadWBMP(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WriteWBMP(Dest& dest, const WriteImage& image) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

}  // namespace qimg
