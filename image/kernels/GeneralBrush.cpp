#include "image/kernels/GeneralBrush.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/kernels/GaussianRecBlur.h"

namespace {
// The sliders give at most 255 + 4 * 60; anything far beyond is a caller error
// and must not turn into a gigabyte allocation.
constexpr int kMaxStampSide = 8192;
}  // namespace

bool CGeneralBrush::Build() {
  m_stamp.reset();
  m_stampSide = 0;
  const double sideValue = m_softness * 4.0 + m_brushSize;
  if (!(sideValue < kMaxStampSide + 1.0)) return false;
  const int side = sideValue > 0 ? int(sideValue) : 0;
  if (side == 0) return true;  // an empty stamp, as asked for
  const size_t bytes = size_t(side) * size_t(side);
  std::unique_ptr<uint8_t[]> stamp(new (std::nothrow) uint8_t[bytes]);
  if (!stamp) return false;

  const int half = std::max(1, (side - 1) / 2);
  const int64_t r = m_brushSize / 2;
  int64_t limit = 1;
  if (r != 0) limit = std::max<int64_t>(1, (r * r / 2) * 2);
  const double level = std::max(0.1, m_opacity / 100.0);
  const uint8_t value = uint8_t(std::min(255.0, level * 255));

  if (side == 1) {
    stamp[0] = value;
    m_stamp = std::move(stamp);
    m_stampSide = 1;
    return true;
  }
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const int64_t dx = x - half, dy = y - half;
      stamp[size_t(y) * side + x] = dx * dx + dy * dy < limit ? value : 0;
    }
  if (m_softness == 0) {
    m_stamp = std::move(stamp);
    m_stampSide = side;
    return true;
  }

  std::unique_ptr<uint8_t[]> work(new (std::nothrow) uint8_t[bytes]);
  if (!work) return false;
  std::memcpy(work.get(), stamp.get(), bytes);
  CGaussianRecBlur().Blur(work.get(), side, side, m_softness);

  // One square around every non-zero byte, grown from the centre.
  int lo = side / 2, hi = side / 2;
  for (int y = 0; y < side; ++y) {
    const uint8_t* row = work.get() + size_t(y) * side;
    int first = -1, last = -1;
    for (int x = 0; x < side; ++x)
      if (row[x]) {
        if (first < 0) first = x;
        last = x;
      }
    if (first < 0) continue;
    lo = std::min({lo, first, y});
    hi = std::max({hi, last, y});
  }
  const int end = std::min(hi + 1, side);
  const int start = std::max(lo - 1, 0);
  const int newSide = end - start;
  if (newSide > 0 && newSide < side) {
    for (int y = 0; y < newSide; ++y)
      std::memcpy(stamp.get() + size_t(y) * newSide, work.get() + size_t(y + start) * side + start,
                  size_t(newSide));
    m_stamp = std::move(stamp);
    m_stampSide = newSide;
    return true;
  }
  m_stamp = std::move(work);
  m_stampSide = side;
  return true;
}
