#include "view/DisplayScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "image/ISImageEx.h"
#include "image/lib/ResizeTaps.h"

// The pass order below must stay that of method 0 in image/lib/Resize.cpp
// (rows first into the Q7 intermediate, then columns); the taps and the
// rounding are the resizer's own. The view tests compare a partial update
// with a full re-scale byte for byte.
namespace {
inline uint16_t ToMid(int32_t acc) { return qimg::ResizeToMid(acc); }
inline uint8_t ToByte(int32_t acc) { return qimg::ResizeToByte(acc); }
}  // namespace

void CDisplayScaler::Axis::Build(int n, int m) {
  qimg::BuildResizeTaps(*this, n, m, qimg::ResizeFilter::kAreaOrBilinear);
  sourceLength = m;
}

void CDisplayScaler::Axis::Range(int lo, int hi, int& from, int& to) const {
  const int n = static_cast<int>(first.size());
  // Footprints move forward with the output index, so both ends are found by
  // bisection.
  int a = 0, b = n;
  while (a < b) {
    const int mid = (a + b) / 2;
    if (first[size_t(mid)] + count[size_t(mid)] > lo)
      b = mid;
    else
      a = mid + 1;
  }
  from = a;
  a = from;
  b = n;
  while (a < b) {
    const int mid = (a + b) / 2;
    if (first[size_t(mid)] < hi)
      a = mid + 1;
    else
      b = mid;
  }
  to = a;
}

bool CDisplayScaler::Prepare(int sw, int sh, int tw, int th) {
  if (IsPreparedFor(sw, sh, tw, th)) return true;
  m_horizontal = {};
  m_vertical = {};
  if (sw <= 0 || sh <= 0 || tw <= 0 || th <= 0 || tw > sw || th > sh) return false;
  m_horizontal.Build(tw, sw);
  m_vertical.Build(th, sh);
  return true;
}

bool CDisplayScaler::IsPreparedFor(int sw, int sh, int tw, int th) const {
  return !m_horizontal.first.empty() && m_horizontal.sourceLength == sw &&
         m_vertical.sourceLength == sh && static_cast<int>(m_horizontal.first.size()) == tw &&
         static_cast<int>(m_vertical.first.size()) == th;
}

QRect CDisplayScaler::TargetRectFor(const QRect& source) const {
  const QRect clipped =
      source.intersected(QRect(0, 0, m_horizontal.sourceLength, m_vertical.sourceLength));
  if (clipped.isEmpty() || m_horizontal.first.empty()) return {};
  int x0, x1, y0, y1;
  m_horizontal.Range(clipped.left(), clipped.right() + 1, x0, x1);
  m_vertical.Range(clipped.top(), clipped.bottom() + 1, y0, y1);
  if (x1 <= x0 || y1 <= y0) return {};
  return QRect(x0, y0, x1 - x0, y1 - y0);
}

bool CDisplayScaler::Update(const CISImageEx& source, CISImageEx& target, const QRect& rect) {
  const int sw = static_cast<int>(source.m_width), sh = static_cast<int>(source.m_height);
  const int tw = static_cast<int>(target.m_width), th = static_cast<int>(target.m_height);
  if (!source.HasPixels() || !target.HasPixels() || source.m_bitsPerPixel != 24 ||
      target.m_bitsPerPixel != 24 || !IsPreparedFor(sw, sh, tw, th))
    return false;
  const QRect r = rect.intersected(QRect(0, 0, tw, th));
  if (r.isEmpty()) return true;
  const size_t srcStride = size_t(sw) * 3, dstStride = size_t(tw) * 3;
  const int x0 = r.left(), x1 = r.right() + 1;
  // The source columns the outputs x0..x1 read.
  const int c0 = m_horizontal.first[size_t(x0)];
  const int c1 = m_horizontal.first[size_t(x1 - 1)] + m_horizontal.count[size_t(x1 - 1)];
  const size_t e0 = size_t(c0) * 3, elems = size_t(c1 - c0) * 3;
  m_row.resize(elems);
  const uint8_t* src = source.Pixels();
  uint8_t* dst = target.Pixels();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    const int16_t* w = m_vertical.weights.data() + m_vertical.offset[size_t(y)];
    const int n = m_vertical.count[size_t(y)];
    const uint8_t* rows = src + size_t(m_vertical.first[size_t(y)]) * srcStride + e0;
    for (size_t e = 0; e < elems; ++e) {
      int32_t acc = 0;
      for (int k = 0; k < n; ++k) acc += int32_t(w[k]) * int32_t(rows[size_t(k) * srcStride + e]);
      m_row[e] = ToMid(acc);
    }
    uint8_t* out = dst + size_t(y) * dstStride;
    for (int x = x0; x < x1; ++x) {
      const int16_t* wh = m_horizontal.weights.data() + m_horizontal.offset[size_t(x)];
      const int nh = m_horizontal.count[size_t(x)];
      const uint16_t* s = m_row.data() + (size_t(m_horizontal.first[size_t(x)]) * 3 - e0);
      int32_t acc[3] = {};
      for (int k = 0; k < nh; ++k, s += 3)
        for (int c = 0; c < 3; ++c) acc[c] += int32_t(wh[k]) * int32_t(s[c]);
      for (int c = 0; c < 3; ++c) out[size_t(x) * 3 + size_t(c)] = ToByte(acc[c]);
    }
  }
  return true;
}
