// TGA, our own codec: all origins, RLE, colour-mapped, 8/16/24/32-bit.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffTGA(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetTGADims(Source& source, Info& info);
// Decodes at 32, 24 or 8 bits per pixel.
uint32_t ReadTGA(Source& source, uint32_t bitsPerPixel, Decoded& out);
uint32_t WriteTGA(Dest& dest, const WriteImage& image);
bool GetTGAPalette(Source& source, Palette& palette);
}  // namespace qimg
