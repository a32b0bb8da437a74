#include "image/codecs/Tiff.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffTIFF(const uint8_t* head, size_t n) {
  return false;
}

bool GetTIFFDims(Source& source, Info& info) {
  return false;
}

uint32_t ReadTIFF(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WriteTIFF(Dest& dest, const WriteImage& image, uint32_t option, const ResolutionRecord& res) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

}  // namespace qimg
