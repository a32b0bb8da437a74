#include <gtest/gtest.h>

#include <cmath>

#include "CodecTestUtil.h"
#include "image/codecs/Pcd.h"

using namespace codec_test;

namespace {

// ImageMagick's first scene of a PhotoCD file is the smallest image, so its
// full decoding is asked for without a scene number.
bool MagickDecodeBase(const std::string& path, uint32_t w, uint32_t h, std::string& raw) {
  return Sh("convert " + ShellQuote(path) + " -depth 8 rgb:-", &raw) == 0 &&
         raw.size() == size_t{w} * h * 3;
}

TEST(Pcd, LoadsImageMagickFilesInBothOrientations) {
  REQUIRE_CONVERT();
  std::string dir = testing_support::TempDir();
  struct Case {
    uint32_t w, h;
  };
  for (Case c : {Case{768, 512}, Case{512, 768}}) {
    std::string path = dir + "/p" + std::to_string(c.w) + ".pcd";
    // A picture with colour edges, smooth areas and highlights.
    ASSERT_TRUE(Convert("-seed 3 -size " + std::to_string(c.w) + "x" + std::to_string(c.h) +
                            " plasma:fractal -fill white -draw 'rectangle 10,10 90,60'",
                        "", path));
    EXPECT_EQ(DetectBytesFile(path), kFilePCD);
    CISImageEx ours;
    ASSERT_EQ(ours.Load(path), 0u);
    ASSERT_EQ(ours.m_width, c.w);
    ASSERT_EQ(ours.m_height, c.h);
    std::string raw;
    ASSERT_TRUE(MagickDecodeBase(path, c.w, c.h, raw));
    // Chroma upsampling and the YCC conversion agree up to rounding; only
    // ImageMagick's highlight curve bends values near white a little.
    double sum = 0;
    int worst = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
      int d = std::abs(int(ours.Pixels()[i]) - int(uint8_t(raw[i])));
      sum += d;
      worst = std::max(worst, d);
    }
    EXPECT_LE(worst, 8);
    EXPECT_LT(sum / double(raw.size()), 0.5);
    auto src = qimg::Source::OpenFile(path);
    qimg::Info info;
    ASSERT_TRUE(qimg::GetPCDDims(*src, info));
    EXPECT_EQ(info.width, c.w);
  }
}

TEST(Pcd, BadInputFailsCleanly) {
  // Signature and orientation present, image data missing or cut short.
  std::vector<uint8_t> f(0x30000 + 768 * 512 * 3 / 2, 128);
  std::copy_n("PCD_IPI", 7, f.begin() + 2048);
  f[0x0E02] = 0;
  qimg::Decoded out;
  auto src = qimg::Source::FromMemory(f.data(), f.size());
  ASSERT_EQ(qimg::ReadPCD(*src, out), 0u);
  EXPECT_EQ(out.width, 768u);
  for (size_t cut : {size_t{100}, size_t{2050}, size_t{0x0E02}, size_t{0x30000},
                     size_t{0x30000 + 1000}, f.size() - 1}) {
    auto s = qimg::Source::FromMemory(f.data(), cut);
    qimg::Decoded o;
    EXPECT_NE(qimg::ReadPCD(*s, o), 0u) << cut;
    EXPECT_FALSE(o.pixels);
  }
  f[2050] = 'X';
  auto s = qimg::Source::FromMemory(f.data(), f.size());
  EXPECT_NE(qimg::ReadPCD(*s, out), 0u);
  EXPECT_FALSE(out.pixels);
  EXPECT_FALSE(qimg::SniffPCD(f.data(), 4096));
}

}  // namespace
