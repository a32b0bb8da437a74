#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace testing_support {

namespace {
struct TempRoot {
  std::string path;
  TempRoot() {
    char tmpl[] = "/tmp/quiltor-test-XXXXXX";
    if (char* p = mkdtemp(tmpl)) path = p;
  }
  ~TempRoot() {
    std::error_code ec;
    if (!path.empty() && !std::getenv("QUILTOR_KEEP_TEMP")) std::filesystem::remove_all(path, ec);
  }
};
TempRoot& Root() {
  static TempRoot root;
  return root;
}
}  // namespace

std::string CorpusDir() { return QUILTOR_CORPUS_DIR; }

std::string CorpusFile(const std::string& relative) {
  const std::string path = CorpusDir() + "/" + relative;
  std::ifstream probe(path, std::ios::binary);
  if (!probe)
    ADD_FAILURE() << "corpus file missing or unreadable: " << path
                  << " (configure with -DQUILTOR_CORPUS_DIR pointing at the corpus)";
  return path;
}

std::vector<std::string> CorpusFiles(const std::string& folder, const std::string& extension) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(CorpusDir() + "/" + folder, ec))
    if (e.path().extension() == extension) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  if (files.empty())
    ADD_FAILURE() << "no " << extension << " files in corpus folder " << CorpusDir() << "/"
                  << folder;
  return files;
}

std::string TempDir() {
  static int counter = 0;
  std::string dir = Root().path + "/t" + std::to_string(++counter);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

int Run(const std::string& command, std::string* output) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    if (output) output->append(buf, n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& name) {
  return Run("command -v " + ShellQuote(name) + " >/dev/null 2>&1") == 0;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) ADD_FAILURE() << "cannot read fixture " << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bool(f);
}

bool MagickDecode(const std::string& path, CISImageEx& out, const std::string& extraOptions) {
  std::string size;
  // first frame only; -alpha off drops alpha without blending
  std::string q = ShellQuote(path + "[0]");
  if (Run("convert " + q + " " + extraOptions + " -alpha off -format '%w %h' info:", &size) != 0)
    return false;
  unsigned w = 0, h = 0;
  if (std::sscanf(size.c_str(), "%u %u", &w, &h) != 2 || !w || !h) return false;
  std::string raw;
  if (Run("convert " + q + " " + extraOptions + " -alpha off -depth 8 rgb:-", &raw) != 0)
    return false;
  if (raw.size() != size_t{w} * h * 3) return false;
  if (out.Create(w, h, 24) != kISOk) return false;
  std::copy(raw.begin(), raw.end(), out.Pixels());
  return true;
}

void MakeTestPicture(CISImageEx& image, uint32_t width, uint32_t height, uint32_t seed) {
  image.Create(width, height, 24);
  std::mt19937 rng(seed);
  uint8_t* p = image.Pixels();
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* px = p + (size_t{y} * width + x) * 3;
      int noise = int(rng() % 9) - 4;
      bool edge = ((x / 37) + (y / 23)) % 2;
      int r = int(x * 255 / std::max(1u, width - 1)) + noise;
      int g = int(y * 255 / std::max(1u, height - 1)) - noise;
      int b = edge ? 200 + noise : 40 + noise;
      px[0] = uint8_t(std::clamp(r, 0, 255));
      px[1] = uint8_t(std::clamp(g, 0, 255));
      px[2] = uint8_t(std::clamp(b, 0, 255));
    }
}

int MaxDifference(const CISImageEx& a, const CISImageEx& b) {
  if (a.m_width != b.m_width || a.m_height != b.m_height || a.m_bitsPerPixel != 24 ||
      b.m_bitsPerPixel != 24)
    return -1;
  int worst = 0;
  size_t n = size_t{a.RowBytes()} * a.m_height;
  for (size_t i = 0; i < n; ++i)
    worst = std::max(worst, std::abs(int(a.Pixels()[i]) - int(b.Pixels()[i])));
  return worst;
}

}  // namespace testing_support
