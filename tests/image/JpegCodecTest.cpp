// JPEG: the Go project's JPEGs against their reference decodings, files that
// ImageMagick writes (grey, CMYK), our writer read back, densities, hostile
// progressive files.
#include <gtest/gtest.h>

#include <filesystem>

#include "image/codecs/Jpeg.h"
#include "image/codecs/Png.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// testing::Test::Run hides the helper inside test bodies.
int Shell(const std::string& command, std::string* output = nullptr) {
  return testing_support::Run(command, output);
}

double MeanDifference(const CISImageEx& a, const CISImageEx& b) {
  size_t n = size_t{a.RowBytes()} * a.m_height;
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += std::abs(int(a.Pixels()[i]) - int(b.Pixels()[i]));
  return n ? sum / double(n) : 0;
}

std::string Identify(const std::string& path, const std::string& format) {
  std::string out;
  Shell("identify -format " + ShellQuote(format) + " " + ShellQuote(path), &out);
  return out;
}

// The references were made by another decoder (box chroma upsampling, its own
// IDCT): close on average, not bit for bit. ImageMagick uses libjpeg as we do.
TEST(JpegCodec, GoImageJpegsMatchReferences) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  int checked = 0;
  for (const std::string& f : CorpusFiles("go-image", ".jpeg")) {
    SCOPED_TRACE(f);
    CISImageEx ours;
    uint32_t r = ours.Load(f);
    if (f.find("truncated") != std::string::npos) continue;  // any outcome but a crash
    ASSERT_EQ(r, kISOk);
    EXPECT_EQ(ours.m_bitsPerPixel, 24u);
    CISImageEx magick;
    ASSERT_TRUE(MagickDecode(f, magick));
    EXPECT_LE(MaxDifference(ours, magick), 2);
    std::string ref = f.substr(0, f.size() - 5) + ".png";
    if (fs::exists(ref)) {
      CISImageEx reference;
      ASSERT_EQ(reference.Load(ref), kISOk);
      ASSERT_EQ(reference.m_width, ours.m_width);
      EXPECT_LE(MeanDifference(ours, reference), 5.0);
      ++checked;
    }
  }
  EXPECT_GE(checked, 4);
}

TEST(JpegCodec, GreyDetectsAsType1AndDecodesWithGreyPalette) {
  std::string f = CorpusFile("go-image/video-005.gray.jpeg");
  auto src = qimg::Source::OpenFile(f);
  ASSERT_TRUE(src);
  CISImageEx im;
  EXPECT_EQ(im.DetectFileType(*src, f), kFileJPEGGrey);
  src->Seek(0);
  qimg::Decoded d;
  ASSERT_EQ(qimg::ReadJPG(*src, 8, d), qimg::kOk);
  EXPECT_EQ(d.bitsPerPixel, 8u);
  EXPECT_EQ(d.palette.count, 256u);
  EXPECT_EQ(d.palette.entries[77].red, 77);
  EXPECT_EQ(d.palette.entries[77].blue, 77);
  // Grey also decodes at 24 bits; colour does not decode at 8.
  src->Seek(0);
  ASSERT_EQ(qimg::ReadJPG(*src, 24, d), qimg::kOk);
  auto colour = qimg::Source::OpenFile(CorpusFile("go-image/video-001.jpeg"));
  ASSERT_TRUE(colour);
  EXPECT_NE(qimg::ReadJPG(*colour, 8, d), qimg::kOk);
  EXPECT_FALSE(d.pixels);
}

TEST(JpegCodec, MagickWrittenGreyAndCmykMatchMagickDecoding) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  std::string dir = TempDir();
  ASSERT_EQ(Shell("convert -size 97x61 plasma:fractal -seed 3 " + ShellQuote(dir + "/src.png")), 0);
  struct Case {
    const char* name;
    const char* options;
  } cases[] = {{"grey.jpg", "-colorspace Gray"},
               {"cmyk.jpg", "-colorspace CMYK"},
               {"prog.jpg", "-interlace JPEG"},
               {"q30.jpg", "-quality 30 -sampling-factor 2x1"}};
  for (const auto& c : cases) {
    std::string f = dir + "/" + c.name;
    ASSERT_EQ(
        Shell("convert " + ShellQuote(dir + "/src.png") + " " + c.options + " " + ShellQuote(f)),
        0);
    CISImageEx ours, theirs;
    ASSERT_EQ(ours.Load(f), kISOk) << c.name;
    ASSERT_TRUE(MagickDecode(f, theirs, "-colorspace sRGB"));
    EXPECT_LE(MaxDifference(ours, theirs), 2) << c.name;
  }
}

TEST(JpegCodec, SavedFileReadsBackWithDensity) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  std::string dir = TempDir();
  CISImageEx im;
  MakeTestPicture(im, 301, 203);
  // In memory: density 300 x 300, unit 0.
  ASSERT_EQ(im.SaveFile(dir + "/fresh.jpg", kFileJPEG), kISOk);
  auto src = qimg::Source::OpenFile(dir + "/fresh.jpg");
  qimg::Info info;
  ASSERT_TRUE(qimg::GetJPGDims(*src, info));
  EXPECT_EQ(info.resX, 300);
  EXPECT_EQ(info.resY, 300);
  EXPECT_EQ(info.resUnit, 0);
  EXPECT_EQ(info.bitsPerPixel, 24u);
  CISImageEx back;
  ASSERT_TRUE(MagickDecode(dir + "/fresh.jpg", back));
  EXPECT_LE(MeanDifference(im, back), 3.0);  // the picture has pixel noise
  EXPECT_EQ(Identify(dir + "/fresh.jpg", "%Q"), "96");

  // 72 x 72 per inch survives JPEG to JPEG, and becomes 2834 px/m in PNG.
  ASSERT_EQ(Shell("convert -size 40x30 gradient:red-blue -units PixelsPerInch -density 72 " +
                  ShellQuote(dir + "/in.jpg")),
            0);
  CISImageEx loaded;
  ASSERT_EQ(loaded.Load(dir + "/in.jpg"), kISOk);
  EXPECT_EQ(loaded.m_resolutionUnit, 2u);
  ASSERT_EQ(loaded.SaveFile(dir + "/out.jpg", kFileJPEG), kISOk);
  EXPECT_EQ(Identify(dir + "/out.jpg", "%x %y %U"), "72 72 PixelsPerInch");
  ASSERT_EQ(loaded.SaveFile(dir + "/out.png", kFilePNG), kISOk);
  auto png = qimg::Source::OpenFile(dir + "/out.png");
  ASSERT_TRUE(qimg::GetPNGDims(*png, info));
  EXPECT_EQ(info.resX, 2834);
  EXPECT_EQ(info.resY, 2834);
  EXPECT_EQ(info.resUnit, 1);
}

// Finds the first start-of-scan segment with its entropy-coded data.
bool FirstScan(const std::vector<uint8_t>& f, size_t& begin, size_t& end) {
  for (size_t i = 2; i + 4 < f.size();) {
    if (f[i] != 0xFF) return false;
    uint8_t marker = f[i + 1];
    size_t len = (size_t{f[i + 2]} << 8) | f[i + 3];
    if (marker == 0xDA) {
      begin = i;
      size_t j = i + 2 + len;
      while (j + 1 < f.size() &&
             !(f[j] == 0xFF && f[j + 1] != 0 && (f[j + 1] < 0xD0 || f[j + 1] > 0xD7)))
        ++j;
      end = j;
      return true;
    }
    i += 2 + len;
  }
  return false;
}

TEST(JpegCodec, ThousandScansFailInsteadOfTakingMinutes) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  std::string dir = TempDir();
  std::string f = dir + "/p.jpg";
  ASSERT_EQ(Shell("convert -size 1024x1024 plasma:fractal -interlace JPEG " + ShellQuote(f)), 0);
  auto bytes = ReadFileBytes(f);
  size_t b = 0, e = 0;
  ASSERT_TRUE(FirstScan(bytes, b, e));
  std::vector<uint8_t> hostile(bytes.begin(), bytes.begin() + long(e));
  for (int i = 0; i < 1000; ++i)
    hostile.insert(hostile.end(), bytes.begin() + long(b), bytes.begin() + long(e));
  hostile.insert(hostile.end(), bytes.begin() + long(e), bytes.end());
  auto src = qimg::Source::FromMemory(hostile.data(), hostile.size());
  qimg::Decoded d;
  EXPECT_NE(qimg::ReadJPG(*src, 24, d), qimg::kOk);
  EXPECT_FALSE(d.pixels);
}

TEST(JpegCodec, TruncatedAndLyingFilesFail) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  const std::string made = TempDir() + "/baseline.jpg";
  ASSERT_EQ(Shell("convert -size 150x103 -seed 4 plasma:fractal " + ShellQuote(made)), 0);
  auto bytes = ReadFileBytes(made);
  ASSERT_GT(bytes.size(), 1000u);
  for (size_t cut : {size_t{0}, size_t{2}, size_t{100}, size_t{600}, bytes.size() / 2}) {
    auto src = qimg::Source::FromMemory(bytes.data(), cut);
    qimg::Decoded d;
    EXPECT_NE(qimg::ReadJPG(*src, 24, d), qimg::kOk) << cut;
    EXPECT_FALSE(d.pixels);
  }
  // Start of frame claims 60000 x 60000.
  auto lying = bytes;
  for (size_t i = 2; i + 9 < lying.size(); ++i)
    if (lying[i] == 0xFF && lying[i + 1] == 0xC0) {
      lying[i + 5] = 0xEA, lying[i + 6] = 0x60, lying[i + 7] = 0xEA, lying[i + 8] = 0x60;
      break;
    }
  auto src = qimg::Source::FromMemory(lying.data(), lying.size());
  qimg::Decoded d;
  EXPECT_NE(qimg::ReadJPG(*src, 24, d), qimg::kOk);
  EXPECT_FALSE(d.pixels);
}

}  // namespace
