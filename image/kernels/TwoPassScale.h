// Separable two-pass resampler (rows, then columns) with a tent filter whose
// support widens by the reduction factor. Results are specified to the byte.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

class CGenericFilter {
 public:
  explicit CGenericFilter(double width) : m_width(width) {}
  virtual ~CGenericFilter() = default;
  virtual double Filter(double x) const = 0;
  double GetWidth() const { return m_width; }

 protected:
  double m_width;
};

class CBilinearFilter : public CGenericFilter {
 public:
  CBilinearFilter() : CGenericFilter(1.0) {}
  double Filter(double x) const override {
    double ax = x < 0 ? -x : x;
    return ax < m_width ? m_width - ax : 0.0;
  }
};

struct CDataRGB_UBYTE {
  static constexpr int kChannels = 3;
};
struct CDataRGBA_UBYTE {
  static constexpr int kChannels = 4;
};

namespace qkern {

// Contribution table of one pass with the zero weights at either end of each
// window dropped: adding 0 * sample leaves a single-precision accumulator
// unchanged, so the dropped terms cannot change a result. Output i reads
// source samples first[i] .. first[i] + count[i] - 1 with
// weights[offset[i] ..].
struct Contributions {
  int windowSize = 0;
  std::vector<int> first, count;
  std::vector<size_t> offset;
  std::vector<double> weights;
};

// Builds the table for n output positions from m source positions: centre
// i / s without a half-pixel offset, support widened by 1 / s when reducing,
// each row normalised by its total. Throws std::bad_alloc only.
template <class Filter>
void BuildContributions(int n, int m, const Filter& filter, Contributions& table) {
  const double scale = double(n) / double(m);
  double width = filter.GetWidth(), fscale = 1.0;
  if (scale < 1.0) {
    width = filter.GetWidth() / scale;
    fscale = scale;
  }
  table.windowSize = 2 * int(std::ceil(width)) + 1;
  table.first.assign(size_t(n), 0);
  table.count.assign(size_t(n), 0);
  table.offset.assign(size_t(n), 0);
  table.weights.clear();
  table.weights.reserve(size_t(n) * size_t(table.windowSize));
  std::vector<double> row(size_t(table.windowSize) + 1);
  for (int i = 0; i < n; ++i) {
    const double centre = double(i) / scale;
    int left = int(std::floor(centre - width));
    if (left < 0) left = 0;
    int right = int(std::ceil(centre + width));
    if (right > m - 1) right = m - 1;
    if (right - left + 1 > table.windowSize) ++left;
    double total = 0;
    const int len = right - left + 1;
    for (int k = 0; k < len; ++k) {
      row[size_t(k)] = fscale * filter.Filter((centre - double(left + k)) * fscale);
      total += row[size_t(k)];
    }
    if (total > 0)
      for (int k = 0; k < len; ++k) row[size_t(k)] /= total;
    int lo = 0, hi = len - 1;
    while (lo <= hi && row[size_t(lo)] == 0) ++lo;
    while (hi >= lo && row[size_t(hi)] == 0) --hi;
    table.first[size_t(i)] = lo <= hi ? left + lo : 0;
    table.count[size_t(i)] = hi - lo + 1;
    table.offset[size_t(i)] = table.weights.size();
    for (int k = lo; k <= hi; ++k) table.weights.push_back(row[size_t(k)]);
  }
}

// The two passes over interleaved 8-bit rasters of `channels` (3 or 4) bytes
// per pixel. Both keep the single-precision accumulator with double products
// in source order and truncate. False when a work buffer cannot be allocated.
bool ScaleRows(const uint8_t* source, int sw, int sh, uint8_t* target, int tw, int channels,
               const Contributions& table);
bool ScaleColumns(const uint8_t* source, int sw, int sh, uint8_t* target, int th, int channels,
                  const Contributions& table);

// Lets tests run the plain scalar passes on machines with AVX2 as well.
void EnableVectorPaths(bool enable);

}  // namespace qkern

template <class Filter, class Pixel>
class C2PassScale {
 public:
  virtual ~C2PassScale() = default;
  // Scales source (sw x sh) into target (tw x th); both top-down, unpadded.
  // Returns target, or null when a size is not positive or the tables or the
  // intermediate could not be allocated.
  uint8_t* Scale(const uint8_t* source, int sw, int sh, uint8_t* target, int tw, int th) {
    if (!source || !target || sw <= 0 || sh <= 0 || tw <= 0 || th <= 0) return nullptr;
    constexpr int kChannels = Pixel::kChannels;
    try {
      Filter filter;
      qkern::Contributions table;
      qkern::BuildContributions(tw, sw, filter, table);
      std::unique_ptr<uint8_t[]> intermediate(new (std::nothrow)
                                                  uint8_t[size_t(tw) * size_t(sh) * kChannels]);
      if (!intermediate) return nullptr;
      if (!qkern::ScaleRows(source, sw, sh, intermediate.get(), tw, kChannels, table))
        return nullptr;
      qkern::BuildContributions(th, sh, filter, table);
      if (!qkern::ScaleColumns(intermediate.get(), tw, sh, target, th, kChannels, table))
        return nullptr;
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    return target;
  }
};
