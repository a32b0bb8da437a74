// A picture pyramid for showing a large 24-bit RGB picture at any reduction:
// level k is the picture reduced 2^k times (each level a 2 x 2 box filter of
// the one below, the last odd column or row averaged with itself). Levels
// are computed lazily in tiles, only where asked, and a changed rectangle of
// the picture makes just the tiles over it stale. Level 0 is the caller's
// picture itself and is never copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qimg {

// A rectangle of pixels; right and bottom exclusive.
struct PyramidRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool IsEmpty() const { return right <= left || bottom <= top; }
};

class CPicturePyramid {
 public:
  struct Level {
    int width = 0, height = 0;
    const uint8_t* pixels = nullptr;  // rows of 3 * width bytes
  };

  // Forgets every level (another picture, or a change of unknown extent).
  void Reset();
  // The picture changed inside rect (level-0 pixels).
  void Invalidate(const PyramidRect& rect);
  // Level k ≥ 1 of picture (width x height, rows of 3 * width bytes), brought
  // up to date inside rect (level-k pixels, clipped); a level with no
  // pixels when k < 1, the picture is empty or memory runs out. A picture of
  // another size resets the pyramid first.
  Level Get(const uint8_t* picture, int width, int height, int k, const PyramidRect& rect);
  // Bytes held by the levels made so far.
  size_t Bytes() const;

  static int LevelLength(int length, int k);
  static constexpr int kTile = 128;

 private:
  struct Store {
    int width = 0, height = 0, tilesX = 0, tilesY = 0;
    std::unique_ptr<uint8_t[]> pixels;
    std::vector<uint8_t> fresh;  // per tile: 1 when computed from the level below
  };
  bool Ensure(const uint8_t* picture, int k, const PyramidRect& rect);
  void ComputeTile(const Level& below, Store& store, int tx, int ty);

  int m_width = 0, m_height = 0;
  std::vector<Store> m_levels;  // m_levels[k - 1] is level k
};

}  // namespace qimg
