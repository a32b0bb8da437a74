// PSD, our own codec: the composite image.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffPSD(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetPSDDims(Source& source, Info& info);
// Decodes at 24 or 8 bits per pixel (8 for bitmap, grey and indexed files).
uint32_t ReadPSD(Source& source, uint32_t bitsPerPixel, Decoded& out);
// Writes a 24-bit RGB composite.
uint32_t WritePSD(Dest& dest, const WriteImage& image);
bool GetPSDPalette(Source& source, Palette& palette);
}  // namespace qimg
