// Pixel kernels against memcpy of the block they work on, in one run.
// Every row of the summary gives the kernel's time, the bytes it touches
// (read + written) per second, and memcpy of the relevant block beside it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/kernels/Compositing.h"
#include "image/kernels/GeneralBrush.h"
#include "image/kernels/TwoPassScale.h"
#include "image/lib/Imaging.h"

namespace {

constexpr int kPhotoW = 8000, kPhotoH = 6000;
constexpr int kSquare = 2048, kOverlay = 2896, kBackground = 4096;

struct Buffer {
  explicit Buffer(size_t n) : size(n), data(new uint8_t[n]) {}
  size_t size;
  std::unique_ptr<uint8_t[]> data;
};

// A photo-like picture: smooth gradients with fine noise, so that no kernel
// meets a degenerate constant input.
const Buffer& Photo(int w, int h, int channels) {
  static std::map<std::tuple<int, int, int>, std::unique_ptr<Buffer>> cache;
  auto& slot = cache[{w, h, channels}];
  if (!slot) {
    slot = std::make_unique<Buffer>(size_t(w) * h * channels);
    std::mt19937 rng(1);
    uint8_t* p = slot->data.get();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < channels; ++c)
          *p++ = uint8_t((x * (c + 1) / 37 + y / 29 + (rng() & 15)) & 0xFF);
  }
  return *slot;
}

void Touched(benchmark::State& state, double bytes) {
  state.SetBytesProcessed(int64_t(bytes * double(state.iterations())));
  state.counters["touched_MB"] = bytes / 1e6;
}

void BM_Memcpy(benchmark::State& state) {
  const size_t n = size_t(state.range(0));
  Buffer a(n), b(n);
  std::memset(a.data.get(), 1, n);
  std::memset(b.data.get(), 2, n);
  for (auto _ : state) {
    std::memcpy(b.data.get(), a.data.get(), n);
    benchmark::DoNotOptimize(b.data.get());
    benchmark::ClobberMemory();
  }
  Touched(state, 2.0 * double(n));
}

void ResizeMethod(benchmark::State& state, int method, int tw, int th) {
  const Buffer& src = Photo(kPhotoW, kPhotoH, 3);
  Buffer dst(size_t(tw) * th * 3);
  for (auto _ : state) {
    bool ok = qimg::ResizeImage(src.data.get(), kPhotoW, kPhotoH, kPhotoW * 3, dst.data.get(), tw,
                                th, tw * 3, 3, method);
    if (!ok) state.SkipWithError("resize failed");
    benchmark::ClobberMemory();
  }
  Touched(state, double(src.size + dst.size));
}

void BM_ResizeMethod0(benchmark::State& state) { ResizeMethod(state, 0, 1600, 1200); }
void BM_ResizeMethod16(benchmark::State& state) { ResizeMethod(state, 16, 1600, 1200); }
void BM_ResizeMethod17(benchmark::State& state) { ResizeMethod(state, 17, 1536, 1024); }

void BM_ResizeBilinear(benchmark::State& state) {
  const int tw = int(state.range(0)), th = int(state.range(1));
  const Buffer& src = Photo(kPhotoW, kPhotoH, 3);
  Buffer dst(size_t(tw) * th * 3);
  C2PassScale<CBilinearFilter, CDataRGB_UBYTE> scaler;
  for (auto _ : state) {
    if (!scaler.Scale(src.data.get(), kPhotoW, kPhotoH, dst.data.get(), tw, th))
      state.SkipWithError("scale failed");
    benchmark::ClobberMemory();
  }
  Touched(state, double(src.size + dst.size));
}

void BM_StampBuild(benchmark::State& state) {
  CGeneralBrush brush;
  for (auto _ : state) {
    if (!brush.Build()) state.SkipWithError("build failed");
    benchmark::DoNotOptimize(brush.m_stamp.get());
  }
  // disc, work copy, two blur passes over it, trimmed copy
  const double side = 248.0;
  Touched(state, side * side * 6 + double(brush.m_stampSide) * brush.m_stampSide);
}

void BM_ExtractRotatedSquare(benchmark::State& state) {
  const Buffer& src = Photo(kBackground, kBackground, 3);
  Buffer dst(size_t(kSquare) * kSquare * 3);
  const double theta = 35 * M_PI / 180;
  for (auto _ : state) {
    ExtractRotatedSquare(src.data.get(), kBackground, kBackground, kBackground / 2, kBackground / 2,
                         kSquare, theta, dst.data.get());
    benchmark::ClobberMemory();
  }
  Touched(state, 2.0 * double(dst.size));  // the turned square read, the upright one written
}

void BM_RenderRotatedOverlay(benchmark::State& state) {
  const Buffer& slice = Photo(kSquare, kSquare, 4);
  Buffer overlay(size_t(kOverlay) * kOverlay * 4);
  const float theta = float(35 * M_PI / 180);
  const int cx = kBackground / 2, cy = kBackground / 2;
  for (auto _ : state) {
    RenderRotatedOverlay(qkern::RotatedSquareF::FromRadians(cx, cy, theta),
                         qkern::ConstPixelView::Packed(slice.data.get(), kSquare, kSquare, 4),
                         {qkern::PixelView::Packed(overlay.data.get(), kOverlay, kOverlay, 4),
                          cx - kOverlay / 2, cy - kOverlay / 2, kBackground, kBackground});
    benchmark::ClobberMemory();
  }
  Touched(state, double(slice.size + overlay.size));
}

void BM_FeatherEdges(benchmark::State& state) {
  Buffer px(size_t(kSquare) * kSquare * 4);
  std::memset(px.data.get(), 255, px.size);
  for (auto _ : state) {
    FeatherEdges(px.data.get(), kSquare, kSquare, 64);
    benchmark::ClobberMemory();
  }
  Touched(state, 2.0 * double(px.size));
}

constexpr int64_t kPhotoBytes = int64_t(kPhotoW) * kPhotoH * 3;

BENCHMARK(BM_Memcpy)
    ->Arg(kPhotoBytes)
    ->Arg(int64_t(kSquare) * kSquare * 3)
    ->Arg(int64_t(kOverlay) * kOverlay * 4)
    ->Arg(int64_t(kSquare) * kSquare * 4)
    ->Arg(248 * 248)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ResizeMethod0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeMethod16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeMethod17)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeBilinear)
    ->Args({1536, 1024})
    ->Args({1600, 1200})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_StampBuild)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractRotatedSquare)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderRotatedOverlay)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FeatherEdges)->Unit(benchmark::kMillisecond)->UseRealTime();

// Collects every run so that the summary can set each kernel beside memcpy.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      Entry& e = entries_[run.benchmark_name()];
      e.seconds = run.GetAdjustedRealTime() / 1e3;  // reported in ms
      auto it = run.counters.find("touched_MB");
      e.bytes = it == run.counters.end() ? 0 : double(it->second) * 1e6;
    }
  }

  void PrintSummary() const {
    struct Row {
      const char* kernel;
      std::string name, peer;
      double target;  // ratio to stay under, 0 when only reported
    };
    auto memcpyOf = [](int64_t bytes) {
      return "BM_Memcpy/" + std::to_string(bytes) + "/real_time";
    };
    const Row rows[] = {
        {"method 0, 8000x6000 -> 1600x1200", "BM_ResizeMethod0/real_time", memcpyOf(kPhotoBytes),
         4.0},
        {"method 16, 8000x6000 -> 1600x1200", "BM_ResizeMethod16/real_time", memcpyOf(kPhotoBytes),
         0},
        {"method 17, 8000x6000 -> 1536x1024", "BM_ResizeMethod17/real_time", memcpyOf(kPhotoBytes),
         0},
        {"ResizeBilinear, 8000x6000 -> 1536x1024", "BM_ResizeBilinear/1536/1024/real_time",
         memcpyOf(kPhotoBytes), 0},
        {"ResizeBilinear, 8000x6000 -> 1600x1200", "BM_ResizeBilinear/1600/1200/real_time",
         memcpyOf(kPhotoBytes), 0},
        {"stamp build, defaults", "BM_StampBuild/real_time", memcpyOf(248 * 248), 0},
        {"ExtractRotatedSquare 2048 at 35 deg", "BM_ExtractRotatedSquare/real_time",
         memcpyOf(int64_t(kSquare) * kSquare * 3), 0},
        {"RenderRotatedOverlay 2896x2896", "BM_RenderRotatedOverlay/real_time",
         memcpyOf(int64_t(kOverlay) * kOverlay * 4), 0},
        {"FeatherEdges 2048x2048", "BM_FeatherEdges/real_time",
         memcpyOf(int64_t(kSquare) * kSquare * 4), 0},
    };
    std::printf("\n%-40s %10s %10s %12s %10s %9s %s\n", "kernel", "time ms", "GB/s", "memcpy ms",
                "memcpy GB/s", "x memcpy", "target");
    for (const Row& row : rows) {
      auto k = entries_.find(row.name), m = entries_.find(row.peer);
      if (k == entries_.end() || m == entries_.end()) continue;
      const double ratio = k->second.seconds / m->second.seconds;
      std::printf("%-40s %10.3f %10.2f %12.3f %10.2f %9.2f %s\n", row.kernel,
                  k->second.seconds * 1e3, k->second.bytes / k->second.seconds / 1e9,
                  m->second.seconds * 1e3, m->second.bytes / m->second.seconds / 1e9, ratio,
                  row.target > 0 ? (ratio <= row.target ? "<= 4x: met" : "<= 4x: MISSED") : "");
    }
  }

 private:
  struct Entry {
    double seconds = 0, bytes = 0;
  };
  std::map<std::string, Entry> entries_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
