// libFuzzer target: GIF probe and reader.
#include <cstddef>
#include <cstdint>

#include "image/codecs/Gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto src = qimg::Source::FromMemory(data, size);
  qimg::Info info;
  qimg::GetGIFDims(*src, info);
  src->Seek(0);
  qimg::Decoded out;
  qimg::ReadGIF(*src, 8, out);
  return 0;
}
