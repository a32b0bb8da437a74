// Match Colours on a 2048 slice against the blend it comes before: the kernel
// alone, and the full merge build of an 8000 x 6000 document with the option
// off and on (the same run, so the ratio holds on a busy machine).
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/BenchHost.h"
#include "bench/BenchMain.h"
#include "document/QuiltorDoc.h"
#include "image/kernels/ColourMatch.h"

namespace {

using BenchHost = CBenchHost;

void BM_MatchColoursKernel(benchmark::State& state) {
  const uint32_t side = static_cast<uint32_t>(state.range(0));
  CISImageEx slice, square;
  FillPicture(slice, side, side, 2);
  FillPicture(square, side, side, 3);
  const size_t n = size_t{side} * side;
  for (auto _ : state) {
    MatchColours(slice.Pixels(), n, square.Pixels(), n);
    benchmark::ClobberMemory();
  }
  state.counters["px"] = double(n);
}
BENCHMARK(BM_MatchColoursKernel)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

// Measuring alone, for comparison.
void BM_MeasureSlice2048(benchmark::State& state) {
  CISImageEx slice;
  FillPicture(slice, 2048, 2048, 2);
  for (auto _ : state) benchmark::DoNotOptimize(MeasureLab(slice.Pixels(), size_t{2048} * 2048));
}
BENCHMARK(BM_MeasureSlice2048)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole match a merge runs: measure the slice, map it into the overlay.
void BM_MatchIntoOverlay2048(benchmark::State& state) {
  CISImageEx slice, square;
  FillPicture(slice, 2048, 2048, 2);
  FillPicture(square, 2048, 2048, 3);
  const size_t n = size_t{2048} * 2048;
  const CLabStats reference = MeasureLab(square.Pixels(), n);
  std::vector<uint8_t> rgba(n * 4);
  std::vector<uint16_t> scratch;
  for (auto _ : state) {
    MatchIntoRgba(slice.Pixels(), rgba.data(), n, reference, scratch);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MatchIntoOverlay2048)->Unit(benchmark::kMillisecond)->UseRealTime();

// The full build an import runs, with the option off (the blend itself) and
// on; `primed` 1 is the usual case, the square measured at the lock, 0 has
// the build measure it too.
void BM_BuildMerge2048(benchmark::State& state) {
  static BenchHost host;
  static CQuiltorServices services;
  static CQuiltorDoc doc(host, services);
  if (!doc.m_mainImage.HasPixels()) {
    FillPicture(doc.m_mainImage, 8000, 6000, 1);
    doc.m_backupImage.CopyFrom(doc.m_mainImage);
  }
  const bool match = state.range(0) != 0;
  const int rotating = static_cast<int>(state.range(1));
  const bool primed = state.range(2) != 0;
  doc.m_locked = 0;
  doc.m_merge = 0;
  doc.CreateSlice(2048, rotating, 1);
  doc.m_angle = rotating ? 35 : 0;
  doc.m_locked = 1;
  FillPicture(doc.m_sliceImage, 2048, 2048, 2);
  doc.m_mask.Release();
  doc.SetMatchColours(match);
  for (auto _ : state) {
    if (!primed) doc.ForgetReferenceColours();
    doc.BuildMerge();
  }
  doc.SetMatchColours(false);
}
BENCHMARK(BM_BuildMerge2048)
    ->ArgNames({"match", "rotating", "primed"})
    ->Args({0, 0, 1})
    ->Args({1, 0, 1})
    ->Args({1, 0, 0})
    ->Args({0, 1, 1})
    ->Args({1, 1, 1})
    ->Args({1, 1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return RunBenchmarksInPrivateHome(argc, argv); }
