// BMP, our own codec: 1/4/8/16/24/32-bit, RLE4/RLE8, v3 to v5 headers.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffBMP(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetBMPDims(Source& source, Info& info);
// Decodes at 24, 8 (2..8-bit files) or 1 bit per pixel.
uint32_t ReadBMP(Source& source, uint32_t bitsPerPixel, Decoded& out);
// Writes 24-bit BMP; the record gives pixels per metre.
uint32_t WriteBMP(Dest& dest, const WriteImage& image, uint32_t colorCount,
                  const ResolutionRecord& res);
bool GetBMPPalette(Source& source, Palette& palette);
}  // namespace qimg
