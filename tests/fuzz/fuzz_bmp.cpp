// Feeds arbitrary bytes to the BMP sniffer, probe, palette getter and reader at every depth.
#include "image/codecs/Bmp.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Decoder(data, size, qimg::SniffBMP, qimg::GetBMPDims, qimg::GetBMPPalette, qimg::ReadBMP,
                {1u, 8u, 24u, 32u});
  return 0;
}
