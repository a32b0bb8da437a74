// Recursive Gaussian blur (Young and van Vliet) on 8-bit buffers.
#pragma once

#include <cstdint>

class CGaussianRecBlur {
 public:
  virtual ~CGaussianRecBlur() = default;
  // Blurs width x height bytes in place with radius r (sigma = r / 2).
  void Blur(uint8_t* buffer, int width, int height, double r);
};
