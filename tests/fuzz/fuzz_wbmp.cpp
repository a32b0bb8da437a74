// Feeds arbitrary bytes to the WBMP sniffer, probe and reader at every depth.
#include "image/codecs/Wbmp.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Decoder(data, size, qimg::SniffWBMP, qimg::GetWBMPDims, nullptr, qimg::ReadWBMP,
                {1u, 8u, 24u, 32u});
  return 0;
}
