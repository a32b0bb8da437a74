// 256-colour quantiser: median cut over a 5-bit-per-channel histogram, then
// every histogram cell maps to its nearest palette colour. Exact when the
// picture has at most 256 distinct colours.
#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "image/lib/Imaging.h"

namespace qimg {

namespace {

struct Box {
  uint32_t begin, end;  // range in the cell list
  uint64_t weight;
};

struct Cell {
  uint32_t key;    // 15-bit cell index
  uint32_t count;  // pixels
  uint64_t sum[3];
};

int Channel(const Cell& c, int ch) { return (c.key >> (10 - 5 * ch)) & 31; }

uint32_t ExactPalette(const uint8_t* rgb, uint32_t width, uint32_t height, uint32_t rowBytes,
                      uint8_t* dst, uint32_t dstRowBytes, Palette& palette, bool& done) {
  std::unordered_map<uint32_t, uint8_t> index;
  index.reserve(512);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = rgb + size_t{y} * rowBytes;
    for (uint32_t x = 0; x < width; ++x, s += 3) {
      uint32_t c = s[0] | (s[1] << 8) | (s[2] << 16);
      auto it = index.find(c);
      if (it == index.end()) {
        if (index.size() == 256) {
          done = false;
          return kOk;
        }
        uint8_t i = static_cast<uint8_t>(index.size());
        index.emplace(c, i);
        palette.entries[i] = {s[2], s[1], s[0], 0};
      }
    }
  }
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = rgb + size_t{y} * rowBytes;
    uint8_t* d = dst + size_t{y} * dstRowBytes;
    for (uint32_t x = 0; x < width; ++x, s += 3) d[x] = index[s[0] | (s[1] << 8) | (s[2] << 16)];
  }
  done = true;
  return kOk;
}

}  // namespace

uint32_t QuantizeRGBTo8Bit(const uint8_t* rgb, uint32_t width, uint32_t height, uint32_t rowBytes,
                           uint8_t* dst, uint32_t dstRowBytes, Palette& palette) {
  if (!rgb || !dst || width == 0 || height == 0) return kErrParam;
  palette.count = 256;
  std::memset(palette.entries, 0, sizeof palette.entries);
  bool done = false;
  ExactPalette(rgb, width, height, rowBytes, dst, dstRowBytes, palette, done);
  if (done) return kOk;

  std::vector<Cell> cells(32768);
  for (uint32_t i = 0; i < cells.size(); ++i) cells[i] = {i, 0, {0, 0, 0}};
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = rgb + size_t{y} * rowBytes;
    for (uint32_t x = 0; x < width; ++x, s += 3) {
      Cell& c = cells[((s[0] >> 3) << 10) | ((s[1] >> 3) << 5) | (s[2] >> 3)];
      c.count++;
      c.sum[0] += s[0];
      c.sum[1] += s[1];
      c.sum[2] += s[2];
    }
  }
  cells.erase(
      std::remove_if(cells.begin(), cells.end(), [](const Cell& c) { return c.count == 0; }),
      cells.end());

  std::vector<Box> boxes;
  uint64_t total = uint64_t{width} * height;
  boxes.push_back({0, static_cast<uint32_t>(cells.size()), total});
  while (boxes.size() < 256) {
    // split the heaviest box that still has more than one cell
    int best = -1;
    for (size_t i = 0; i < boxes.size(); ++i)
      if (boxes[i].end - boxes[i].begin > 1 && (best < 0 || boxes[i].weight > boxes[best].weight))
        best = static_cast<int>(i);
    if (best < 0) break;
    Box b = boxes[best];
    int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
    for (uint32_t i = b.begin; i < b.end; ++i)
      for (int ch = 0; ch < 3; ++ch) {
        lo[ch] = std::min(lo[ch], Channel(cells[i], ch));
        hi[ch] = std::max(hi[ch], Channel(cells[i], ch));
      }
    int axis = 0;
    for (int ch = 1; ch < 3; ++ch)
      if (hi[ch] - lo[ch] > hi[axis] - lo[axis]) axis = ch;
    std::sort(cells.begin() + b.begin, cells.begin() + b.end,
              [axis](const Cell& a, const Cell& c) { return Channel(a, axis) < Channel(c, axis); });
    uint64_t acc = 0;
    uint32_t split = b.begin;
    while (split < b.end - 1 && acc + cells[split].count <= b.weight / 2)
      acc += cells[split++].count;
    if (split == b.begin) acc += cells[split++].count;
    boxes[best] = {b.begin, split, acc};
    boxes.push_back({split, b.end, b.weight - acc});
  }

  std::vector<uint8_t> cellToIndex(32768, 0);
  for (size_t bi = 0; bi < boxes.size(); ++bi) {
    uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (uint32_t i = boxes[bi].begin; i < boxes[bi].end; ++i) {
      for (int ch = 0; ch < 3; ++ch) sum[ch] += cells[i].sum[ch];
      n += cells[i].count;
    }
    if (n == 0) n = 1;
    palette.entries[bi] = {uint8_t(sum[2] / n), uint8_t(sum[1] / n), uint8_t(sum[0] / n), 0};
  }
  // Each cell takes the palette colour nearest to its own mean.
  for (const Cell& c : cells) {
    int r = int(c.sum[0] / c.count), g = int(c.sum[1] / c.count), b = int(c.sum[2] / c.count);
    int bestIndex = 0, bestDist = INT_MAX;
    for (size_t i = 0; i < boxes.size(); ++i) {
      const PaletteEntry& p = palette.entries[i];
      int d =
          (p.red - r) * (p.red - r) + (p.green - g) * (p.green - g) + (p.blue - b) * (p.blue - b);
      if (d < bestDist) bestDist = d, bestIndex = static_cast<int>(i);
    }
    cellToIndex[c.key] = static_cast<uint8_t>(bestIndex);
  }
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = rgb + size_t{y} * rowBytes;
    uint8_t* d = dst + size_t{y} * dstRowBytes;
    for (uint32_t x = 0; x < width; ++x, s += 3)
      d[x] = cellToIndex[((s[0] >> 3) << 10) | ((s[1] >> 3) << 5) | (s[2] >> 3)];
  }
  return kOk;
}

}  // namespace qimg
