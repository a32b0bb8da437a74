// Feeds arbitrary bytes to the TGA sniffer, probe, palette getter and reader at every depth.
#include "image/codecs/Tga.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Decoder(data, size, qimg::SniffTGA, qimg::GetTGADims, qimg::GetTGAPalette, qimg::ReadTGA,
                {1u, 8u, 24u, 32u});
  return 0;
}
