// Pixel routines of the merge: edge feathering, cubic sampling, the rotated
// cut and its inverse.
#pragma once

#include <cstdint>
#include <functional>

#include "image/kernels/PixelView.h"
#include "image/kernels/RotatedSquare.h"

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
// The same cut of a packed RGB source into a packed s x s RGB target.
void ExtractRotatedSquare(qkern::ConstPixelView source, const qkern::RotatedSquareD& square,
                          qkern::PixelView target);

// Where a rotated overlay goes: its RGBA pixels, their top-left in the
// background, and the background's extent (the overlay is transparent
// outside it).
struct OverlayTarget {
  qkern::PixelView pixels;
  int ox = 0, oy = 0;
  int backgroundWidth = 0, backgroundHeight = 0;
};

// The re-feather of a rotated overlay drawn before from the same slice: only
// alpha, and only where the cubic taps reach a ramp of the old or the new
// feather (ramp: the larger of the two). Only overlay rows and columns inside
// the background are drawn; touched(row, begin, end) names each run of
// columns that may have changed (it runs on worker threads, rows disjoint).
struct AlphaOnly {
  int ramp = 0;
  std::function<void(int row, int begin, int end)> touched;
};

// Draws an RGBA slice turned about the square's centre into the overlay
// (single precision, the slice's integer half as its centre). With alphaOnly,
// the re-feather above instead of a whole drawing.
void RenderRotatedOverlay(const qkern::RotatedSquareF& square, qkern::ConstPixelView slice,
                          const OverlayTarget& target, const AlphaOnly* alphaOnly = nullptr);
