// In-process encode and decode times of the library-backed codecs on a
// photo-like 2048 x 2048 picture (the size of the largest slice), without
// process start-up or file system costs. bench/codec-bench.sh measures whole
// processes against other programs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "image/codecs/Gif.h"
#include "image/codecs/Jpeg.h"
#include "image/codecs/Png.h"
#include "image/codecs/Tiff.h"

namespace {

constexpr uint32_t kSide = 2048;

// Smooth colour fields, a few hard-edged shapes and mild noise.
const std::vector<uint8_t>& Picture() {
  static const std::vector<uint8_t> pixels = [] {
    std::vector<uint8_t> p(size_t{kSide} * kSide * 3);
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.f, 2.f);
    for (uint32_t y = 0; y < kSide; ++y)
      for (uint32_t x = 0; x < kSide; ++x) {
        float fx = float(x) / kSide, fy = float(y) / kSide;
        float r = 128 + 100 * std::sin(fx * 5 + fy * 2), g = 128 + 90 * std::cos(fy * 4 - fx);
        float b = 128 + 80 * std::sin((fx + fy) * 3);
        if ((x - 700) * (x - 700) + (y - 900) * (y - 900) < 300 * 300) r = 220, g = 40, b = 30;
        if (x > 1300 && x < 1800 && y > 200 && y < 600) r = g = b = 235;
        uint8_t* px = &p[(size_t{y} * kSide + x) * 3];
        px[0] = uint8_t(std::clamp(r + noise(rng), 0.f, 255.f));
        px[1] = uint8_t(std::clamp(g + noise(rng), 0.f, 255.f));
        px[2] = uint8_t(std::clamp(b + noise(rng), 0.f, 255.f));
      }
    return p;
  }();
  return pixels;
}

qimg::WriteImage Rgb() { return {Picture().data(), kSide, kSide, kSide * 3, 24, nullptr}; }

std::string Encoded(const char* format) {
  auto dest = qimg::Dest::ToMemory();
  std::string f = format;
  if (f == "png") qimg::WritePNG(*dest, Rgb(), {2835, 2835, 1});
  if (f == "jpeg") qimg::WriteJPG(*dest, Rgb(), 96, 0, {300, 300, 1});
  if (f == "tiff") qimg::WriteTIFF(*dest, Rgb(), 1, {300, 300, 2});
  return dest->Memory();
}

void Encode(benchmark::State& state, const char* format) {
  size_t bytes = Picture().size();  // made before the clock runs
  for (auto _ : state) bytes = Encoded(format).size();
  state.counters["bytes"] = double(bytes);
  state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 3);
}

void Decode(benchmark::State& state, const char* format) {
  std::string file = Encoded(format);
  std::string f = format;
  for (auto _ : state) {
    auto src = qimg::Source::FromMemory(file.data(), file.size());
    qimg::Decoded out;
    uint32_t r = f == "png"    ? qimg::ReadPNG(*src, 24, out)
                 : f == "jpeg" ? qimg::ReadJPG(*src, 24, out)
                               : qimg::ReadTIFF(*src, 24, out);
    if (r != qimg::kOk) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.pixels.get());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 3);
}

BENCHMARK_CAPTURE(Encode, png, "png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, png, "png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, jpeg_q96, "jpeg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, jpeg, "jpeg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, tiff, "tiff")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, tiff, "tiff")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
