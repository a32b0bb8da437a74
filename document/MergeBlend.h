// The blend of the merge: the returned slice over the backup, weighted by
// mask x overlay alpha, in integers with truncating division by 255.
#pragma once

#include <cstdint>

#include "image/kernels/MergeKernels.h"

namespace merge {

using qkern::BlendChannel;

// Blends n overlay pixels (R, G, B, A) over the backup (R, G, B) into the main
// image and records the weights: e = mask * alpha / 255,
// main = (backup * (255 - e) + overlay * e) / 255.
void BlendRow(const uint8_t* mask, const uint8_t* overlay, const uint8_t* backup, uint8_t* main,
              uint8_t* blend, int n);
// The plain version, the reference the vector one is held to.
void BlendRowScalar(const uint8_t* mask, const uint8_t* overlay, const uint8_t* backup,
                    uint8_t* main, uint8_t* blend, int n);

}  // namespace merge
