// WMF and EMF metafiles whose drawing is bitmap records, our own codec.
#pragma once

#include "image/lib/Imaging.h"

namespace qimg {

// Cheap content sniff over the first bytes of a file.
bool SniffWMF(const uint8_t* head, size_t n);
// Dimension probe: size, depth, colour type and resolution; false on failure.
bool GetMetafileDims(Source& source, Info& info);
bool SniffEMF(const uint8_t* head, size_t n);
// Renders a metafile's bitmap records to 24-bit RGB; other drawing: kErrUnsupported.
uint32_t ReadMetafile(Source& source, Decoded& out);
// Writes the RGB picture as one stretch-DIB record (EMF when emf is true, else WMF).
uint32_t WriteRGBToMetafile(Dest& dest, const WriteImage& image, bool emf);
}  // namespace qimg
