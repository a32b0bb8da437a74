// TIFF over libtiff (first page only).
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffTIFF(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetTIFFDims(Source& source, Info& info);
// Decodes at 32 (RGBA), 24, 8 (palette filled, count 256) or 1 bit per pixel.
uint32_t ReadTIFF(Source& source, uint32_t bitsPerPixel, Decoded& out);
// Writes 24-bit RGB with resolution and unit (1 none, 2 inch, 3 centimetre).
uint32_t WriteTIFF(Dest& dest, const WriteImage& image, uint32_t option,
                   const ResolutionRecord& res);
// Whether the writer makes BigTIFF for this many bytes of pixels under that
// compression code: classic TIFF addresses 4 GiB, headers and the strip table
// included, and compressed strips may come out larger than their pixels.
bool WritesBigTIFF(uint64_t pixelBytes, uint32_t compression);
}  // namespace qimg
