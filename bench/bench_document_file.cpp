// Main image open and numbered save against the bare read and write of the
// same picture: what the document adds (the backup copy, the name claim).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <cstdint>
#include <random>
#include <string>

#include "document/QuiltorDoc.h"
#include "tests/document/RecordingHost.h"

namespace {

struct Folder {
  std::string path;
  Folder() {
    char tmpl[] = "/tmp/quiltor-bench-XXXXXX";
    if (char* p = mkdtemp(tmpl)) path = p;
    setenv("HOME", path.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (path + "/config").c_str(), 1);
  }
  ~Folder() { (void)!system(("rm -rf '" + path + "'").c_str()); }
};

Folder& Scratch() {
  static Folder folder;
  return folder;
}

// A 4000 x 3000 picture with smooth areas and noise, written once as PNG.
const std::string& Picture() {
  static const std::string path = [] {
    CISImageEx image;
    image.Create(4000, 3000, 24);
    std::mt19937 rng(7);
    uint8_t* p = image.Pixels();
    for (uint32_t y = 0; y < 3000; ++y)
      for (uint32_t x = 0; x < 4000; ++x, p += 3) {
        p[0] = static_cast<uint8_t>(x / 16 + rng() % 8);
        p[1] = static_cast<uint8_t>(y / 12);
        p[2] = static_cast<uint8_t>((x ^ y) & 0xff);
      }
    const std::string file = Scratch().path + "/picture.png";
    image.SaveFile(file, kFilePNG);
    return file;
  }();
  return path;
}

void BM_LoadPicture(benchmark::State& state) {
  for (auto _ : state) {
    CISImageEx image;
    benchmark::DoNotOptimize(image.Load(Picture()));
  }
}
BENCHMARK(BM_LoadPicture)->Unit(benchmark::kMillisecond);

void BM_OpenMainImage(benchmark::State& state) {
  RecordingHost host;
  CQuiltorServices services;
  CQuiltorDoc doc(host, services);
  const QString path = QString::fromStdString(Picture());
  for (auto _ : state) benchmark::DoNotOptimize(doc.OpenMainImage(path));
}
BENCHMARK(BM_OpenMainImage)->Unit(benchmark::kMillisecond);

void BM_SavePicture(benchmark::State& state) {
  CISImageEx image;
  image.Load(Picture());
  const std::string out = Scratch().path + "/plain.png";
  for (auto _ : state) benchmark::DoNotOptimize(image.SaveFile(out, kFilePNG));
}
BENCHMARK(BM_SavePicture)->Unit(benchmark::kMillisecond);

void BM_FileSaveNumbered(benchmark::State& state) {
  RecordingHost host;
  CQuiltorServices services;
  CQuiltorDoc doc(host, services);
  const QString path = QString::fromStdString(Picture());
  doc.FileOpen(path);
  const QString numbered = QString::fromStdString(Scratch().path + "/picture_0001.png");
  for (auto _ : state) {
    benchmark::DoNotOptimize(doc.FileSave());
    state.PauseTiming();
    QFile::remove(numbered);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FileSaveNumbered)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
