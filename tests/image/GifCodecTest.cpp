// GIF: the Go project's GIFs and ImageMagick's against ImageMagick's decoding,
// first frame on the logical screen, our writer read back, broken files.
#include <gtest/gtest.h>

#include <filesystem>

#include "image/codecs/Gif.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

int Shell(const std::string& command, std::string* output = nullptr) {
  return testing_support::Run(command, output);
}

TEST(GifCodec, CorpusAndMagickGifsMatchMagickDecoding) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  std::vector<std::string> files = CorpusFiles("go-image", ".gif");
  std::string dir = TempDir();
  ASSERT_EQ(Shell("convert -size 123x77 plasma:fractal -seed 2 " + ShellQuote(dir + "/p.gif")), 0);
  ASSERT_EQ(Shell("convert -size 40x30 gradient:red-blue -colors 5 " + ShellQuote(dir + "/g.gif")),
            0);
  // Two frames: only the first counts.
  ASSERT_EQ(Shell("convert -delay 10 -size 64x48 xc:navy gradient:yellow-green " +
                  ShellQuote(dir + "/anim.gif")),
            0);
  files.insert(files.end(), {dir + "/p.gif", dir + "/g.gif", dir + "/anim.gif"});
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    auto src = qimg::Source::OpenFile(f);
    ASSERT_TRUE(src);
    CISImageEx ours, theirs;
    EXPECT_EQ(ours.DetectFileType(*src, f), kFileGIF);
    ASSERT_EQ(ours.Load(f), kISOk);
    ASSERT_TRUE(MagickDecode(f, theirs));
    EXPECT_EQ(MaxDifference(ours, theirs), 0);
  }
}

// Black lines on a transparent white index: the transparent pixels keep their
// palette colour (white), as ImageMagick's -alpha off decoding shows them.
TEST(GifCodec, TransparentPixelsKeepTheirPaletteColour) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  const std::string f = TempDir() + "/lines.gif";
  ASSERT_EQ(Shell("convert -size 40x30 xc:white +antialias -fill black -draw 'line 0,0 39,29' "
                  "-draw 'line 0,29 39,0' -transparent white -transparent-color white " +
                  ShellQuote(f)),
            0);
  std::vector<uint8_t> bytes = ReadFileBytes(f);
  ASSERT_GT(bytes.size(), 19u);
  // ImageMagick names the transparent index as the screen's background; many
  // writers leave 0 (black here) there, which is what made such drawings load
  // as solid black. Point it at black so the test tells the two apart.
  const std::vector<uint8_t> palette = {0, 0, 0, 255, 255, 255};
  ASSERT_TRUE(std::equal(palette.begin(), palette.end(), bytes.begin() + 13));
  bytes[11] = 0;
  ASSERT_TRUE(WriteFileBytes(f, bytes));
  CISImageEx ours, theirs;
  ASSERT_EQ(ours.Load(f), kISOk);
  ASSERT_TRUE(MagickDecode(f, theirs));
  EXPECT_EQ(MaxDifference(ours, theirs), 0);
  size_t white = 0, black = 0;
  for (size_t i = 0; i < size_t{40} * 30; ++i) {
    const uint8_t* p = ours.Pixels() + 3 * i;
    white += p[0] == 255 && p[1] == 255 && p[2] == 255;
    black += p[0] == 0 && p[1] == 0 && p[2] == 0;
  }
  EXPECT_EQ(white + black, size_t{40} * 30);
  EXPECT_GT(white, 1000u);
  EXPECT_GT(black, 50u);
  EXPECT_LT(black, 120u);
}

TEST(GifCodec, PaletteCountFollowsProbeDepth) {
  std::string f = CorpusFile("go-image/video-001.5bpp.gif");
  auto src = qimg::Source::OpenFile(f);
  ASSERT_TRUE(src);
  qimg::Info info;
  ASSERT_TRUE(qimg::GetGIFDims(*src, info));
  EXPECT_EQ(info.bitsPerPixel, 5u);
  qimg::Decoded d;
  ASSERT_EQ(qimg::ReadGIF(*src, 8, d), qimg::kOk);
  EXPECT_EQ(d.palette.count, 32u);
  EXPECT_NE(qimg::ReadGIF(*src, 24, d), qimg::kOk);
}

std::string WriteSmallGif(uint32_t w, uint32_t h) {
  std::vector<uint8_t> pixels(size_t{w} * h);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(1 + i % 3);
  qimg::Palette pal;
  pal.count = 4;
  pal.entries[0] = {0, 0, 0, 0};
  pal.entries[1] = {0, 0, 255, 0};
  pal.entries[2] = {0, 255, 0, 0};
  pal.entries[3] = {255, 0, 0, 0};
  auto dest = qimg::Dest::ToMemory();
  qimg::WriteImage im{pixels.data(), w, h, w, 8, &pal};
  EXPECT_EQ(qimg::WriteGIF(*dest, im), qimg::kOk);
  return dest->Memory();
}

TEST(GifCodec, FrameIsClippedToTheScreen) {
  std::string bytes = WriteSmallGif(10, 10);
  // Image descriptor after the 13-byte header and the 4-entry global map:
  // move the frame to (5, 5) so that three quarters of it lie off screen.
  size_t at = 13 + 12;
  ASSERT_EQ(bytes[at], ',');
  bytes[at + 1] = 5;
  bytes[at + 3] = 5;
  auto src = qimg::Source::FromMemory(bytes.data(), bytes.size());
  qimg::Decoded d;
  ASSERT_EQ(qimg::ReadGIF(*src, 8, d), qimg::kOk);
  ASSERT_EQ(d.width, 10u);
  EXPECT_EQ(d.pixels[0], 0);           // background
  EXPECT_EQ(d.pixels[4 * 10 + 9], 0);  // still background
  EXPECT_EQ(d.pixels[5 * 10 + 5], 1);  // frame pixel (0, 0)
  EXPECT_EQ(d.pixels[6 * 10 + 5], 2);  // frame pixel (0, 1) = 1 + 10 % 3
  EXPECT_EQ(d.pixels[9 * 10 + 9], uint8_t(1 + (4 * 10 + 4) % 3));
}

TEST(GifCodec, SavedFileReadsBackInImageMagick) {
  if (!HaveProgram("convert"))
    FAIL() << "ImageMagick's convert is needed (tools/install-deps.sh installs it)";
  CISImageEx im;
  MakeTestPicture(im, 257, 131, 3);
  std::string f = TempDir() + "/out.gif";
  ASSERT_EQ(im.SaveFile(f, kFileGIF), kISOk);
  CISImageEx ours, theirs;
  ASSERT_EQ(ours.Load(f), kISOk);
  ASSERT_TRUE(MagickDecode(f, theirs));
  EXPECT_EQ(MaxDifference(ours, theirs), 0);
  // Within what a 256-colour palette can hold of the picture.
  size_t n = size_t{im.RowBytes()} * im.m_height;
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += std::abs(int(im.Pixels()[i]) - int(ours.Pixels()[i]));
  EXPECT_LT(sum / double(n), 12.0);
}

TEST(GifCodec, TruncatedAndLyingFilesFail) {
  std::string bytes = WriteSmallGif(40, 30);
  for (size_t cut :
       {size_t{3}, size_t{10}, size_t{13}, size_t{30}, bytes.size() / 2, bytes.size() - 3}) {
    auto src = qimg::Source::FromMemory(bytes.data(), cut);
    qimg::Decoded d;
    EXPECT_NE(qimg::ReadGIF(*src, 8, d), qimg::kOk) << cut;
    EXPECT_FALSE(d.pixels);
  }
  // A 65535 x 65535 screen in a file of a few dozen bytes.
  std::string lying = bytes;
  lying[6] = lying[7] = lying[8] = lying[9] = char(0xFF);
  auto src = qimg::Source::FromMemory(lying.data(), lying.size());
  qimg::Decoded d;
  EXPECT_NE(qimg::ReadGIF(*src, 8, d), qimg::kOk);
  lying[8] = char(0x00), lying[9] = char(0x70);  // 65535 x 28672: below 2^32, still absurd
  src = qimg::Source::FromMemory(lying.data(), lying.size());
  EXPECT_NE(qimg::ReadGIF(*src, 8, d), qimg::kOk);
  EXPECT_FALSE(d.pixels);
}

}  // namespace
