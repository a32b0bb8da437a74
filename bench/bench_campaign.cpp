// Import Returned Slices against its anchor: 50 returned slices of 1024 on
// an 8000 x 6000 picture laid back as one batch, and the same 50 files as 50
// single imports each followed by Apply Merge, timed in the same run. The
// issue's bound is batch <= 1.5 x singles ("ratio").
#include <benchmark/benchmark.h>

#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchHost.h"
#include "bench/BenchMain.h"
#include "document/BatchImport.h"
#include "document/QuiltorDoc.h"

namespace {

std::string g_root;

struct Returned {
  QString path;
  int x, y;
};

constexpr int kSide = 1024;

// The picture on disk and 50 returned slices named as a grid export names
// them (10 columns, 5 rows of the 8000 x 6000 picture).
std::vector<Returned> MakeFiles(QString& picture) {
  const std::string folder = g_root + "/returned";
  std::filesystem::create_directories(folder);
  picture = QString::fromStdString(g_root + "/main.bmp");
  CISImageEx image;
  FillPicture(image, 8000, 6000, 1, 7);
  image.SaveFile(g_root + "/main.bmp", kFileBMP);
  std::vector<Returned> files;
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 10; ++col) {
      const int n = static_cast<int>(files.size()) + 1;
      const int x = col * (8000 - kSide) / 9, y = row * (6000 - kSide) / 4;
      const std::string name = folder + "/000" + std::to_string(n) + "-slice_" +
                               std::to_string(1000 + n).substr(1) + "_(" + std::to_string(x) + "," +
                               std::to_string(y) + ",1024,1024).png";
      CISImageEx slice;
      FillPicture(slice, kSide, kSide, static_cast<uint32_t>(n + 1));
      slice.SaveFile(name, kFilePNG);
      files.push_back({QString::fromStdString(name), x, y});
    }
  return files;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_Batch50VersusSingles(benchmark::State& state) {
  QString picture;
  const std::vector<Returned> files = MakeFiles(picture);
  double singles = 0, batch = 0;
  for (auto _ : state) {
    {
      CBenchHost host;
      CQuiltorServices services;
      CQuiltorDoc doc(host, services);
      doc.FileOpen(picture);
      const auto start = std::chrono::steady_clock::now();
      for (const Returned& f : files) {
        doc.PlaceSlice(f.x, f.y, kSide, kSide);
        doc.ImportFile(f.path);
        doc.ApplyMerge();
      }
      singles = Seconds(start);
    }
    {
      CBenchHost host;
      CQuiltorServices services;
      CQuiltorDoc doc(host, services);
      doc.FileOpen(picture);
      const auto start = std::chrono::steady_clock::now();
      CBatchImport job(doc);
      job.Start({QString::fromStdString(g_root + "/returned")});
      RunToEnd(job);
      batch = Seconds(start);
      if (job.Imported() != 50) state.SkipWithError("the batch did not import all 50 slices");
    }
  }
  state.counters["singles_s"] = singles;
  state.counters["batch_s"] = batch;
  state.counters["ratio"] = batch / singles;
}
BENCHMARK(BM_Batch50VersusSingles)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarksInPrivateHome(argc, argv, &g_root); }
