// Document operations on an 8000 x 6000 main image: mask painting, merge
// rebuilds against the memcpy of the same bytes, export and lock, Quick Import
// and the small export.
#include <benchmark/benchmark.h>

#include <QString>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchHost.h"
#include "bench/BenchMain.h"
#include "document/QuickImport.h"
#include "document/QuiltorDoc.h"

namespace {

using BenchHost = CBenchHost;

std::string g_root;

std::string Folder(const std::string& name) {
  const std::string path = g_root + "/" + name;
  std::filesystem::create_directories(path);
  return path;
}

struct DocFixture {
  BenchHost host;
  CQuiltorServices services;
  CQuiltorDoc doc{host, services};

  DocFixture(uint32_t w, uint32_t h) {
    FillPicture(doc.m_mainImage, w, h, 1, 7);
    doc.m_backupImage.CopyFrom(doc.m_mainImage);
    doc.m_mainImagePath = QString::fromStdString(g_root + "/main.png");
    doc.m_sliceFolder = QString::fromStdString(Folder("slices"));
    doc.m_autoSend = 0;
  }
  // A square in the middle of the image, locked and merged with a picture of
  // its size.
  void Merge(int size, int rotating, int angle) {
    doc.m_locked = 0;
    doc.m_merge = 0;
    doc.CreateSlice(size, rotating, 1);
    doc.m_angle = angle;
    doc.m_locked = 1;
    FillPicture(doc.m_sliceImage, static_cast<uint32_t>(size), static_cast<uint32_t>(size), 2);
    doc.m_mask.Release();
    doc.BuildMerge();
  }
};

DocFixture& Fixture(uint32_t w, uint32_t h) {
  static std::map<std::pair<uint32_t, uint32_t>, std::unique_ptr<DocFixture>> fixtures;
  auto& f = fixtures[{w, h}];
  if (!f) {
    fixtures.clear();  // one large document at a time
    auto& g = fixtures[{w, h}];
    g = std::make_unique<DocFixture>(w, h);
    return *g;
  }
  return *f;
}

// One continuing dab of the default brush, alternating between two points
// 8 pixels apart so that each call places exactly one dab.
void BM_PaintMaskStep(benchmark::State& state) {
  DocFixture& f =
      Fixture(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
  f.Merge(1024, 0, 0);
  const int cx = f.doc.m_sliceX + 512, cy = f.doc.m_sliceY + 512;
  f.doc.m_tool = 0;
  f.doc.PaintMask(cx, cy, 0);
  int i = 0;
  for (auto _ : state) {
    f.doc.PaintMask(cx + (i & 1) * 8, cy, 1);
    ++i;
  }
  state.counters["stamp"] = f.doc.m_brush.m_stampSide;
}
BENCHMARK(BM_PaintMaskStep)->Args({2000, 1500})->Args({8000, 6000})->Unit(benchmark::kMicrosecond);

// A rebuild as the Edge Blur slider moves: the blur alternates between two values.
void BM_BuildMerge(benchmark::State& state) {
  DocFixture& f = Fixture(8000, 6000);
  f.Merge(2048, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  int i = 0;
  for (auto _ : state) {
    f.services.edgeBlur = 32 + (i++ & 1);
    f.doc.RefreshMerge();
  }
  f.services.edgeBlur = 32;
  state.counters["overlay_px"] = double(f.doc.m_overlay.m_width) * f.doc.m_overlay.m_height;
}
BENCHMARK(BM_BuildMerge)
    ->ArgNames({"rotating", "angle"})
    ->Args({0, 0})
    ->Args({1, 35})
    ->Unit(benchmark::kMillisecond);

// The full build as an import does it: overlay from the slice, feather,
// rotation, blend.
void BM_BuildMergeFull(benchmark::State& state) {
  DocFixture& f = Fixture(8000, 6000);
  f.Merge(2048, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) f.doc.BuildMerge();
}
BENCHMARK(BM_BuildMergeFull)
    ->ArgNames({"rotating", "angle"})
    ->Args({0, 0})
    ->Args({1, 35})
    ->Unit(benchmark::kMillisecond);

// A rebuild after Fill: the whole mask changed, the overlay stays.
void BM_FillMask(benchmark::State& state) {
  DocFixture& f = Fixture(8000, 6000);
  f.Merge(2048, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  f.host.preview.Clear();
  int i = 0;
  for (auto _ : state) f.doc.FillMask(200 + (i++ & 1));
}
BENCHMARK(BM_FillMask)
    ->ArgNames({"rotating", "angle"})
    ->Args({0, 0})
    ->Args({1, 35})
    ->Unit(benchmark::kMillisecond);

// The peer of BM_BuildMerge: one memcpy of the overlay's pixels plus the main
// image's pixels under it.
void BM_MemcpyOverlayAndMain(benchmark::State& state) {
  DocFixture& f = Fixture(8000, 6000);
  f.Merge(2048, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int W = static_cast<int>(f.doc.m_mainImage.m_width);
  const int H = static_cast<int>(f.doc.m_mainImage.m_height);
  const int ox = f.doc.m_overlayX, oy = f.doc.m_overlayY;
  const int ow = f.doc.m_overlay.m_width, oh = f.doc.m_overlay.m_height;
  const size_t inside = size_t(std::max(0, std::min(W, ox + ow) - std::max(0, ox))) *
                        size_t(std::max(0, std::min(H, oy + oh) - std::max(0, oy)));
  const size_t bytes = size_t(ow) * oh * 4 + inside * 3;
  std::vector<uint8_t> from(bytes, 1), to(bytes, 2);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_MemcpyOverlayAndMain)
    ->ArgNames({"rotating", "angle"})
    ->Args({0, 0})
    ->Args({1, 35})
    ->Unit(benchmark::kMillisecond);

void BM_ExportAndLock(benchmark::State& state) {
  DocFixture& f = Fixture(8000, 6000);
  const int size = static_cast<int>(state.range(0));
  const int rotating = static_cast<int>(state.range(1));
  f.doc.m_locked = 0;
  f.doc.m_merge = 0;
  f.doc.CreateSlice(size, rotating, size == 128 ? 4 : 1);
  f.doc.m_angle = rotating ? 35 : 0;
  for (auto _ : state) {
    f.doc.m_locked = 0;
    f.doc.m_sliceCounter = 1;
    if (f.doc.ExportAndLock().isEmpty()) state.SkipWithError("nothing exported");
  }
  f.doc.m_locked = 0;
}
BENCHMARK(BM_ExportAndLock)
    ->ArgNames({"size", "rotating"})
    ->Args({128, 0})
    ->Args({1024, 1})
    ->Unit(benchmark::kMillisecond);

// Quick Import of a returned 1024 picture into a locked 1024 square: reading
// the newest PNG and merging it (the second and later imports replace the
// merge before).
void BM_QuickImport1024(benchmark::State& state) {
  DocFixture& f = Fixture(8000, 6000);
  f.doc.m_locked = 0;
  f.doc.m_merge = 0;
  f.doc.CreateSlice(1024, 0, 1);
  f.doc.m_locked = 1;
  const std::string folder = Folder("img2img");
  CISImageEx result;
  FillPicture(result, 1024, 1024, 3);
  result.SaveFile(folder + "/00001-result.png", kFilePNG);
  for (int i = 0; i < 8; ++i) {
    std::FILE* other = std::fopen((folder + "/note" + std::to_string(i) + ".txt").c_str(), "w");
    if (other) std::fclose(other);
  }
  const QString field = QString::fromStdString(folder);
  for (auto _ : state) {
    QuickImport(f.doc, f.services.settings, field);
    if (f.doc.m_merge != 1) state.SkipWithError("not merged");
  }
}
BENCHMARK(BM_QuickImport1024)->Unit(benchmark::kMillisecond);

void BM_ExportSmall1024(benchmark::State& state) {
  DocFixture& f = Fixture(8000, 6000);
  for (auto _ : state) f.doc.ExportSmall(1024);
}
BENCHMARK(BM_ExportSmall1024)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarksInPrivateHome(argc, argv, &g_root); }
