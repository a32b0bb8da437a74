// Big pictures in one process: open time, then the PNG save in bands (the
// shipped path, temporary file and rename) beside the whole-picture save that
// came before it, each with its time, the memory it adds to the picture
// (peak resident set above the resident set before it) and its file size.
// bench/bigpic-bench.sh runs it beside libvips on a 16000 x 12000 picture.
//   bench_bigpic PICTURE.png OUT-FOLDER
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "image/ISImageEx.h"
#include "image/codecs/Png.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in kilobytes.
long StatusKb(const char* field) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, field, n) == 0) kb = std::strtol(line + n + 1, nullptr, 10);
  std::fclose(f);
  return kb;
}

// Starts a new peak: the high-water mark drops to the resident set.
void ResetPeak() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

template <class Fn>
void Measure(const char* name, const std::string& path, Fn&& save) {
  ResetPeak();
  long before = StatusKb("VmRSS:");
  double t = Now(), cpu = CpuSeconds();
  bool ok = save();
  double seconds = Now() - t;
  cpu = CpuSeconds() - cpu;
  long above = StatusKb("VmHWM:") - before;
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  std::printf("%-24s %7.2f s (%6.2f s CPU)  %7.1f MB above the picture  %11llu bytes%s\n", name,
              seconds, cpu, above / 1024.0, static_cast<unsigned long long>(ec ? 0 : size),
              ok ? "" : "  FAILED");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: bench_bigpic PICTURE.png OUT-FOLDER\n", stderr);
    return 2;
  }
  const std::string out = argv[2];
  CISImageEx picture;
  double t = Now();
  if (picture.Load(argv[1]) != kISOk) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  std::printf("%-24s %7.2f s  (%u x %u, %.1f MB of pixels)\n", "open", Now() - t, picture.m_width,
              picture.m_height, double(picture.RowBytes()) * picture.m_height / 1048576.0);
  Measure("save PNG in bands", out + "/banded.png",
          [&] { return picture.SaveFile(out + "/banded.png", kFilePNG) == kISOk; });
  Measure("save PNG whole (before)", out + "/whole.png", [&] {
    auto dest = qimg::Dest::OpenFile(out + "/whole.png");
    qimg::WriteImage w{picture.Pixels(), picture.m_width, picture.m_height, picture.RowBytes(), 24,
                       nullptr};
    return dest && qimg::WritePNG(*dest, w, {}, {qimg::kPngWhole}) == qimg::kOk && dest->Close();
  });
  return 0;
}
