// Partial update of the view's display copy. The display copy is the main
// image reduced by resize method 0, which computes each output pixel from its
// own source footprint (area weights per axis, columns first, fixed point).
// This unit takes the resizer's own per-axis weights and recomputes only the output
// pixels whose footprint meets a changed source rectangle, so the copy stays
// byte-identical to a full re-scale while a brush dab costs what it touches.
// Widget-free; 24-bit RGB rows without padding on both sides.
#pragma once

#include <QRect>
#include <cstdint>
#include <vector>

#include "image/lib/ResizeTaps.h"

class CISImageEx;

class CDisplayScaler {
 public:
  // Prepares the weights for reducing sourceWidth x sourceHeight to
  // targetWidth x targetHeight; false for an enlargement or an empty size,
  // which the partial path does not serve.
  bool Prepare(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight);
  bool IsPreparedFor(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight) const;

  // The target pixels whose footprint meets the source rectangle (clipped).
  QRect TargetRectFor(const QRect& sourceRect) const;
  // Recomputes target pixels inside targetRect from source; false when the
  // images do not match the prepared sizes.
  bool Update(const CISImageEx& source, CISImageEx& target, const QRect& targetRect);

 private:
  // Per output position: first source index, tap count, Q14 weights.
  struct Axis : qimg::ResizeTaps {
    int sourceLength = 0;
    void Build(int n, int m);
    // Outputs whose taps meet [lo, hi): first and one past the last.
    void Range(int lo, int hi, int& from, int& to) const;
  };
  Axis m_horizontal, m_vertical;
  std::vector<uint16_t> m_row;  // one row of the column pass, Q7
};
