// Shared pieces of the decoder fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "image/lib/Imaging.h"

namespace fuzz {

inline std::unique_ptr<qimg::Source> Fresh(const uint8_t* data, size_t size) {
  return qimg::Source::FromMemory(data, size);
}

// A decoded picture must be exactly as large as it says; touching every byte
// lets the sanitizers see a short or uninitialised block.
inline void Touch(const qimg::Decoded& out) {
  if (!out.pixels) return;
  uint64_t bytes = qimg::BlockSize(out.width, out.height, out.bitsPerPixel);
  volatile uint8_t sum = 0;
  for (uint64_t i = 0; i < bytes; ++i) sum = uint8_t(sum + out.pixels[i]);
}

// The sniffer, the probe, the palette getter (when there is one) and the
// reader at every depth, each on a fresh source.
template <class Sniff, class Dims, class Read>
void Decoder(const uint8_t* data, size_t size, Sniff sniff, Dims dims,
             bool (*palette)(qimg::Source&, qimg::Palette&), Read read,
             std::initializer_list<uint32_t> depths) {
  sniff(data, size < 4096 ? size : 4096);
  qimg::Info info;
  dims(*Fresh(data, size), info);
  if (palette) {
    qimg::Palette pal;
    palette(*Fresh(data, size), pal);
  }
  for (uint32_t bpp : depths) {
    qimg::Decoded out;
    if (read(*Fresh(data, size), bpp, out) == qimg::kOk) Touch(out);
  }
}

}  // namespace fuzz
