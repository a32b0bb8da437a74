// The recovery journal: appending one record of a 2048 square (gather, deflate
// at level 1, CRC, write, fsync) against deflating the same pixels at level 1
// alone. Both in real time, as the user waits for them. The journal is written
// in the working folder (run it where the per-user state folder's disk is).
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "document/RecoveryJournal.h"

namespace {

constexpr int kSide = 2048;
constexpr int kMainWidth = 8000;
constexpr int kMainHeight = 2100;

// A photograph's worth of detail: smooth shading with sensor noise.
const std::vector<uint8_t>& Picture() {
  static const std::vector<uint8_t> picture = [] {
    std::vector<uint8_t> p(size_t{3} * kMainWidth * kMainHeight);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-3, 3);
    for (int y = 0; y < kMainHeight; ++y)
      for (int x = 0; x < kMainWidth; ++x) {
        uint8_t* q = p.data() + (size_t(y) * kMainWidth + x) * 3;
        const int base[3] = {(x / 31 + y / 17) % 256, (x * y / 4096) % 256, (x + 2 * y) / 40 % 256};
        for (int c = 0; c < 3; ++c)
          q[c] = static_cast<uint8_t>(std::clamp(base[c] + noise(rng), 0, 255));
      }
    return p;
  }();
  return picture;
}

// The square's rows, as the journal gathers them before deflating.
std::vector<uint8_t> Square() {
  const std::vector<uint8_t>& p = Picture();
  std::vector<uint8_t> s(size_t{3} * kSide * kSide);
  for (int y = 0; y < kSide; ++y)
    std::memcpy(s.data() + size_t{3} * kSide * y,
                p.data() + (size_t(y + 20) * kMainWidth + 1000) * 3, size_t{3} * kSide);
  return s;
}

void BM_DeflateSquareLevel1(benchmark::State& state) {
  const std::vector<uint8_t> square = Square();
  std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> c(
      libdeflate_alloc_compressor(1), libdeflate_free_compressor);
  std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c.get(), square.size()));
  size_t packed = 0;
  for (auto _ : state) {
    packed =
        libdeflate_deflate_compress(c.get(), square.data(), square.size(), out.data(), out.size());
    benchmark::DoNotOptimize(packed);
  }
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(square.size());
}
BENCHMARK(BM_DeflateSquareLevel1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_JournalAppendSquare(benchmark::State& state) {
  const QString folder = QDir::currentPath() + QStringLiteral("/bench-journal");
  CRecoveryJournal journal;
  journal.SetFolder(folder);
  JournalBase base;
  base.imagePath = QStringLiteral("/nowhere/picture.png");
  base.width = kMainWidth;
  base.height = kMainHeight;
  if (!journal.Begin(base)) {
    state.SkipWithError("can't write the journal");
    return;
  }
  const JournalSlice slice{QStringLiteral("/nowhere/slices"), 3, 1000, 20, kSide, kSide, 0, 0, 1};
  const uint8_t* pixels = Picture().data();
  for (auto _ : state) {
    if (!journal.Append(1, 1000, 20, 1000 + kSide, 20 + kSide, slice, pixels, kMainWidth)) {
      state.SkipWithError("append failed");
      break;
    }
  }
  journal.End();
  QDir(folder).removeRecursively();
}
BENCHMARK(BM_JournalAppendSquare)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
