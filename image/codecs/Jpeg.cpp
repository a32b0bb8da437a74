#include "image/codecs/Jpeg.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffJPG(const uint8_t* head, size_t n) {
  return false;
}

bool GetJPGDims(Source& source, Info& info) {
  return false;
}

void SetJPGDCTScaleFactors(int numerator, int denominator) {
  
}

uint32_t ReadJPG(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WriteJPG(Dest& dest, const WriteImage& image, int quality, uint32_t flags, const ResolutionRecord& res) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

}  // namespace qimg
