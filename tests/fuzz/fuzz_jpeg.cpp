// libFuzzer target: JPEG probe and reader at every depth.
#include <cstddef>
#include <cstdint>

#include "image/codecs/Jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto src = qimg::Source::FromMemory(data, size);
  qimg::Info info;
  qimg::GetJPGDims(*src, info);
  qimg::SetJPGDCTScaleFactors(1, 1);
  for (uint32_t bpp : {24u, 8u}) {
    src->Seek(0);
    qimg::Decoded out;
    qimg::ReadJPG(*src, bpp, out);
  }
  return 0;
}
