// Pixel routines of the merge: edge feathering, cubic sampling, the rotated
// cut and its inverse.
#pragma once

#include <cstdint>

// Scales alpha down towards the borders over a ramp of r pixels (single precision).
void FeatherEdges(uint8_t* rgba, int width, int height, int r);

// Cubic convolution (a = -1) at (x, y); n = 3 or 4 bytes per pixel. Writes
// four bytes (byte 3 is 0 when n = 3).
void SampleBicubic(const uint8_t* pixels, int width, int height, double x, double y, int n,
                   uint8_t out[4]);

// Channel k alone of SampleBicubic, with the same taps, weights and order of
// summation (for refreshing one channel without sampling the others).
uint8_t SampleBicubicChannel(const uint8_t* pixels, int width, int height, double x, double y,
                             int n, int k);

// Cuts the square of side s centred at (cx, cy), turned by theta radians, out
// of an RGB source into an upright s x s RGB target (double precision).
void ExtractRotatedSquare(const uint8_t* source, int width, int height, int cx, int cy, int s,
                          double theta, uint8_t* target);

// Draws an RGBA slice turned by theta around (cx, cy) into the overlay
// rectangle (ox, oy, ow, oh) of the background (single precision).
void RenderRotatedOverlay(const uint8_t* background, int width, int height, int cx, int cy,
                          float theta, const uint8_t* slice, int sliceWidth, int sliceHeight,
                          uint8_t* overlay, int ox, int oy, int overlayWidth, int overlayHeight);
