// Feeds arbitrary bytes to the metafile sniffers, probe and reader.
#include "image/codecs/Metafile.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qimg::SniffEMF(data, size < 4096 ? size : 4096);
  fuzz::Decoder(
      data, size, qimg::SniffWMF, qimg::GetMetafileDims, nullptr,
      [](qimg::Source& s, uint32_t, qimg::Decoded& out) { return qimg::ReadMetafile(s, out); },
      {24u});
  return 0;
}
