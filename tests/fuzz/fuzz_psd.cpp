// Feeds arbitrary bytes to the PSD sniffer, probe, palette getter and reader at every depth.
#include "image/codecs/Psd.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Decoder(data, size, qimg::SniffPSD, qimg::GetPSDDims, qimg::GetPSDPalette, qimg::ReadPSD,
                {1u, 8u, 24u, 32u});
  return 0;
}
