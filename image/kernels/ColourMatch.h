// Colour match of a returned slice: sRGB (D65) to CIELAB and back, and a
// per-channel move of the Lab mean and standard deviation of one picture onto
// those of another. Pixels are 24-bit RGB without row padding, so a picture is
// just `count` pixels in a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Per-channel statistics of L, a and b over a picture.
struct CLabStats {
  double mean[3] = {0, 0, 0};
  double deviation[3] = {0, 0, 0};  // population standard deviation
};

// lab' = scale * lab + offset, per channel.
struct CLabTransfer {
  float scale[3] = {1, 1, 1};
  float offset[3] = {0, 0, 0};
};

// A channel whose deviation lies below this (in Lab units, far below what the
// eye tells apart) counts as flat: it has no spread to match or to match to.
inline constexpr double kLabFlatDeviation = 0.5;
// The deviation is scaled by at most this factor either way, so a near-flat
// square can neither wipe out the slice's texture nor blow up its noise.
inline constexpr double kLabMaxScale = 4.0;

// One pixel each way, in single precision; the definition the fast paths are
// held to. LabToSrgb clamps to the sRGB gamut and rounds to the nearest byte.
void SrgbToLab(const uint8_t rgb[3], float lab[3]);
void LabToSrgb(const float lab[3], uint8_t rgb[3]);

// Mean and deviation of L, a and b over count pixels (the vector paths and
// threads where they pay; the plain loop).
CLabStats MeasureLab(const uint8_t* rgb, size_t count);
CLabStats MeasureLabScalar(const uint8_t* rgb, size_t count);
// The same over height rows of width pixels, `stride` bytes apart: a square
// of a larger picture, measured where it lies.
CLabStats MeasureLabRows(const uint8_t* first, size_t width, size_t height, size_t stride);

// The map that moves the statistics `from` onto `to`. A channel that is flat
// in either keeps its spread and only has its mean moved; otherwise the
// deviation ratio is limited to [1 / kLabMaxScale, kLabMaxScale].
CLabTransfer MakeLabTransfer(const CLabStats& from, const CLabStats& to);

// Converts count pixels to Lab, applies the map and converts back, in place.
void ApplyLabTransfer(uint8_t* rgb, size_t count, const CLabTransfer& transfer);
void ApplyLabTransferScalar(uint8_t* rgb, size_t count, const CLabTransfer& transfer);

// The match of a returned slice into 32-bit pixels (R, G, B, 255), as the
// merge's overlay holds them: the slice's statistics are measured and moved
// onto `reference`. Each pixel is converted to Lab once: the vector path
// keeps the values between the two passes in `scratch` (3 x 16 bits a pixel,
// held by the caller so that a merge reuses it). Returns the slice's
// statistics; nothing happens for an empty slice.
CLabStats MatchIntoRgba(const uint8_t* rgb, uint8_t* rgba, size_t count, const CLabStats& reference,
                        std::vector<uint16_t>& scratch);

// The whole match: the statistics of slice (sliceCount pixels, changed in
// place) are moved onto those of reference (referenceCount pixels). Nothing
// happens when either is empty.
void MatchColours(uint8_t* slice, size_t sliceCount, const uint8_t* reference,
                  size_t referenceCount);
