// Feeds arbitrary bytes to the PCX sniffer, probe, palette getter and reader at every depth.
#include "image/codecs/Pcx.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Decoder(data, size, qimg::SniffPCX, qimg::GetPCXDims, qimg::GetPCXPalette, qimg::ReadPCX,
                {1u, 8u, 24u, 32u});
  return 0;
}
