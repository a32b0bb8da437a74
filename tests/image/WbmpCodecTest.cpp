#include <gtest/gtest.h>

#include <random>

#include "CodecTestUtil.h"
#include "image/codecs/Wbmp.h"

using namespace codec_test;

namespace {

const Reader kRead = [](qimg::Source& s, uint32_t bpp, qimg::Decoded& out) {
  return qimg::ReadWBMP(s, bpp, out);
};

TEST(Wbmp, LoadsImageMagickFilesAndDetects) {
  REQUIRE_CONVERT();
  std::string dir = testing_support::TempDir();
  for (uint32_t w : {1u, 8u, 45u, 200u}) {  // 200: a two-byte width
    std::string path = dir + "/m" + std::to_string(w) + ".wbmp";
    ASSERT_TRUE(Convert(RawPicture(dir, w, 33, 7), "", path));
    ExpectLoadsLikeMagick(path, 0);
    EXPECT_EQ(DetectBytesFile(path), kFileWBMP);
    qimg::Decoded out;
    auto bytes = testing_support::ReadFileBytes(path);
    ASSERT_EQ(DecodeBytes(kRead, bytes, 8, out), 0u);
    EXPECT_EQ(out.palette.count, 2u);
    EXPECT_EQ(out.palette.entries[0].red, 0);
    EXPECT_EQ(out.palette.entries[1].red, 255);
  }
}

TEST(Wbmp, SavedFileReadsBackInImageMagickWithinTwoColours) {
  REQUIRE_CONVERT();
  CISImageEx im, twoTone, expect, back, again;
  testing_support::MakeTestPicture(im, 150, 21, 4);
  std::string path = testing_support::TempDir() + "/w.wbmp";
  ASSERT_EQ(im.SaveFile(path, kFileWBMP), 0u);
  ASSERT_EQ(im.ConvertToTwoTone(twoTone, 128), 0u);
  ASSERT_EQ(twoTone.ConvertTo24(expect), 0u);
  ASSERT_TRUE(MagickDecode(path, back));
  EXPECT_EQ(MaxDifference(expect, back), 0);
  ASSERT_EQ(again.Load(path), 0u);
  EXPECT_EQ(MaxDifference(expect, again), 0);
  auto bytes = testing_support::ReadFileBytes(path);
  // type 0, fixed header 0, width 150 as two 7-bit groups, height 21
  const uint8_t head[5] = {0, 0, 0x81, 0x16, 21};
  EXPECT_TRUE(std::equal(head, head + 5, bytes.begin()));
  EXPECT_EQ(bytes.size(), 5u + 19 * 21);
}

TEST(Wbmp, SniffIsStrict) {
  std::vector<uint8_t> ok = {0, 0, 10, 2, 0xFF, 0xC0, 0x00, 0x00};
  EXPECT_TRUE(qimg::SniffWBMP(ok.data(), ok.size()));
  std::vector<uint8_t> longer = ok;
  longer.push_back(0);
  EXPECT_FALSE(qimg::SniffWBMP(longer.data(), longer.size()));
  EXPECT_FALSE(qimg::SniffWBMP(ok.data(), ok.size() - 1));
  std::vector<uint8_t> ext = ok;
  ext[1] = 0x80;  // extension headers
  EXPECT_FALSE(qimg::SniffWBMP(ext.data(), ext.size()));
  std::vector<uint8_t> zero = {0, 0, 0, 2};
  EXPECT_FALSE(qimg::SniffWBMP(zero.data(), zero.size()));
  std::mt19937 rng(7);
  int claimed = 0;
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> b(size_t(8 + rng() % 4000));
    for (auto& v : b) v = uint8_t(rng());
    b[0] = 0, b[1] = 0;
    claimed += qimg::SniffWBMP(b.data(), b.size());
  }
  EXPECT_EQ(claimed, 0);
}

TEST(Wbmp, BadInputFailsCleanly) {
  std::vector<uint8_t> good = {0, 0, 10, 2, 0xFF, 0xC0, 0x00, 0x00};
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, good, 8, out), 0u);
  EXPECT_EQ(out.pixels[0], 1);
  EXPECT_EQ(out.pixels[10], 0);
  std::vector<std::vector<uint8_t>> cases = {
      {0, 0, 0x8F, 0xFF, 0xFF, 0x7F, 0x8F, 0xFF, 0xFF, 0x7F, 0},  // huge in a tiny file
      {0, 0, 0x81, 0x81, 0x81, 0x81, 0x01, 2, 0},                 // five-byte integer
      {1, 0, 10, 2, 0xFF, 0xC0, 0, 0},                            // type 1
      {0, 0, 10, 0, 0xFF},                                        // zero height
  };
  for (const auto& c : cases) {
    for (uint32_t bpp : {1u, 8u, 24u}) {
      qimg::Decoded o;
      EXPECT_NE(DecodeBytes(kRead, c, bpp, o), 0u);
      EXPECT_FALSE(o.pixels);
    }
  }
  ExpectTruncationsFail(kRead, good, {0, 1, 2, 3, 4, 5, 6, 7}, 8);
}

}  // namespace
