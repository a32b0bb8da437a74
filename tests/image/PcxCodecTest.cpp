#include <gtest/gtest.h>

#include "CodecTestUtil.h"
#include "image/codecs/Pcx.h"

using namespace codec_test;

namespace {

const Reader kRead = [](qimg::Source& s, uint32_t bpp, qimg::Decoded& out) {
  return qimg::ReadPCX(s, bpp, out);
};

TEST(Pcx, SavedFileReadsBackInImageMagick) {
  REQUIRE_CONVERT();
  for (uint32_t w : {1u, 41u, 300u}) {
    CISImageEx im, back, again;
    testing_support::MakeTestPicture(im, w, 27, 3);
    std::string path = testing_support::TempDir() + "/w.pcx";
    ASSERT_EQ(im.SaveFile(path, kFilePCX), 0u);
    ASSERT_TRUE(MagickDecode(path, back));
    EXPECT_EQ(MaxDifference(im, back), 0);
    ASSERT_EQ(again.Load(path), 0u);
    EXPECT_EQ(MaxDifference(im, again), 0);
    auto bytes = testing_support::ReadFileBytes(path);
    EXPECT_EQ(bytes[65], 3);  // three planes
    EXPECT_EQ(bytes[2], 1);   // RLE
  }
}

TEST(Pcx, WriterTakesResolutionFromTheRecord) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 5, 5, 1);
  auto dest = qimg::Dest::ToMemory();
  qimg::WriteImage w{im.Pixels(), 5, 5, im.RowBytes(), 24, nullptr};
  ASSERT_EQ(qimg::WritePCX(*dest, w, {150, 75, 2}), 0u);
  const std::string& m = dest->Memory();
  std::vector<uint8_t> b(m.begin(), m.end());
  auto src = qimg::Source::FromMemory(b.data(), b.size());
  qimg::Info info;
  ASSERT_TRUE(qimg::GetPCXDims(*src, info));
  EXPECT_EQ(info.resX, 150);
  EXPECT_EQ(info.resY, 75);
  EXPECT_EQ(info.bitsPerPixel, 24u);
}

// 4 x 2, 8 bits, one plane, RLE, with a trailing palette.
std::vector<uint8_t> EightBit(const std::vector<uint8_t>& data, bool palette = true) {
  std::vector<uint8_t> b(128, 0);
  b[0] = 0x0A, b[1] = 5, b[2] = 1, b[3] = 8;
  PutLe16(b, 8, 3), PutLe16(b, 10, 1);
  b[65] = 1;
  PutLe16(b, 66, 4);
  for (uint8_t v : data) b.push_back(v);
  if (palette) {
    b.push_back(0x0C);
    for (int i = 0; i < 768; ++i) b.push_back(uint8_t(i));
  }
  return b;
}

TEST(Pcx, PalettesAndPlanes) {
  qimg::Decoded out;
  auto f = EightBit({0xC4, 2, 1, 2, 3, 0xC1, 0xC5});
  ASSERT_EQ(DecodeBytes(kRead, f, 8, out), 0u);
  const uint8_t idx[8] = {2, 2, 2, 2, 1, 2, 3, 0xC5};
  EXPECT_TRUE(std::equal(idx, idx + 8, out.pixels.get()));
  EXPECT_EQ(out.palette.count, 256u);
  EXPECT_EQ(out.palette.entries[2].red, 6);
  EXPECT_EQ(out.palette.entries[2].blue, 8);
  // No 0x0C table: an early grey file.
  auto g = EightBit({0xC4, 2, 0xC4, 9}, false);
  ASSERT_EQ(DecodeBytes(kRead, g, 24, out), 0u);
  EXPECT_EQ(out.pixels[0], 2);
  EXPECT_EQ(out.pixels[23], 9);

  // 16 colours as four bit planes with the header palette.
  std::vector<uint8_t> p(128, 0);
  p[0] = 0x0A, p[1] = 5, p[2] = 0, p[3] = 1;
  PutLe16(p, 8, 7), PutLe16(p, 10, 0);
  for (int i = 0; i < 48; ++i) p[16 + i] = uint8_t(i * 5);
  p[65] = 4;
  PutLe16(p, 66, 2);
  // pixel 0 has all four planes set (15), pixel 1 only plane 2 (4)
  for (uint8_t v : {0x80, 0, 0x80, 0, 0xC0, 0, 0x80, 0}) p.push_back(v);
  ASSERT_EQ(DecodeBytes(kRead, p, 8, out), 0u);
  EXPECT_EQ(out.pixels[0], 15);
  EXPECT_EQ(out.pixels[1], 4);
  EXPECT_EQ(out.palette.count, 16u);
  EXPECT_EQ(out.palette.entries[15].red, 225);
}

TEST(Pcx, BadInputFailsCleanly) {
  auto good = EightBit({0xC4, 2, 0xC4, 3});
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, good, 8, out), 0u);
  auto with16 = [](std::vector<uint8_t> b, size_t at, uint32_t v) {
    PutLe16(b, at, v);
    return b;
  };
  CISImageEx im;
  testing_support::MakeTestPicture(im, 8, 8, 1);
  auto rgb = Saved(im, kFilePCX);
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  std::vector<Case> cases = {
      {"run past image end", EightBit({0xC4, 2, 0xC8, 3})},
      {"stream ends early", EightBit({0xC4, 2}, false)},
      {"huge picture in a tiny file", with16(with16(with16(good, 8, 60000), 10, 60000), 66, 60002)},
      {"max before min", with16(good, 4, 10)},
      {"line shorter than the width", with16(good, 66, 2)},
      {"unknown layout",
       [&] {
         auto b = good;
         b[3] = 3;
         return b;
       }()},
      {"bad encoding",
       [&] {
         auto b = good;
         b[2] = 7;
         return b;
       }()},
      {"huge raw picture",
       [&] {
         auto b = with16(with16(rgb, 8, 9000), 10, 9000);
         b[2] = 0;
         return with16(b, 66, 9002);
       }()},
  };
  for (const Case& c : cases) {
    for (uint32_t bpp : {8u, 24u}) {
      qimg::Decoded o;
      EXPECT_NE(DecodeBytes(kRead, c.file, bpp, o), 0u) << c.name;
      EXPECT_FALSE(o.pixels) << c.name;
    }
  }
  ExpectTruncationsFail(kRead, rgb, {0, 1, 64, 127, 128, 129}, 24);
}

}  // namespace
