// PhotoCD base image (resolution step 3: 768 x 512 YCC), our own codec.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffPCD(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetPCDDims(Source& source, Info& info);
uint32_t ReadPCD(Source& source, Decoded& out);  // 24-bit
}  // namespace qimg
