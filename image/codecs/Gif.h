// GIF over giflib: first frame composed on the logical screen.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffGIF(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetGIFDims(Source& source, Info& info);
// Decodes at 8 bits per pixel with the palette (count 2^depth).
uint32_t ReadGIF(Source& source, uint32_t bitsPerPixel, Decoded& out);
// Writes an 8-bit picture with its palette.
uint32_t WriteGIF(Dest& dest, const WriteImage& image);
}  // namespace qimg
