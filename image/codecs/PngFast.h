// The common case of big PNGs (8-bit RGB, not interlaced, decoded at 24 bits)
// without libpng: zlib inflates on this thread while a second thread undoes
// the row filters straight into the block. Inflating is the larger half of
// the work, so the filters and the first touch of the fresh block come off
// its path.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Returns false, with the source rewound, when the file is not of that kind or
// anything before the pixel data looks unusual: libpng then decodes it and
// reports what is wrong. Otherwise decodes and sets code (kOk or an error).
bool ReadPngRgb8(Source& source, Decoded& out, uint32_t& code);

}  // namespace qimg
