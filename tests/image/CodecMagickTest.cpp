// Files ImageMagick writes in each layout of our own codecs' formats load as
// ImageMagick decodes them, and detect as the decode path they take.
#include <gtest/gtest.h>

#include "CodecTestUtil.h"

using namespace codec_test;

namespace {

struct Layout {
  const char* name;     // also the file's stem
  const char* ext;      // the format's extension
  const char* options;  // ImageMagick options; a last word ending in ':' is the output prefix
  uint32_t code;        // detected file type
  int tolerance;
  uint32_t width = 45;      // odd widths pad each line
  const char* magick = "";  // options of ImageMagick's reference decoding
  uint32_t probedBpp = 0;   // bits per pixel the header probe reports (0: not checked)
  bool ppmReference = false;
};

// ImageMagick 6 stores a TGA's top row first yet marks the file bottom-left;
// -auto-orient applies the origin bits as the format defines them, as we do.
constexpr const char* kTgaOrient = "-auto-orient";

const Layout kLayouts[] = {
    {"v3_24", "bmp", "bmp3:", kFileBMP, 0, 61, "", 24},
    {"core_24", "bmp", "bmp2:", kFileBMP, 0, 61, "", 24},
    {"v5_24", "bmp", "bmp:", kFileBMP, 0, 61, "", 24},
    {"v5_32_bitfields", "bmp", "-alpha set bmp:", kFileBMP, 0, 61, "", 32},
    {"v3_32", "bmp", "-alpha set -define bmp3:alpha=true bmp3:", kFileBMP, 0, 61, "", 32},
    {"v5_16_565", "bmp", "-define bmp:subtype=RGB565 bmp:", kFileBMP, 1, 61, "", 16},
    {"rle8", "bmp", "-colors 100 -type Palette -compress RLE bmp3:", kFileBMP8, 0, 61, "", 8},
    {"raw8", "bmp", "-colors 100 -type Palette -compress None bmp3:", kFileBMP8, 0, 61, "", 8},
    {"raw4", "bmp", "-colors 12 -type Palette -compress None bmp3:", kFileBMP8, 0, 61, "", 4},
    {"core4", "bmp", "-colors 12 -type Palette bmp2:", kFileBMP8, 0, 61, "", 4},
    {"mono", "bmp", "-monochrome bmp3:", kFileBMP1, 0, 61, "", 1},
    {"pcx_rgb24", "pcx", "", kFilePCX, 0},
    {"pcx_rgb24_even", "pcx", "", kFilePCX, 0, 46},
    {"pcx_palette8", "pcx", "-colors 200 -type Palette", kFilePCX8, 0},
    {"pcx_palette8_even", "pcx", "-colors 200 -type Palette", kFilePCX8, 0, 46},
    // ImageMagick writes these two as three 8-bit planes
    {"pcx_grey", "pcx", "-type Grayscale", kFilePCX, 0},
    {"pcx_grey_even", "pcx", "-type Grayscale", kFilePCX, 0, 46},
    {"pcx_bilevel", "pcx", "-type Bilevel", kFilePCX, 0},
    {"pcx_bilevel_even", "pcx", "-type Bilevel", kFilePCX, 0, 46},
    // ImageMagick 6 cannot read back its own indexed PSD files: a PPM written
    // by the same conversion is the reference picture.
    {"rgb8_rle", "psd", "-compress RLE", kFilePSD, 0, 45, "", 0, true},
    {"rgb8_raw", "psd", "-compress None", kFilePSD, 0, 45, "", 0, true},
    {"rgb16", "psd", "-depth 16", kFilePSD, 0, 45, "", 0, true},
    {"rgb16_raw", "psd", "-depth 16 -compress None", kFilePSD, 0, 45, "", 0, true},
    {"grey8", "psd", "-type Grayscale", kFilePSD8, 0, 45, "", 0, true},
    {"grey16", "psd", "-type Grayscale -depth 16", kFilePSD8, 1, 45, "", 0, true},  // rounded
    {"indexed", "psd", "-colors 200 -type Palette", kFilePSD8, 0, 45, nullptr, 0, true},
    {"cmyk8", "psd", "-colorspace CMYK", kFilePSD, 1, 45, "", 0, true},
    {"cmyk16", "psd", "-colorspace CMYK -depth 16", kFilePSD, 1, 45, "", 0, true},
    {"cmyk8_raw", "psd", "-colorspace CMYK -compress None", kFilePSD, 1, 45, "", 0, true},
    {"raw24", "tga", "", kFileTGA, 0, 45, kTgaOrient},
    {"rle24", "tga", "-compress RLE", kFileTGA, 0, 45, kTgaOrient},
    {"mapped", "tga", "-colors 200 -type Palette", kFileTGA8, 0, 45, kTgaOrient},
    {"mapped_rle", "tga", "-colors 200 -type Palette -compress RLE", kFileTGA8, 0, 45, kTgaOrient},
    {"grey", "tga", "-type Grayscale", kFileTGA8, 0, 45, kTgaOrient},
    {"grey_rle", "tga", "-type Grayscale -compress RLE", kFileTGA8, 0, 45, kTgaOrient},
    {"raw32", "tga", "-alpha set", kFileTGA32, 0, 45, kTgaOrient},
    {"rle32", "tga", "-alpha set -compress RLE", kFileTGA32, 0, 45, kTgaOrient},
};

void PrintTo(const Layout& layout, std::ostream* os) { *os << layout.name; }

class CodecMagick : public ::testing::TestWithParam<Layout> {};

TEST_P(CodecMagick, LoadsLikeImageMagickAndDetects) {
  REQUIRE_CONVERT();
  const Layout& v = GetParam();
  const bool bmp = std::string(v.ext) == "bmp";
  const uint32_t height = bmp ? 37 : 33;
  const std::string dir = testing_support::TempDir();
  const std::string path = dir + "/" + v.name + "." + v.ext;
  std::string flags = v.options, prefix;
  const size_t space = flags.rfind(' ');
  if (!flags.empty() && flags.back() == ':') {
    prefix = space == std::string::npos ? flags : flags.substr(space + 1);
    flags = space == std::string::npos ? "" : flags.substr(0, space);
  }
  std::string command = "convert " + RawPicture(dir, v.width, height, bmp ? 3 : 7) + " " + flags;
  const std::string ref = dir + "/" + v.name + ".ppm";
  if (v.ppmReference)
    command += " +write " + ShellQuote(path) + " -colorspace sRGB " + ShellQuote(ref);
  else
    command += " " + ShellQuote(prefix + path) + " 2>/dev/null";
  ASSERT_EQ(Sh(command), 0);
  if (v.ppmReference) {
    CISImageEx ours, theirs;
    ASSERT_EQ(ours.Load(path), 0u);
    ASSERT_TRUE(MagickDecode(ref, theirs));
    EXPECT_LE(MaxDifference(ours, theirs), v.tolerance);
    EXPECT_GE(MaxDifference(ours, theirs), 0);
  }
  if (v.magick) ExpectLoadsLikeMagick(path, v.tolerance, v.magick);
  EXPECT_EQ(DetectBytesFile(path), v.code);
  if (v.probedBpp) {
    auto src = qimg::Source::OpenFile(path);
    qimg::Info info;
    ASSERT_TRUE(qimg::FormatOfCode(v.code)->probe(*src, info));
    EXPECT_EQ(info.bitsPerPixel, v.probedBpp);
    EXPECT_EQ(info.width, v.width);
    EXPECT_EQ(info.height, height);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CodecMagick, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
