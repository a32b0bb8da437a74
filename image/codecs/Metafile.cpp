#include "image/codecs/Metafile.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffWMF(const uint8_t* head, size_t n) {
  return false;
}

bool GetMetafileDims(Source& source, Info& info) {
  return false;
}

bool SniffEMF(const uint8_t* head, size_t n) {
  return false;
}

uint32_t ReadMetafile(Source& source, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

uint32_t WriteRGBToMetafile(Dest& dest, const WriteImage& image, bool emf) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

}  // namespace qimg
