// libFuzzer target: TIFF probe and reader at every depth.
#include <cstddef>
#include <cstdint>

#include "image/codecs/Tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto src = qimg::Source::FromMemory(data, size);
  qimg::Info info;
  qimg::GetTIFFDims(*src, info);
  for (uint32_t bpp : {32u, 24u, 8u, 1u}) {
    src->Seek(0);
    qimg::Decoded out;
    qimg::ReadTIFF(*src, bpp, out);
  }
  return 0;
}
