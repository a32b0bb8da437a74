#include "panes/ControlMath.h"

#include <algorithm>
#include <cmath>

namespace {

// Truncates toward zero; values beyond int are limited first (the
// conversion of an out-of-range float is undefined).
int Truncate(float f) {
  if (!(f == f)) return 0;
  return static_cast<int>(std::clamp(f, -2.0e9f, 2.0e9f));
}

}  // namespace

int WrapIntoRange(int value, int min, int max) {
  const long long width = static_cast<long long>(max) - min + 1;
  if (width <= 0) return min;
  long long v = value;
  // the same result as raising or lowering by the width until inside
  if (v < min) v += ((min - v + width - 1) / width) * width;
  if (v > max) v -= ((v - max + width - 1) / width) * width;
  return static_cast<int>(v);
}

int TrackValueAtX(int x, int width, int min, int max) {
  const float steps = static_cast<float>(max + 1 - min);
  const float perStep = static_cast<float>(width - 19) / steps;
  if (!(perStep > 0.0f)) return min;
  const int v = Truncate(static_cast<float>(x - 10) / perStep + static_cast<float>(min)) + 1;
  return std::clamp(v, min, max + 1);
}

int TrackThumbLeft(int pos, int width, int min, int max) {
  if (max <= min) return 0;
  const int c = std::clamp(pos, min, max);
  return Truncate(static_cast<float>(c - min) *
                  (static_cast<float>(width - 19) / static_cast<float>(max - min)));
}

int BarDragValue(int x, int downX, int startPos, int width, int min, int max, float scale) {
  const float perPixel =
      static_cast<float>(max + 1 - min) * scale / static_cast<float>(std::max(1, width + 1));
  const long long v =
      static_cast<long long>(Truncate(perPixel * static_cast<float>(x - downX))) + startPos;
  return static_cast<int>(std::clamp<long long>(v, -2000000000LL, 2000000000LL));
}

int BarValueLine(int pos, int width, int min, int max) {
  const float steps = static_cast<float>(std::max(1, max + 1 - min));
  return Truncate(static_cast<float>(pos - min) * static_cast<float>(width - 2) / steps) + 1;
}

int RibPhase(int downX, int lastX) { return (downX - lastX) % 10; }

QColor GradientColor(const QColor& start, const QColor& end, int offset, int extent) {
  const float t = 1.0f - static_cast<float>(offset) / static_cast<float>(std::max(1, extent));
  auto mix = [t](int s, int e) {
    return std::clamp(Truncate(t * static_cast<float>(s) + (1.0f - t) * static_cast<float>(e)), 0,
                      255);
  };
  return QColor(mix(start.red(), end.red()), mix(start.green(), end.green()),
                mix(start.blue(), end.blue()));
}

QColor Lighten(const QColor& c, int p) {
  auto up = [p](int v) { return v + (255 - v) * p / 100; };
  return QColor(up(c.red()), up(c.green()), up(c.blue()));
}

QColor Darken(const QColor& c, int p) {
  auto down = [p](int v) { return v * p / 100; };
  return QColor(down(c.red()), down(c.green()), down(c.blue()));
}
