#include "image/kernels/GaussianRecBlur.h"

#include <cmath>
#include <cstddef>
#include <memory>
#include <new>

namespace {

struct Coefficients {
  double B, c1, c2, c3;
};

Coefficients Compute(double r) {
  const double sigma = r * 0.5;
  double q;
  if (sigma >= 2.5)
    q = 0.98711 * sigma - 0.9633;
  else
    q = 3.97156 - 4.14554 * std::sqrt(1 - 0.26891 * sigma);
  // The powers of q are formed before they are scaled. Evaluated this way a
  // constant 255 or 200 comes back unchanged (127 drops to 126 by truncation);
  // scaling q term by term instead lowers a constant 255 to 254.
  const double q2 = q * q, q3 = q * q * q;
  const double b0 = 1.57825 + 2.44413 * q + 1.4281 * q2 + 0.422205 * q3;
  const double b1 = 2.44413 * q + 2.85619 * q2 + 1.26661 * q3;
  const double b2 = -(1.4281 * q2 + 1.26661 * q3);
  const double b3 = 0.422205 * q3;
  const double r0 = 1 / b0;
  return {1 - (b1 + b2 + b3) * r0, b1 * r0, b2 * r0, b3 * r0};
}

inline uint8_t Truncate(double v) {
  if (v >= 255) return 255;
  return v > 0 ? uint8_t(v) : 0;
}

// Filters L interleaved lines of n samples each in place: sample k of lane l
// is line[k * L + l]. Every lane runs exactly the scalar recurrence; lanes
// only let the compiler work on several lines at once.
template <int L>
void FilterLines(uint8_t* line, int n, const Coefficients& k, double* w, double* o) {
  const double B = k.B, c1 = k.c1, c2 = k.c2, c3 = k.c3;
  auto X = [line](int i, int l) { return double(line[i * L + l]); };
  for (int l = 0; l < L; ++l) {
    double x0 = X(0, l);
    w[l] = x0 * B + x0 * c1 + x0 * c2 + x0 * c3;
    w[L + l] = X(1, l) * B + w[l] * c1 + w[l] * c2 + w[l] * c3;
    w[2 * L + l] = X(2, l) * B + w[L + l] * c1 + w[l] * c2 + w[l] * c3;
  }
  for (int i = 3; i < n; ++i)
    for (int l = 0; l < L; ++l)
      w[i * L + l] =
          X(i, l) * B + w[(i - 1) * L + l] * c1 + w[(i - 2) * L + l] * c2 + w[(i - 3) * L + l] * c3;
  const int e = n - 1;
  for (int l = 0; l < L; ++l) {
    double we = w[e * L + l];
    o[e * L + l] = we * B + we * c1 + we * c2 + we * c3;
    double oe = o[e * L + l];
    o[(e - 1) * L + l] = oe * c1 + w[(e - 1) * L + l] * B + oe * c2 + oe * c3;
    o[(e - 2) * L + l] = w[(e - 2) * L + l] * B + o[(e - 1) * L + l] * c1 + oe * c2 + oe * c3;
  }
  for (int i = n - 4; i >= 0; --i)
    for (int l = 0; l < L; ++l)
      o[i * L + l] = w[i * L + l] * B + o[(i + 1) * L + l] * c1 + o[(i + 2) * L + l] * c2 +
                     o[(i + 3) * L + l] * c3;
  for (int i = 0; i < n * L; ++i) line[i] = Truncate(o[i]);
}

constexpr int kLanes = 8;

struct Work {
  std::unique_ptr<double[]> w, o;
  std::unique_ptr<uint8_t[]> line;
};

// One direction: `lines` lines of n samples; sample k of line j sits at
// buffer[j * lineStep + k * sampleStep].
void Pass(uint8_t* buffer, int lines, int n, ptrdiff_t lineStep, ptrdiff_t sampleStep,
          const Coefficients& k, Work& work) {
  if (n < 3 || lines <= 0) return;
  uint8_t* line = work.line.get();
  int j = 0;
  for (; j + kLanes <= lines; j += kLanes) {
    for (int i = 0; i < n; ++i)
      for (int l = 0; l < kLanes; ++l)
        line[size_t(i) * kLanes + l] = buffer[(j + l) * lineStep + i * sampleStep];
    FilterLines<kLanes>(line, n, k, work.w.get(), work.o.get());
    for (int i = 0; i < n; ++i)
      for (int l = 0; l < kLanes; ++l)
        buffer[(j + l) * lineStep + i * sampleStep] = line[size_t(i) * kLanes + l];
  }
  for (; j < lines; ++j) {
    for (int i = 0; i < n; ++i) line[i] = buffer[j * lineStep + i * sampleStep];
    FilterLines<1>(line, n, k, work.w.get(), work.o.get());
    for (int i = 0; i < n; ++i) buffer[j * lineStep + i * sampleStep] = line[i];
  }
}

}  // namespace

void CGaussianRecBlur::Blur(uint8_t* buffer, int width, int height, double r) {
  if (!buffer || !(r >= 0.62) || width < 3 || height <= 0) return;
  const Coefficients k = Compute(r);
  // Everything is allocated before the first line is touched, so a failed
  // allocation leaves the buffer as it was.
  const size_t len = size_t(width > height ? width : height) * kLanes;
  Work work{std::unique_ptr<double[]>(new (std::nothrow) double[len]),
            std::unique_ptr<double[]>(new (std::nothrow) double[len]),
            std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[len])};
  if (!work.w || !work.o || !work.line) return;
  Pass(buffer, height, width, width, 1, k, work);
  // Columns shorter than 3 samples have no recurrence start; they keep the row result.
  Pass(buffer, width, height, 1, width, k, work);
}
