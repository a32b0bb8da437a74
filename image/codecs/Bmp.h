// BMP, our own codec: 1/2/4/8/16/24/32-bit, RLE4/RLE8, bit fields, bottom-up
// and top-down, OS/2 core and v3 to v5 headers.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffBMP(const uint8_t* head, size_t n);
// Dimension probe: size, bits per pixel and resolution; resUnit 2 (pixels per
// metre) when the header carries a resolution, else 0. False on failure.
bool GetBMPDims(Source& source, Info& info);
// Decodes at 24, 8 (files of up to 8 bits) or 1 bit per pixel (1-bit files).
uint32_t ReadBMP(Source& source, uint32_t bitsPerPixel, Decoded& out);
// Writes 24-bit BMP; the record gives pixels per metre. The colour count is
// accepted for the caller's sake; the file is always 24-bit without palette.
uint32_t WriteBMP(Dest& dest, const WriteImage& image, uint32_t colorCount,
                  const ResolutionRecord& res);
bool GetBMPPalette(Source& source, Palette& palette);

// A device-independent bitmap as metafiles embed it: the info header with its
// colour table, and the pixel bits (which follow the colour table when bits
// is null). Decoded to 24-bit RGB, top-down.
uint32_t ReadDIB(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                 Decoded& out);
}  // namespace qimg
