// libFuzzer target: PNG probe, palette getter and reader at every depth.
#include <cstddef>
#include <cstdint>

#include "image/codecs/Png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto src = qimg::Source::FromMemory(data, size);
  qimg::Info info;
  qimg::GetPNGDims(*src, info);
  src->Seek(0);
  qimg::Palette palette;
  qimg::GetPNGPalette(*src, palette);
  for (uint32_t bpp : {24u, 8u, 1u}) {
    src->Seek(0);
    qimg::Decoded out;
    qimg::ReadPNG(*src, bpp, out);
  }
  return 0;
}
