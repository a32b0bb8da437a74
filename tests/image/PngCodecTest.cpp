// PNG: the PNG Suite and broken files from other programs, our writer read back
// by ImageMagick, resolution round trips.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "image/codecs/Png.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// testing::Test::Run hides the helper inside test bodies.
int Shell(const std::string& command, std::string* output = nullptr) {
  return testing_support::Run(command, output);
}

bool LoadsEmpty(const std::string& path) {
  CISImageEx im;
  uint32_t r = im.Load(path);
  return r != kISOk && !im.HasPixels();
}

// Reference pixels of a 16-bit suite file from its .sng dump (direct colour
// types only), reduced to 8 bits the way the codec reduces them: rounded,
// (v * 255 + 32895) >> 16, which is round(v / 257).
bool SngReference16(const std::string& sngPath, CISImageEx& out) {
  auto bytes = ReadFileBytes(sngPath);
  std::string text(bytes.begin(), bytes.end());
  if (text.find("bitdepth: 16") == std::string::npos) return false;
  unsigned w = 0, h = 0;
  size_t at = text.find("width:");
  if (at == std::string::npos ||
      std::sscanf(text.c_str() + at, "width: %u; height: %u", &w, &h) != 2)
    return false;
  int samples = text.find("using color alpha") != std::string::npos       ? 4
                : text.find("using color") != std::string::npos           ? 3
                : text.find("using grayscale alpha") != std::string::npos ? 2
                                                                          : 1;
  size_t pixels = text.find("pixels hex");
  if (pixels == std::string::npos || out.Create(w, h, 24) != kISOk) return false;
  std::istringstream in(text.substr(pixels + 10));
  for (size_t i = 0; i < size_t{w} * h; ++i) {
    std::string token;
    if (!(in >> token) || token.size() != size_t(samples) * 4) return false;
    uint8_t v[4];
    for (int k = 0; k < samples; ++k)
      v[k] = uint8_t((std::stoul(token.substr(size_t(k) * 4, 4), nullptr, 16) * 255 + 32895) >> 16);
    uint8_t* px = out.Pixels() + i * 3;
    px[0] = v[0];
    px[1] = samples >= 3 ? v[1] : v[0];
    px[2] = samples >= 3 ? v[2] : v[0];
  }
  return true;
}

// 8-bit files against ImageMagick, 16-bit ones against their dumps
// (ImageMagick truncates 16-bit samples, v / 257, where the codec rounds). The
// suite's gAMA 1.0 makes ImageMagick take the samples as linear RGB and convert
// them on output; "-set colorspace sRGB" keeps the stored samples.
TEST(PngCodec, PngSuiteMatchesReference) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  auto files = CorpusFiles("pngsuite", ".png");
  ASSERT_GE(files.size(), 30u);
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    CISImageEx ours, theirs;
    ASSERT_EQ(ours.Load(f), kISOk);
    EXPECT_EQ(ours.m_bitsPerPixel, 24u);
    std::string sng = f.substr(0, f.size() - 4) + ".sng";
    if (!SngReference16(sng, theirs)) {
      ASSERT_TRUE(MagickDecode(f, theirs, "-set colorspace sRGB"));
    }
    EXPECT_EQ(MaxDifference(ours, theirs), 0);
  }
}

TEST(PngCodec, DetectedTypesFollowDepthAndColourType) {
  struct Case {
    const char* file;
    uint32_t code;
  } cases[] = {
      {"basn0g01.png", kFilePNG1}, {"basn3p01.png", kFilePNG1}, {"basn0g02.png", kFilePNG8},
      {"basn3p08.png", kFilePNG8}, {"basn0g16.png", kFilePNG},  {"basn2c08.png", kFilePNG},
      {"basn6a08.png", kFilePNG},  {"basn4a08.png", kFilePNG},  {"basn6a16.png", kFilePNG},
  };
  for (const auto& c : cases) {
    std::string path = CorpusFile(std::string("pngsuite/") + c.file);
    auto src = qimg::Source::OpenFile(path);
    ASSERT_TRUE(src) << path;
    CISImageEx im;
    EXPECT_EQ(im.DetectFileType(*src, path), c.code) << c.file;
  }
}

TEST(PngCodec, ReaderDepthsAndPalettes) {
  auto bytes = ReadFileBytes(CorpusFile("pngsuite/basn3p01.png"));
  auto src = qimg::Source::FromMemory(bytes.data(), bytes.size());
  qimg::Decoded d;
  ASSERT_EQ(qimg::ReadPNG(*src, 1, d), qimg::kOk);
  EXPECT_EQ(d.bitsPerPixel, 1u);
  EXPECT_EQ(d.palette.count, 2u);
  src->Seek(0);
  qimg::Palette pal;
  ASSERT_TRUE(qimg::GetPNGPalette(*src, pal));
  EXPECT_EQ(pal.count, 2u);
  EXPECT_EQ(pal.entries[1].red, d.palette.entries[1].red);
  // Palette pictures also decode at 24 bits (expanded in place from indices).
  for (const char* name : {"basn3p01.png", "basn3p02.png", "basn3p04-31i.png", "basn3p08.png"}) {
    std::string path = CorpusFile(std::string("pngsuite/") + name);
    auto bytes24 = ReadFileBytes(path);
    auto src24 = qimg::Source::FromMemory(bytes24.data(), bytes24.size());
    qimg::Decoded rgb;
    ASSERT_EQ(qimg::ReadPNG(*src24, 24, rgb), qimg::kOk) << name;
    CISImageEx loaded;
    ASSERT_EQ(loaded.Load(path), kISOk);
    EXPECT_EQ(
        std::memcmp(rgb.pixels.get(), loaded.Pixels(), size_t{loaded.RowBytes()} * loaded.m_height),
        0)
        << name;
  }
  // An RGB picture has no 8-bit decode.
  bytes = ReadFileBytes(CorpusFile("pngsuite/basn2c08.png"));
  src = qimg::Source::FromMemory(bytes.data(), bytes.size());
  EXPECT_NE(qimg::ReadPNG(*src, 8, d), qimg::kOk);
  EXPECT_FALSE(d.pixels);
}

TEST(PngCodec, InvalidFilesFailCleanly) {
  auto files = CorpusFiles("png-invalid", ".png");
  ASSERT_FALSE(files.empty());
  for (const auto& f : files) EXPECT_TRUE(LoadsEmpty(f)) << f;
}

// Every proper prefix that ends at a chunk boundary, and a few bytes past it.
TEST(PngCodec, TruncatedAtEveryChunkBoundaryFails) {
  for (const char* name : {"basn3p04-31i.png", "basn6a16.png", "basn0g01.png"}) {
    auto bytes = ReadFileBytes(CorpusFile(std::string("pngsuite/") + name));
    ASSERT_GT(bytes.size(), 8u);
    std::vector<size_t> cuts = {0, 4, 8};
    for (size_t p = 8; p + 12 <= bytes.size();) {
      uint32_t len =
          (uint32_t{bytes[p]} << 24) | (bytes[p + 1] << 16) | (bytes[p + 2] << 8) | bytes[p + 3];
      p += 12 + len;
      if (p < bytes.size()) cuts.insert(cuts.end(), {p, p + 5});
    }
    cuts.push_back(bytes.size() - 1);
    std::string path = TempDir() + "/cut.png";
    for (size_t cut : cuts) {
      if (cut >= bytes.size()) continue;
      WriteFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
      EXPECT_TRUE(LoadsEmpty(path)) << name << " cut at " << cut;
    }
  }
}

TEST(PngCodec, LyingHeaderAllocatesNothingHuge) {
  // A 100000 x 100000 RGB header in front of a tiny stream.
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  const std::string made = TempDir() + "/small.png";
  ASSERT_EQ(Shell("convert -size 32x32 gradient:red-blue -depth 8 " + ShellQuote("PNG24:" + made)),
            0);
  auto bytes = ReadFileBytes(made);
  ASSERT_GT(bytes.size(), 33u);
  for (int i : {16, 20}) {
    bytes[size_t(i)] = 0;
    bytes[size_t(i) + 1] = 0x01;
    bytes[size_t(i) + 2] = 0x86;
    bytes[size_t(i) + 3] = 0xA0;
  }
  auto src = qimg::Source::FromMemory(bytes.data(), bytes.size());
  qimg::Decoded d;
  EXPECT_NE(qimg::ReadPNG(*src, 24, d), qimg::kOk);
  EXPECT_FALSE(d.pixels);
}

TEST(PngCodec, SavedFileReadsBackInImageMagick) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  for (auto [w, h] : {std::pair{1u, 1u}, {2u, 7u}, {333u, 211u}, {1200u, 1300u}}) {
    CISImageEx im, back;
    MakeTestPicture(im, w, h, w);
    std::string path = TempDir() + "/out.png";
    ASSERT_EQ(im.SaveFile(path, kFilePNG), kISOk);
    ASSERT_TRUE(MagickDecode(path, back));
    EXPECT_EQ(MaxDifference(im, back), 0) << w << "x" << h;
    CISImageEx ours;
    ASSERT_EQ(ours.Load(path), kISOk);
    EXPECT_EQ(MaxDifference(im, ours), 0);
  }
}

std::string Identify(const std::string& path) {
  std::string out;
  Shell("identify -format '%x %y %U' " + ShellQuote(path), &out);
  return out;
}

TEST(PngCodec, ResolutionRecords) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  std::string dir = TempDir();
  // In memory: no pHYs at all.
  CISImageEx fresh;
  MakeTestPicture(fresh, 16, 16);
  ASSERT_EQ(fresh.SaveFile(dir + "/fresh.png", kFilePNG), kISOk);
  auto bytes = ReadFileBytes(dir + "/fresh.png");
  std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find("pHYs"), std::string::npos);
  EXPECT_EQ(text.find("tEXt"), std::string::npos);

  // 2835 px/m loads as 28 per centimetre and saves as 2800 px/m.
  ASSERT_EQ(Shell("convert -size 8x8 xc:red -units PixelsPerCentimeter -density 28.35 " +
                  ShellQuote(dir + "/m.png")),
            0);
  CISImageEx im;
  ASSERT_EQ(im.Load(dir + "/m.png"), kISOk);
  EXPECT_EQ(im.m_resolutionX, 28);
  EXPECT_EQ(im.m_resolutionY, 28);
  EXPECT_EQ(im.m_resolutionUnit, 3u);
  ASSERT_EQ(im.SaveFile(dir + "/m2.png", kFilePNG), kISOk);
  auto src = qimg::Source::OpenFile(dir + "/m2.png");
  qimg::Info info;
  ASSERT_TRUE(qimg::GetPNGDims(*src, info));
  EXPECT_EQ(info.resX, 2800);
  EXPECT_EQ(info.resY, 2800);
  EXPECT_EQ(info.resUnit, 1);
  EXPECT_EQ(Identify(dir + "/m2.png"), "28 28 PixelsPerCentimeter");
}

// --- 8-bit RGB pictures take a path of their own (inflate and row filters on
// two threads); these files exercise it directly.

uint32_t Crc(const uint8_t* p, size_t n, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}

void Chunk(std::vector<uint8_t>& f, const char* type, const std::vector<uint8_t>& data) {
  Put32(f, uint32_t(data.size()));
  size_t at = f.size();
  f.insert(f.end(), type, type + 4);
  f.insert(f.end(), data.begin(), data.end());
  Put32(f, Crc(f.data() + at, data.size() + 4));
}

// An RGB PNG whose zlib stream holds `filtered` in stored blocks.
std::vector<uint8_t> StoredPng(uint32_t w, uint32_t h, const std::vector<uint8_t>& filtered,
                               bool end = true, int adlerDelta = 0) {
  std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  Put32(ihdr, w);
  Put32(ihdr, h);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  Chunk(f, "IHDR", ihdr);
  std::vector<uint8_t> z = {0x78, 0x01};
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(65535, filtered.size() - pos);
    z.push_back(pos + n == filtered.size() ? 1 : 0);
    z.insert(z.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
    z.insert(z.end(), filtered.begin() + long(pos), filtered.begin() + long(pos + n));
    pos += n;
  } while (pos < filtered.size());
  uint32_t a = 1, b = 0;
  for (uint8_t c : filtered) a = (a + c) % 65521, b = (b + a) % 65521;
  Put32(z, ((b << 16) | a) + uint32_t(adlerDelta));
  // Two IDAT chunks, the second starting mid-stream.
  size_t half = z.size() / 2;
  Chunk(f, "IDAT", std::vector<uint8_t>(z.begin(), z.begin() + long(half)));
  Chunk(f, "IDAT", std::vector<uint8_t>(z.begin() + long(half), z.end()));
  if (end) Chunk(f, "IEND", {});
  return f;
}

bool DecodesRgb(const std::vector<uint8_t>& file, qimg::Decoded& d) {
  auto src = qimg::Source::FromMemory(file.data(), file.size());
  return qimg::ReadPNG(*src, 24, d) == qimg::kOk && d.pixels;
}

TEST(PngCodec, RgbPathUndoesEveryFilter) {
  const uint32_t w = 5, h = 6;
  std::vector<uint8_t> raw;  // one filter type per row, the last row Paeth again
  for (uint32_t y = 0; y < h; ++y) {
    raw.push_back(uint8_t(y % 5));
    for (uint32_t i = 0; i < w * 3; ++i) raw.push_back(uint8_t(y * 40 + i * 7));
  }
  qimg::Decoded d;
  ASSERT_TRUE(DecodesRgb(StoredPng(w, h, raw), d));
  // Reference: undo the filters here, the plain way.
  std::vector<uint8_t> want(size_t{w} * h * 3), zero(w * 3);
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* in = &raw[y * (w * 3 + 1)];
    uint8_t* out = &want[y * w * 3];
    const uint8_t* up = y ? out - w * 3 : zero.data();
    for (uint32_t i = 0; i < w * 3; ++i) {
      int a = i >= 3 ? out[i - 3] : 0, b = up[i], c = i >= 3 ? up[i - 3] : 0;
      int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      int pred[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
      out[i] = uint8_t(in[1 + i] + pred[in[0]]);
    }
  }
  EXPECT_EQ(std::memcmp(d.pixels.get(), want.data(), want.size()), 0);
}

TEST(PngCodec, RgbPathRejectsBrokenFiles) {
  const uint32_t w = 4, h = 3;
  std::vector<uint8_t> raw(size_t{h} * (w * 3 + 1), 9);
  for (uint32_t y = 0; y < h; ++y) raw[y * (w * 3 + 1)] = 1;
  qimg::Decoded d;
  ASSERT_TRUE(DecodesRgb(StoredPng(w, h, raw), d));
  auto bad = raw;
  bad[w * 3 + 1] = 5;  // no such filter
  EXPECT_FALSE(DecodesRgb(StoredPng(w, h, bad), d));
  EXPECT_FALSE(DecodesRgb(StoredPng(w, h, std::vector<uint8_t>(raw.begin(), raw.end() - 4)), d));
  EXPECT_FALSE(DecodesRgb(StoredPng(w, h, raw, false), d));    // no IEND
  EXPECT_FALSE(DecodesRgb(StoredPng(w, h, raw, true, 1), d));  // wrong Adler-32
  auto flipped = StoredPng(w, h, raw);
  flipped[8 + 25 + 8 + 10] ^= 0x40;  // inside the first IDAT: its CRC no longer holds
  EXPECT_FALSE(DecodesRgb(flipped, d));
  EXPECT_FALSE(d.pixels);
  // Extra data after the last row only draws a warning from libpng: accepted.
  auto longer = raw;
  longer.insert(longer.end(), 20, 0);
  EXPECT_TRUE(DecodesRgb(StoredPng(w, h, longer), d));
}

// Big enough for the two-thread path; filters chosen by ImageMagick.
TEST(PngCodec, LargeRgbMatchesImageMagickAndTruncationsFail) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  std::string f = TempDir() + "/big.png";
  ASSERT_EQ(Shell("convert -size 1500x1100 -seed 4 plasma:fractal -depth 8 "
                  "-define png:color-type=2 " +
                  ShellQuote(f)),
            0);
  CISImageEx ours, theirs;
  ASSERT_EQ(ours.Load(f), kISOk);
  ASSERT_TRUE(MagickDecode(f, theirs));
  EXPECT_EQ(MaxDifference(ours, theirs), 0);
  auto bytes = ReadFileBytes(f);
  for (size_t cut :
       {size_t{60}, bytes.size() / 7, bytes.size() / 2, bytes.size() - 13, bytes.size() - 1}) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
    qimg::Decoded d;
    EXPECT_FALSE(DecodesRgb(part, d)) << cut;
  }
}

// --- Pictures above a few megabytes are written in bands, each a deflate
// segment of its own; small bands force that path on small pictures.

std::vector<uint8_t> SavePng(const CISImageEx& im, uint32_t rows, unsigned threads) {
  qimg::WriteImage w{im.Pixels(), im.m_width, im.m_height, im.RowBytes(), 24, nullptr};
  auto dest = qimg::Dest::ToMemory();
  EXPECT_EQ(qimg::WritePNG(*dest, w, {}, {rows, threads}), qimg::kOk);
  return {dest->Memory().begin(), dest->Memory().end()};
}

// The IDAT chunks of a file: offset and length of each one's data.
std::vector<std::pair<size_t, uint32_t>> Idats(const std::vector<uint8_t>& f) {
  std::vector<std::pair<size_t, uint32_t>> out;
  for (size_t p = 8; p + 12 <= f.size();) {
    uint32_t len = (uint32_t{f[p]} << 24) | (f[p + 1] << 16) | (f[p + 2] << 8) | f[p + 3];
    if (std::memcmp(&f[p + 4], "IDAT", 4) == 0) out.emplace_back(p + 8, len);
    p += 12 + len;
  }
  return out;
}

// vips' decoding of a picture of the given size, as raw R,G,B.
bool VipsDecode(const std::string& png, uint32_t w, uint32_t h, CISImageEx& out) {
  std::string raw = png + ".raw";
  if (Shell("vips rawsave " + ShellQuote(png) + " " + ShellQuote(raw)) != 0) return false;
  auto b = ReadFileBytes(raw);
  if (b.size() != size_t{w} * h * 3 || out.Create(w, h, 24) != kISOk) return false;
  std::copy(b.begin(), b.end(), out.Pixels());
  return true;
}

// Rows made for each filter type in turn to win: noise, a copy of the row
// above (Up), rows the Average and Paeth predictors make exactly, a ramp
// (Sub), black (None).
void MakeFilterRows(CISImageEx& im, uint32_t w, uint32_t h) {
  im.Create(w, h, 24);
  std::mt19937 rng(9);
  size_t n = size_t{w} * 3;
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* r = im.Pixels() + y * n;
    const uint8_t* up = y ? r - n : nullptr;
    for (size_t i = 0; i < n; ++i) {
      int a = i >= 3 ? r[i - 3] : 0, b = up ? up[i] : 0, c = up && i >= 3 ? up[i - 3] : 0;
      int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      int kinds[6] = {int(rng() & 0xFF), b, (a + b) / 2 + 1, paeth + 1, int(i), 0};
      r[i] = uint8_t(kinds[y % 6]);
    }
  }
}

TEST(PngCodec, BandedOutputReadsBackEverywhere) {
  for (const char* p : {"convert", "vips", "pngfix"})
    if (!HaveProgram(p)) FAIL() << p << " is needed (tools/install-deps.sh installs it)";
  struct Case {
    uint32_t w, h, rows;
    unsigned threads;
  } cases[] = {
      {41, 37, 1, 3},     // a band per row: boundaries at every filter type
      {97, 61, 7, 2},     // the last band shorter
      {97, 64, 8, 2},     // bands fill the picture
      {120, 50, 64, 1},   // one band, on the calling thread
      {2000, 150, 50, 2}  // bands large enough for the sample, run-length winning
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " by " + std::to_string(c.rows));
    CISImageEx im;
    if (c.rows == 1 || c.w == 2000)
      MakeFilterRows(im, c.w, c.h);
    else
      MakeTestPicture(im, c.w, c.h, c.w + c.rows);
    auto file = SavePng(im, c.rows, c.threads);
    // One zlib stream of every row, its filter types all in use at the edges.
    std::vector<uint8_t> stream, raw((size_t{c.w} * 3 + 1) * c.h);
    for (auto [at, len] : Idats(file))
      stream.insert(stream.end(), file.begin() + long(at), file.begin() + long(at + len));
    uLongf rawSize = uLongf(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &rawSize, stream.data(), uLong(stream.size())), Z_OK);
    ASSERT_EQ(rawSize, raw.size());
    if (c.rows == 1) {
      std::set<uint8_t> types;
      for (uint32_t y = 0; y < c.h; ++y) types.insert(raw[y * (size_t{c.w} * 3 + 1)]);
      EXPECT_EQ(types.size(), 5u);
    }
    std::string path = TempDir() + "/banded.png";
    WriteFileBytes(path, file);
    CISImageEx ours, magick, vips, oneShot;
    ASSERT_EQ(ours.Load(path), kISOk);
    EXPECT_EQ(MaxDifference(im, ours), 0);
    ASSERT_TRUE(MagickDecode(path, magick));
    EXPECT_EQ(MaxDifference(im, magick), 0);
    ASSERT_TRUE(VipsDecode(path, c.w, c.h, vips));
    EXPECT_EQ(MaxDifference(im, vips), 0);
    EXPECT_EQ(Shell("pngfix -q " + ShellQuote(path)), 0);
    WriteFileBytes(path, SavePng(im, 0, 0));
    ASSERT_EQ(oneShot.Load(path), kISOk);
    EXPECT_EQ(MaxDifference(ours, oneShot), 0);
  }
}

TEST(PngCodec, BandedStreamCutInsideAnyBandFails) {
  CISImageEx im;
  MakeTestPicture(im, 60, 40, 5);
  auto file = SavePng(im, 4, 2);
  auto idats = Idats(file);
  ASSERT_EQ(idats.size(), 10u);  // one chunk per band
  for (size_t k = 0; k < idats.size(); ++k) {
    // Chunks intact, the stream ending halfway through band k.
    auto [at, len] = idats[k];
    std::vector<uint8_t> cut(file.begin(), file.begin() + long(at - 8));
    std::vector<uint8_t> part(file.begin() + long(at), file.begin() + long(at + len / 2));
    Chunk(cut, "IDAT", part);
    Chunk(cut, "IEND", {});
    std::string path = TempDir() + "/cut.png";
    WriteFileBytes(path, cut);
    EXPECT_TRUE(LoadsEmpty(path)) << "band " << k;
  }
}

}  // namespace
