// PNG over libpng (reading) and libdeflate (writing).
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffPNG(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetPNGDims(Source& source, Info& info);
// Decodes at 24 (RGB, alpha dropped, 16-bit reduced), 8 (palette or grey of 2..8 bits)
// or 1 bit per pixel.
uint32_t ReadPNG(Source& source, uint32_t bitsPerPixel, Decoded& out);
// How WritePNG cuts a picture: rows per band (0: whole below a few megabytes,
// else bands of a few megabytes; kPngWhole: whole at any size) and
// compressing threads (0: the cores).
constexpr uint32_t kPngWhole = 0xFFFFFFFFu;
struct PngBands {
  uint32_t rows = 0;
  unsigned threads = 0;
};
// Writes 8-bit RGB (colour type 2), progress after each band, pHYs from the record (unit 1 = per
// metre, written when x and y are not 0), no text chunks.
uint32_t WritePNG(Dest& dest, const WriteImage& image, const ResolutionRecord& res,
                  const PngBands& bands = {});
// Palette of a palette PNG (or the grey ramp of a grey one).
bool GetPNGPalette(Source& source, Palette& palette);
}  // namespace qimg
