// PCX, our own codec: 1/8/24-bit, RLE, palettes.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffPCX(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetPCXDims(Source& source, Info& info);
// Decodes at 24 or 8 bits per pixel.
uint32_t ReadPCX(Source& source, uint32_t bitsPerPixel, Decoded& out);
uint32_t WritePCX(Dest& dest, const WriteImage& image, const ResolutionRecord& res);
bool GetPCXPalette(Source& source, Palette& palette);
}  // namespace qimg
