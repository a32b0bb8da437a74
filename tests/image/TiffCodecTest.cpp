// TIFF: files in many layouts written by ImageMagick at test time, our writer
// read back, resolution and the pixel aspect correction, broken files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <tuple>

#include "image/codecs/Tiff.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;

// testing::Test::Run hides the helper inside test bodies.
int Shell(const std::string& command, std::string* output = nullptr) {
  return testing_support::Run(command, output);
}

std::string Identify(const std::string& path) {
  std::string out;
  Shell("identify -format '%x %y %U' " + ShellQuote(path), &out);
  return out;
}

// Little-endian RGB TIFF, one uncompressed strip holding 12 bytes whatever the
// header claims.
std::vector<uint8_t> MinimalTiff(uint32_t width, uint32_t height) {
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  struct Entry {
    uint16_t tag, type;
    uint32_t value;
  } entries[] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},      {259, 3, 1}, {262, 3, 2},
                 {273, 4, 0},     {277, 3, 3},      {278, 4, height}, {279, 4, 12}};
  uint32_t dataAt = 8 + 2 + 9 * 12 + 4;
  u16(9);
  for (const auto& e : entries) {
    u16(e.tag), u16(e.type), u32(1);
    u32(e.tag == 273 ? dataAt : e.value);
  }
  u32(0);
  for (int i = 0; i < 12; ++i) f.push_back(uint8_t(i * 20));
  return f;
}

class TiffCodec : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("convert"))
      FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
    dir_ = TempDir();
    source_ = dir_ + "/src.png";
    ASSERT_EQ(Shell("convert -size 131x67 plasma:fractal -seed 9 " + ShellQuote(source_)), 0);
  }
  std::string Make(const std::string& name, const std::string& options) {
    std::string path = dir_ + "/" + name;
    EXPECT_EQ(Shell("convert " + ShellQuote(source_) + " " + options + " " + ShellQuote(path)), 0);
    return path;
  }
  std::string dir_, source_;
};

TEST_F(TiffCodec, MagickWrittenLayoutsMatchMagickDecoding) {
  struct Case {
    const char* name;
    const char* options;
    uint32_t code;
    int tolerance;  // 16-bit samples and colormaps: ImageMagick truncates, we round
  } cases[] = {
      {"strips.tif", "-depth 8 -define tiff:rows-per-strip=5", kFileTIFF, 0},
      {"single.tif", "-depth 8 -define tiff:rows-per-strip=1000", kFileTIFF, 0},
      {"tiled.tif", "-depth 8 -define tiff:tile-geometry=32x48", kFileTIFF, 0},
      {"lzw.tif", "-depth 8 -compress LZW", kFileTIFF, 0},
      {"zip-tiled.tif", "-depth 8 -compress Zip -define tiff:tile-geometry=64x64", kFileTIFF, 0},
      {"rgb16.tif", "-depth 16", kFileTIFF, 1},
      {"planar.tif", "-depth 8 -interlace Plane", kFileTIFF, 0},
      {"grey8.tif", "-colorspace Gray -depth 8", kFileTIFF8, 0},
      {"grey16.tif", "-colorspace Gray -depth 16", kFileTIFF, 1},
      {"grey4.tif", "-colorspace Gray -depth 4", kFileTIFF8, 0},
      // 9 to 15 bits per sample, packed: reduced to 8 bits as 16-bit samples are.
      {"rgb12.tif", "-depth 12", kFileTIFF, 1},
      {"rgb12-lzw.tif", "-depth 12 -compress LZW -define tiff:rows-per-strip=7", kFileTIFF, 1},
      {"rgb10-tiled.tif", "-depth 10 -define tiff:tile-geometry=32x32", kFileTIFF, 1},
      {"grey12.tif", "-colorspace Gray -depth 12", kFileTIFF, 1},
      {"grey9.tif", "-colorspace Gray -depth 9", kFileTIFF, 1},
      {"grey14.tif", "-colorspace Gray -depth 14", kFileTIFF, 1},
      {"palette.tif", "-depth 8 -colors 50 -type Palette", kFileTIFF8, 1},
      {"palette16.tif", "-depth 8 -colors 12 -type Palette -compress LZW", kFileTIFF8, 1},
      {"rgba.tif", "-depth 8 -alpha set -channel A -evaluate set 40% +channel", kFileTIFF32, 0},
      {"cmyk8.tif", "-depth 8 -colorspace CMYK", kFileTIFF32, 1},
      {"cmyk16.tif", "-depth 16 -colorspace CMYK", kFileTIFF, 2},
      {"g4.tif", "-monochrome -compress Group4", kFileTIFF1, 0},
      {"g3.tif", "-monochrome -compress Fax", kFileTIFF1, 0},
      {"bilevel.tif", "-monochrome -depth 1 -compress None", kFileTIFF1, 0},
      {"bilevel-tiled.tif", "-monochrome -depth 1 -define tiff:tile-geometry=16x16", kFileTIFF1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string f = Make(c.name, c.options);
    auto src = qimg::Source::OpenFile(f);
    ASSERT_TRUE(src);
    CISImageEx ours, theirs;
    EXPECT_EQ(ours.DetectFileType(*src, f), c.code);
    ASSERT_EQ(ours.Load(f), kISOk);
    EXPECT_EQ(ours.m_bitsPerPixel, 24u);
    ASSERT_TRUE(MagickDecode(f, theirs, "-colorspace sRGB"));
    EXPECT_LE(MaxDifference(ours, theirs), c.tolerance);
  }
}

// A 12-bit sample v becomes round(v * 255 / 4095), as a 16-bit one becomes
// round(v * 255 / 65535). The stored samples come back through ImageMagick
// as 16-bit values (v * 65535 / 4095, rounded).
TEST_F(TiffCodec, TwelveBitSamplesAreRoundedToEightBits) {
  const std::string f = dir_ + "/g12.tif";
  ASSERT_EQ(
      Shell("convert -size 2x300 gradient:white-black -colorspace Gray -depth 12 " + ShellQuote(f)),
      0);
  std::string depth, raw;
  ASSERT_EQ(Shell("identify -format %z " + ShellQuote(f), &depth), 0);
  EXPECT_EQ(depth, "12");
  ASSERT_EQ(Shell("convert " + ShellQuote(f) + " -depth 16 -endian MSB gray:-", &raw), 0);
  CISImageEx ours;
  ASSERT_EQ(ours.Load(f), kISOk);
  ASSERT_EQ(ours.m_height, 300u);
  ASSERT_EQ(raw.size(), size_t{ours.m_width} * ours.m_height * 2);
  std::set<uint8_t> levels;
  for (size_t i = 0; i < raw.size() / 2; ++i) {
    const uint32_t v16 = uint32_t(uint8_t(raw[2 * i])) << 8 | uint8_t(raw[2 * i + 1]);
    const uint32_t v = (v16 * 4095 + 32767) / 65535;
    ASSERT_EQ(ours.Pixels()[3 * i], uint8_t((v * 255 + 2047) / 4095)) << i << " from " << v;
    levels.insert(ours.Pixels()[3 * i]);
  }
  EXPECT_GT(levels.size(), 200u);  // a real gradient, not a flat picture
}

// The forced bilevel palette shows 0 white and 1 black; the decoder turns
// min-is-black files around so that they still look as stored.
TEST_F(TiffCodec, BilevelShowsZeroWhiteOneBlack) {
  std::string white = Make("w.tif", "-monochrome -depth 1 -define quantum:polarity=min-is-white");
  std::string black = Make("b.tif", "-monochrome -depth 1 -define quantum:polarity=min-is-black");
  for (const auto& f : {white, black}) {
    auto src = qimg::Source::OpenFile(f);
    qimg::Decoded d;
    ASSERT_EQ(qimg::ReadTIFF(*src, 1, d), qimg::kOk);
    EXPECT_EQ(d.palette.count, 2u);
    EXPECT_EQ(d.palette.entries[0].red, 255);
    EXPECT_EQ(d.palette.entries[1].red, 0);
    CISImageEx ours, theirs;
    ASSERT_EQ(ours.Load(f), kISOk);
    ASSERT_TRUE(MagickDecode(f, theirs));
    EXPECT_EQ(MaxDifference(ours, theirs), 0) << f;
  }
}

TEST_F(TiffCodec, PixelAspectCorrection) {
  std::string dir = dir_;
  ASSERT_EQ(Shell("convert -size 1000x500 gradient:red-blue -depth 8 -units PixelsPerInch -density "
                  "200x100 " +
                  ShellQuote(dir + "/fax.tif")),
            0);
  CISImageEx im;
  ASSERT_EQ(im.Load(dir + "/fax.tif"), kISOk);
  EXPECT_EQ(im.m_width, 1000u);
  EXPECT_EQ(im.m_height, 1000u);
  EXPECT_EQ(im.m_resolutionX, 200);
  EXPECT_EQ(im.m_resolutionY, 100);
  EXPECT_EQ(im.m_resolutionUnit, 2u);
  ASSERT_EQ(Shell("convert -size 1000x500 gradient:red-blue -depth 8 -units PixelsPerInch -density "
                  "200x170 " +
                  ShellQuote(dir + "/near.tif")),
            0);
  ASSERT_EQ(im.Load(dir + "/near.tif"), kISOk);
  EXPECT_EQ(im.m_height, 500u);
}

// The correction stretches at most 8:1 and keeps the corrected picture within
// the per-image budget; beyond either the file is refused, not stretched.
TEST_F(TiffCodec, PixelAspectCorrectionIsCapped) {
  auto make = [&](const std::string& name, const std::string& size, const std::string& density) {
    const std::string path = dir_ + "/" + name;
    EXPECT_EQ(Shell("convert -size " + size + " xc:white -monochrome -compress Group4 " +
                    "-units PixelsPerInch -density " + density + " " + ShellQuote(path)),
              0);
    return path;
  };
  CISImageEx im;
  ASSERT_EQ(im.Load(make("eight.tif", "64x40", "800x100")), kISOk);
  EXPECT_EQ(im.m_height, 320u);  // 8:1 is still corrected
  ASSERT_EQ(im.Load(make("wide.tif", "40x64", "100x800")), kISOk);
  EXPECT_EQ(im.m_height, 8u);
  for (const auto& [name, size, density] :
       {std::tuple{"nine.tif", "64x40", "900x100"}, std::tuple{"flat.tif", "40x64", "100x900"},
        // a blank page of a few hundred bytes that would stretch to 72 MB
        std::tuple{"page.tif", "2000x1500", "800x100"}}) {
    SCOPED_TRACE(name);
    const std::string path = make(name, size, density);
    EXPECT_LT(std::filesystem::file_size(path), 10000u);
    EXPECT_EQ(im.Load(path), uint32_t{qimg::kErrTooLarge});
    EXPECT_FALSE(im.HasPixels());
    EXPECT_STREQ(qimg::ErrorText(qimg::kErrTooLarge), "picture too large");
  }
}

// A fax page (1-bit, 204 x 98 dpi) and a grey scan get their aspect back too,
// still black where the page is black.
TEST_F(TiffCodec, PixelAspectCorrectionForBilevelAndGrey) {
  ASSERT_EQ(Shell("convert -size 400x100 xc:white -fill black -draw 'rectangle 0,0 199,99' "
                  "-monochrome -compress Group4 -units PixelsPerInch -density 204x98 " +
                  ShellQuote(dir_ + "/fax1.tif")),
            0);
  ASSERT_EQ(Shell("convert -size 400x100 gradient:black-white -colorspace Gray -depth 8 "
                  "-units PixelsPerInch -density 200x100 " +
                  ShellQuote(dir_ + "/grey.tif")),
            0);
  CISImageEx fax, grey;
  ASSERT_EQ(fax.Load(dir_ + "/fax1.tif"), kISOk);
  EXPECT_EQ(fax.m_width, 400u);
  EXPECT_EQ(fax.m_height, 208u);  // trunc(100 / (98 / 204))
  EXPECT_EQ(fax.m_bitsPerPixel, 24u);
  EXPECT_EQ(fax.Pixels()[(100 * 400 + 50) * 3], 0);     // left half black
  EXPECT_EQ(fax.Pixels()[(100 * 400 + 350) * 3], 255);  // right half white
  ASSERT_EQ(grey.Load(dir_ + "/grey.tif"), kISOk);
  EXPECT_EQ(grey.m_height, 200u);
}

TEST_F(TiffCodec, SavedFileReadsBackWithResolution) {
  CISImageEx im, back;
  MakeTestPicture(im, 517, 3001, 4);  // several strips
  ASSERT_EQ(im.SaveFile(dir_ + "/fresh.tif", kFileTIFF), kISOk);
  ASSERT_TRUE(MagickDecode(dir_ + "/fresh.tif", back));
  EXPECT_EQ(MaxDifference(im, back), 0);
  EXPECT_EQ(Identify(dir_ + "/fresh.tif"), "300 300 Undefined");

  std::string f = Make("cm.tif", "-depth 8 -units PixelsPerCentimeter -density 118");
  CISImageEx loaded;
  ASSERT_EQ(loaded.Load(f), kISOk);
  EXPECT_EQ(loaded.m_resolutionUnit, 3u);
  ASSERT_EQ(loaded.SaveFile(dir_ + "/cm2.tif", kFileTIFF), kISOk);
  EXPECT_EQ(Identify(dir_ + "/cm2.tif"), "118 118 PixelsPerCentimeter");
  auto src = qimg::Source::OpenFile(dir_ + "/cm2.tif");
  qimg::Info info;
  ASSERT_TRUE(qimg::GetTIFFDims(*src, info));
  EXPECT_EQ(info.bitsPerPixel, 24u);
  EXPECT_EQ(info.resUnit, 3);
}

TEST_F(TiffCodec, CompressedWriterOptionsRoundTrip) {
  CISImageEx im, back;
  MakeTestPicture(im, 200, 90, 7);
  for (uint32_t option : {5u, 8u}) {
    auto dest = qimg::Dest::ToMemory();
    qimg::WriteImage w{im.Pixels(), im.m_width, im.m_height, im.RowBytes(), 24, nullptr};
    ASSERT_EQ(qimg::WriteTIFF(*dest, w, option, {72, 72, 2}), qimg::kOk);
    const std::string& bytes = dest->Memory();
    auto src = qimg::Source::FromMemory(bytes.data(), bytes.size());
    qimg::Decoded d;
    ASSERT_EQ(qimg::ReadTIFF(*src, 24, d), qimg::kOk);
    EXPECT_EQ(std::memcmp(d.pixels.get(), im.Pixels(), size_t{im.RowBytes()} * im.m_height), 0);
  }
}

// Compression codes: 1 none, 5 LZW, 8 deflate.
TEST(TiffWriter, BigTiffWhereClassicOffsetsCouldOverflow) {
  EXPECT_FALSE(qimg::WritesBigTIFF(0xF0000000ull, 1));
  EXPECT_TRUE(qimg::WritesBigTIFF(0xF0000001ull, 1));
  EXPECT_FALSE(qimg::WritesBigTIFF(0xA0000000ull, 5));  // the worst case just fits
  EXPECT_TRUE(qimg::WritesBigTIFF(0xA0000002ull, 5));
  EXPECT_TRUE(qimg::WritesBigTIFF(0xC0000000ull, 8));
  EXPECT_FALSE(qimg::WritesBigTIFF(1u << 20, 8));
}

TEST_F(TiffCodec, TruncatedAndLyingFilesFail) {
  for (const char* options :
       {"-depth 8", "-depth 8 -compress LZW", "-monochrome -compress Group4"}) {
    std::string f = Make("t.tif", options);
    auto bytes = ReadFileBytes(f);
    for (size_t cut : {size_t{4}, size_t{9}, bytes.size() / 3, bytes.size() / 2}) {
      auto src = qimg::Source::FromMemory(bytes.data(), cut);
      for (uint32_t bpp : {1u, 8u, 24u, 32u}) {
        qimg::Decoded d;
        uint32_t r = qimg::ReadTIFF(*src, bpp, d);
        EXPECT_TRUE(r != qimg::kOk && !d.pixels) << options << " cut " << cut << " bpp " << bpp;
      }
    }
  }
  // Uncompressed headers claiming far more pixels than the file holds.
  for (uint32_t side : {60000u, 30000u, 2000u}) {
    auto lying = MinimalTiff(side, side);
    auto src = qimg::Source::FromMemory(lying.data(), lying.size());
    qimg::Decoded d;
    EXPECT_NE(qimg::ReadTIFF(*src, 24, d), qimg::kOk) << side;
    EXPECT_FALSE(d.pixels);
  }
  auto honest = MinimalTiff(2, 2);
  auto src = qimg::Source::FromMemory(honest.data(), honest.size());
  qimg::Decoded d;
  EXPECT_EQ(qimg::ReadTIFF(*src, 24, d), qimg::kOk);
}

}  // namespace
