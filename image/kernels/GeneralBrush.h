// Soft round brush: a hard disc at the opacity level, blurred and trimmed.
#pragma once

#include <cstdint>
#include <memory>

class CGeneralBrush {
 public:
  virtual ~CGeneralBrush() = default;
  // Rebuilds the stamp from brush size, softness and opacity. Returns false
  // when the stamp could not be allocated (the brush then has no stamp).
  bool Build();

  std::unique_ptr<uint8_t[]> m_stamp;  // stamp side * stamp side weights, row by row
  int m_stampSide = 0;
  int m_brushSize = 128;     // diameter of the hard disc
  double m_softness = 30.0;  // blur radius; sigma = softness / 2
  int m_opacity = 50;        // percent
};
