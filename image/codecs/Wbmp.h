// WBMP type 0, our own codec.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffWBMP(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetWBMPDims(Source& source, Info& info);
// Decodes at 8 bits per pixel, palette count 2 (0 black, 1 white).
uint32_t ReadWBMP(Source& source, uint32_t bitsPerPixel, Decoded& out);
// Writes an 8-bit picture whose index 0 is black and anything else white.
uint32_t WriteWBMP(Dest& dest, const WriteImage& image);
}  // namespace qimg
