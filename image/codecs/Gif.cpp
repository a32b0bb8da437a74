#include "image/codecs/Gif.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffGIF(const uint8_t* head, size_t n) {
  return false;
}

bool GetGIFDims(Source& source, Info& info) {
  return false;
}

uint32_t ReadGIF(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WriteGIF(Dest& dest, const WriteImage& image) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

}  // namespace qimg
