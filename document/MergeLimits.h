// The limits and start values of the merge's brush and edge blur, and the
// Fill Opacity rule: the Merger pane's sliders, the console's checks and the
// document's start all read them here.
#pragma once

#include <algorithm>

template <class T>
struct ValueLimits {
  T low, high, start;
  constexpr bool Holds(T value) const { return value >= low && value <= high; }
};

namespace MergeLimits {
inline constexpr ValueLimits<int> kBrushSize{0, 255, 128};  // the hard disc's diameter
// The slider moves in whole steps; the console takes any fraction between.
inline constexpr ValueLimits<double> kSoftness{0, 60, 30};
inline constexpr ValueLimits<int> kOpacity{0, 100, 50};  // percent
inline constexpr ValueLimits<int> kEdgeBlur{0, 128, 32};
}  // namespace MergeLimits

// "Fill Opacity": the opacity percentage as a mask value, rounded, 0..255.
constexpr int FillOpacityValue(int opacityPercent) {
  return std::clamp(static_cast<int>(opacityPercent * 255.0 / 100 + 0.5), 0, 255);
}
