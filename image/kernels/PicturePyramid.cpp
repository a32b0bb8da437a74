#include "image/kernels/PicturePyramid.h"

#include <algorithm>
#include <new>

namespace qimg {

int CPicturePyramid::LevelLength(int length, int k) {
  for (int i = 0; i < k; ++i) length = (length + 1) / 2;
  return length;
}

void CPicturePyramid::Reset() {
  m_levels.clear();
  m_width = m_height = 0;
}

void CPicturePyramid::Invalidate(const PyramidRect& rect) {
  PyramidRect r = rect;
  for (Store& s : m_levels) {
    // a change over [l, r) reaches the outputs [l / 2, (r + 1) / 2) of the level above
    r = {std::max(0, r.left) / 2, std::max(0, r.top) / 2, (r.right + 1) / 2, (r.bottom + 1) / 2};
    r.right = std::min(r.right, s.width);
    r.bottom = std::min(r.bottom, s.height);
    if (r.IsEmpty()) return;
    for (int ty = r.top / kTile; ty <= (r.bottom - 1) / kTile; ++ty)
      for (int tx = r.left / kTile; tx <= (r.right - 1) / kTile; ++tx)
        s.fresh[size_t(ty) * size_t(s.tilesX) + size_t(tx)] = 0;
  }
}

size_t CPicturePyramid::Bytes() const {
  size_t n = 0;
  for (const Store& s : m_levels)
    if (s.pixels) n += size_t(s.width) * size_t(s.height) * 3 + s.fresh.size();
  return n;
}

CPicturePyramid::Level CPicturePyramid::Get(const uint8_t* picture, int width, int height, int k,
                                            const PyramidRect& rect) {
  if (!picture || width <= 0 || height <= 0 || k < 1) return {};
  if (width != m_width || height != m_height) {
    Reset();
    m_width = width;
    m_height = height;
  }
  if (!Ensure(picture, k, rect)) return {};
  const Store& s = m_levels[size_t(k - 1)];
  return {s.width, s.height, s.pixels.get()};
}

bool CPicturePyramid::Ensure(const uint8_t* picture, int k, const PyramidRect& wanted) {
  while (int(m_levels.size()) < k) {
    const int level = int(m_levels.size()) + 1;
    Store s;
    s.width = LevelLength(m_width, level);
    s.height = LevelLength(m_height, level);
    s.pixels.reset(new (std::nothrow) uint8_t[size_t(s.width) * size_t(s.height) * 3]);
    if (!s.pixels) return false;
    s.tilesX = (s.width + kTile - 1) / kTile;
    s.tilesY = (s.height + kTile - 1) / kTile;
    s.fresh.assign(size_t(s.tilesX) * size_t(s.tilesY), 0);
    m_levels.push_back(std::move(s));
  }
  Store& s = m_levels[size_t(k - 1)];
  const PyramidRect r{std::max(0, wanted.left), std::max(0, wanted.top),
                      std::min(s.width, wanted.right), std::min(s.height, wanted.bottom)};
  if (r.IsEmpty()) return true;
  const int tx0 = r.left / kTile, tx1 = (r.right - 1) / kTile;
  const int ty0 = r.top / kTile, ty1 = (r.bottom - 1) / kTile;
  // The stale tiles' footprint on the level below, brought up to date first.
  PyramidRect stale{s.width, s.height, 0, 0};
  for (int ty = ty0; ty <= ty1; ++ty)
    for (int tx = tx0; tx <= tx1; ++tx)
      if (!s.fresh[size_t(ty) * size_t(s.tilesX) + size_t(tx)]) {
        stale.left = std::min(stale.left, tx * kTile);
        stale.top = std::min(stale.top, ty * kTile);
        stale.right = std::max(stale.right, std::min(s.width, (tx + 1) * kTile));
        stale.bottom = std::max(stale.bottom, std::min(s.height, (ty + 1) * kTile));
      }
  if (stale.IsEmpty()) return true;
  Level below{m_width, m_height, picture};
  if (k > 1) {
    if (!Ensure(picture, k - 1, {stale.left * 2, stale.top * 2, stale.right * 2, stale.bottom * 2}))
      return false;
    const Store& b = m_levels[size_t(k - 2)];
    below = {b.width, b.height, b.pixels.get()};
  }
  for (int ty = ty0; ty <= ty1; ++ty)
    for (int tx = tx0; tx <= tx1; ++tx) {
      uint8_t& fresh = s.fresh[size_t(ty) * size_t(s.tilesX) + size_t(tx)];
      if (fresh) continue;
      ComputeTile(below, s, tx, ty);
      fresh = 1;
    }
  return true;
}

void CPicturePyramid::ComputeTile(const Level& below, Store& s, int tx, int ty) {
  const int x0 = tx * kTile, x1 = std::min(s.width, x0 + kTile);
  const int y0 = ty * kTile, y1 = std::min(s.height, y0 + kTile);
  const size_t inStride = size_t(below.width) * 3, outStride = size_t(s.width) * 3;
  const int lastX = below.width - 1, lastY = below.height - 1;
  // Only an odd last column has no right neighbour: the inner loop is kept
  // free of that test.
  const int inner = std::min(x1, (lastX + 1) / 2);
  for (int y = y0; y < y1; ++y) {
    const uint8_t* a = below.pixels + size_t(2 * y) * inStride;
    const uint8_t* b = below.pixels + size_t(std::min(2 * y + 1, lastY)) * inStride;
    uint8_t* out = s.pixels.get() + size_t(y) * outStride;
    for (int x = x0; x < inner; ++x) {
      const uint8_t* p = a + size_t(x) * 6;
      const uint8_t* q = b + size_t(x) * 6;
      uint8_t* o = out + size_t(x) * 3;
      o[0] = uint8_t((p[0] + p[3] + q[0] + q[3] + 2) >> 2);
      o[1] = uint8_t((p[1] + p[4] + q[1] + q[4] + 2) >> 2);
      o[2] = uint8_t((p[2] + p[5] + q[2] + q[5] + 2) >> 2);
    }
    for (int x = std::max(x0, inner); x < x1; ++x) {
      const size_t l = size_t(2 * x) * 3, r = size_t(std::min(2 * x + 1, lastX)) * 3;
      for (size_t c = 0; c < 3; ++c)
        out[size_t(x) * 3 + c] = uint8_t((a[l + c] + a[r + c] + b[l + c] + b[r + c] + 2) / 4);
    }
  }
}

}  // namespace qimg
