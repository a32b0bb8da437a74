#include "image/codecs/Pcd.h"

// Placeholder until the codec lands.
namespace qimg {

bool SniffPCD(const uint8_t* head, size_t n) {
  return false;
}

bool GetPCDDims(Source& source, Info& info) {
  return false;
}

uint32_t ReadPCD(Source& source, Decoded& out) {
  SetLastError(kErrUnsupported);
  return kErrUnsupported;
}

}  // namespace qimg
