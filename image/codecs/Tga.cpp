#include "image/codecs/Tga.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffTGA(const uint8_t* head, size_t n) {
  return false;
}

bool GetTGADims(Source& source, Info& info) {
  return false;
}

uint32_t ReadTGA(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WriteTGA(Dest& dest, const WriteImage& image) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

bool GetTGAPalette(Source& source, Palette& palette) {
  return false;
}

}  // namespace qimg
