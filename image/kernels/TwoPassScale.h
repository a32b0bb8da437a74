// Separable two-pass resampler (rows, then columns) with a tent filter whose
// support widens by the reduction factor. Results are specified to the byte.
#pragma once

#include <cstdint>

class CGenericFilter {
 public:
  explicit CGenericFilter(double width) : m_width(width) {}
  virtual ~CGenericFilter() = default;
  virtual double Filter(double x) const = 0;
  double GetWidth() const { return m_width; }

 protected:
  double m_width;
};

class CBilinearFilter : public CGenericFilter {
 public:
  CBilinearFilter() : CGenericFilter(1.0) {}
  double Filter(double x) const override {
    double ax = x < 0 ? -x : x;
    return ax < m_width ? m_width - ax : 0.0;
  }
};

struct CDataRGB_UBYTE {
  static constexpr int kChannels = 3;
};
struct CDataRGBA_UBYTE {
  static constexpr int kChannels = 4;
};

template <class Filter, class Pixel>
class C2PassScale {
 public:
  virtual ~C2PassScale() = default;
  // Scales source (sw x sh) into target (tw x th); both top-down, unpadded.
  // Returns target, or null when the intermediate could not be allocated.
  uint8_t* Scale(const uint8_t* source, int sw, int sh, uint8_t* target, int tw, int th);
};
