#include <gtest/gtest.h>

#include "CodecTestUtil.h"
#include "image/codecs/Psd.h"

using namespace codec_test;

namespace {

const Reader kRead = [](qimg::Source& s, uint32_t bpp, qimg::Decoded& out) {
  return qimg::ReadPSD(s, bpp, out);
};

TEST(Psd, SavedFileReadsBackInImageMagick) {
  REQUIRE_CONVERT();
  for (uint32_t w : {1u, 130u, 333u}) {
    CISImageEx im, back, again;
    testing_support::MakeTestPicture(im, w, 29, 5);
    // long runs and short ones
    for (uint32_t x = 0; x < w / 2; ++x) std::fill_n(im.Pixels() + 3 * x, 3, uint8_t(7));
    std::string path = testing_support::TempDir() + "/w.psd";
    ASSERT_EQ(im.SaveFile(path, kFilePSD), 0u);
    ASSERT_TRUE(MagickDecode(path, back));
    EXPECT_EQ(MaxDifference(im, back), 0);
    ASSERT_EQ(again.Load(path), 0u);
    EXPECT_EQ(MaxDifference(im, again), 0);
    EXPECT_EQ(DetectBytesFile(path), kFilePSD);
  }
}

// Raw composite of a small picture: header, empty sections, compression 0.
std::vector<uint8_t> Psd(uint32_t channels, uint32_t w, uint32_t h, uint32_t depth, uint32_t mode,
                         const std::vector<uint8_t>& modeData, const std::vector<uint8_t>& data,
                         uint32_t compression = 0) {
  // Sized once: growing the vector piecewise trips gcc 12's -O3
  // stringop-overread false positive in the reallocation.
  const size_t modeAt = 30, dataAt = modeAt + modeData.size() + 8 + 2;
  std::vector<uint8_t> b(dataAt + data.size(), 0);
  const char signature[] = "8BPS";
  std::copy(signature, signature + 4, b.begin());
  b[5] = 1;
  b[12] = uint8_t(channels >> 8), b[13] = uint8_t(channels);
  PutBe32(b, 14, h), PutBe32(b, 18, w);
  b[23] = uint8_t(depth), b[25] = uint8_t(mode);
  PutBe32(b, 26, uint32_t(modeData.size()));
  std::copy(modeData.begin(), modeData.end(), b.begin() + long(modeAt));
  // then no resources, no layers (8 zero bytes) and the compression
  b[dataAt - 1] = uint8_t(compression);
  std::copy(data.begin(), data.end(), b.begin() + long(dataAt));
  return b;
}

TEST(Psd, BitmapModeAndPalettes) {
  // 10 x 2 bitmap: 1 is black
  auto f = Psd(1, 10, 2, 1, 0, {}, {0x80, 0x40, 0x00, 0x00});
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, f, 8, out), 0u);
  EXPECT_EQ(out.palette.count, 2u);
  EXPECT_EQ(out.pixels[0], 1);
  EXPECT_EQ(out.pixels[1], 0);
  EXPECT_EQ(out.pixels[9], 1);
  ASSERT_EQ(DecodeBytes(kRead, f, 24, out), 0u);
  EXPECT_EQ(out.pixels[0], 0);
  EXPECT_EQ(out.pixels[3], 255);
  auto src = qimg::Source::FromMemory(f.data(), f.size());
  qimg::Info info;
  ASSERT_TRUE(qimg::GetPSDDims(*src, info));
  EXPECT_EQ(info.colorType, 0);

  // indexed: palette planes R, G, B
  std::vector<uint8_t> table(768, 0);
  table[5] = 10, table[256 + 5] = 20, table[512 + 5] = 30;
  auto idx = Psd(1, 2, 1, 8, 2, table, {5, 0});
  ASSERT_EQ(DecodeBytes(kRead, idx, 24, out), 0u);
  EXPECT_EQ(out.pixels[0], 10);
  EXPECT_EQ(out.pixels[1], 20);
  EXPECT_EQ(out.pixels[2], 30);
  qimg::Palette pal;
  auto s2 = qimg::Source::FromMemory(idx.data(), idx.size());
  ASSERT_TRUE(qimg::GetPSDPalette(*s2, pal));
  EXPECT_EQ(pal.count, 256u);
  EXPECT_EQ(pal.entries[5].blue, 30);
}

TEST(Psd, BadInputFailsCleanly) {
  // 4 x 1 RGB, RLE rows: a 4-byte repeat each
  std::vector<uint8_t> rows = {0, 2, 0, 2, 0, 2, 0xFD, 1, 0xFD, 2, 0xFD, 3};
  auto good = Psd(3, 4, 1, 8, 3, {}, rows, 1);
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, good, 24, out), 0u);
  EXPECT_EQ(out.pixels[0], 1);
  EXPECT_EQ(out.pixels[11], 3);
  auto changed = [&](size_t at, uint8_t v) {
    auto b = good;
    b[at] = v;
    return b;
  };
  size_t data = good.size() - rows.size();
  CISImageEx im;
  testing_support::MakeTestPicture(im, 8, 8, 1);
  auto written = Saved(im, kFilePSD);
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  std::vector<Case> cases = {
      {"repeat past row end", changed(data + 6, 0xFC)},
      {"literal past row end", changed(data + 6, 0x04)},
      {"row shorter than the width", changed(data + 6, 0xFE)},
      {"row length past the data", changed(data + 1, 200)},
      {"huge picture in a tiny file",
       [&] {
         auto b = good;
         PutBe32(b, 18, 30000);
         PutBe32(b, 14, 30000);
         return b;
       }()},
      {"too wide for the format",
       [&] {
         auto b = good;
         PutBe32(b, 18, 300000);
         return b;
       }()},
      {"zero height",
       [&] {
         auto b = good;
         PutBe32(b, 14, 0);
         return b;
       }()},
      {"RGB with one channel", changed(13, 1)},
      {"unknown compression", changed(data - 1, 3)},
      {"big document variant", changed(5, 2)},
      {"Lab mode", changed(25, 9)},
      {"32-bit float", changed(23, 32)},
      {"short palette", Psd(1, 2, 1, 8, 2, std::vector<uint8_t>(300, 0), {5, 0})},
      {"huge raw picture", Psd(3, 20000, 20000, 8, 3, {}, {1, 2, 3})},
  };
  for (const Case& c : cases) {
    for (uint32_t bpp : {8u, 24u, 32u}) {
      qimg::Decoded o;
      EXPECT_NE(DecodeBytes(kRead, c.file, bpp, o), 0u) << c.name;
      EXPECT_FALSE(o.pixels) << c.name;
    }
  }
  ExpectTruncationsFail(kRead, written, {0, 4, 25, 26, 29, 30, 33, 37, 39, 40}, 24);
}

}  // namespace
