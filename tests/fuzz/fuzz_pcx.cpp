// Feeds arbitrary bytes to the Pcx probe, palette getter and reader at every depth.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/codecs/Pcx.h"

namespace {
std::unique_ptr<qimg::Source> Fresh(const uint8_t* data, size_t size) {
  return qimg::Source::FromMemory(data, size);
}

// A decoded picture must be exactly as large as it says; touching every byte
// lets the sanitizers see a short or uninitialised block.
void Touch(const qimg::Decoded& out) {
  if (!out.pixels) return;
  uint64_t bytes = qimg::BlockSize(out.width, out.height, out.bitsPerPixel);
  volatile uint8_t sum = 0;
  for (uint64_t i = 0; i < bytes; ++i) sum = uint8_t(sum + out.pixels[i]);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto s = Fresh(data, size);
  qimg::SniffPCX(data, size < 4096 ? size : 4096);
  qimg::Info info;
  qimg::Palette pal;
  qimg::GetPCXDims(*s, info);
  qimg::GetPCXPalette(*Fresh(data, size), pal);
  for (uint32_t bpp : {1u, 8u, 24u, 32u}) {
    qimg::Decoded out;
    if (qimg::ReadPCX(*Fresh(data, size), bpp, out) == qimg::kOk) Touch(out);
  }
  return 0;
}
