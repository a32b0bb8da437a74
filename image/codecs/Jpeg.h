// JPEG over libjpeg-turbo.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffJPG(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetJPGDims(Source& source, Info& info);
// Decoder scale factor (1/1 is full size); applies to the next colour reads.
void SetJPGDCTScaleFactors(int numerator, int denominator);
// Decodes at 24 (RGB; grey and CMYK converted) or 8 bits (grey, with the grey palette).
uint32_t ReadJPG(Source& source, uint32_t bitsPerPixel, Decoded& out);
// Writes 24-bit RGB at the given quality with the density record (unit 0/1/2).
uint32_t WriteJPG(Dest& dest, const WriteImage& image, int quality, uint32_t flags,
                  const ResolutionRecord& res);
}  // namespace qimg
