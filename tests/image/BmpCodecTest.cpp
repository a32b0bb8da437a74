#include <gtest/gtest.h>

#include <cmath>

#include "CodecTestUtil.h"
#include "image/codecs/Bmp.h"

using namespace codec_test;

namespace {

const Reader kRead = [](qimg::Source& s, uint32_t bpp, qimg::Decoded& out) {
  return qimg::ReadBMP(s, bpp, out);
};

// A v3 file turned top-down by hand: negative height, rows reversed.
TEST(Bmp, TopDownFileMatchesBottomUp) {
  REQUIRE_CONVERT();
  std::string dir = testing_support::TempDir();
  for (const char* opts : {"bmp3:", "-colors 100 -type Palette -compress None bmp3:"}) {
    std::string path = dir + "/up.bmp";
    std::string s = opts;
    size_t sp = s.rfind(' ');
    std::string flags = sp == std::string::npos ? "" : s.substr(0, sp);
    std::string prefix = sp == std::string::npos ? s : s.substr(sp + 1);
    ASSERT_EQ(Sh("convert " + RawPicture(dir, 29, 11, 5) + " " + flags + " " + prefix + path), 0);
    auto bytes = testing_support::ReadFileBytes(path);
    uint32_t off = qimg::codec::Le32(bytes.data() + 10);
    int32_t h = qimg::codec::Le32s(bytes.data() + 22);
    uint32_t bpp = qimg::codec::Le16(bytes.data() + 28);
    size_t stride = ((29 * bpp + 31) / 32) * 4;
    std::vector<uint8_t> flipped(bytes);
    for (int32_t y = 0; y < h; ++y)
      std::copy_n(bytes.begin() + long(off + y * stride), stride,
                  flipped.begin() + long(off + (h - 1 - y) * stride));
    PutLe32(flipped, 22, uint32_t(-h));
    std::string down = dir + "/down.bmp";
    testing_support::WriteFileBytes(down, flipped);
    CISImageEx a, b;
    ASSERT_EQ(a.Load(path), 0u);
    ASSERT_EQ(b.Load(down), 0u);
    EXPECT_EQ(MaxDifference(a, b), 0);
  }
}

TEST(Bmp, DecodesAtEachOfferedDepth) {
  REQUIRE_CONVERT();
  std::string dir = testing_support::TempDir();
  std::string mono = dir + "/m.bmp", pal = dir + "/p.bmp";
  ASSERT_EQ(Sh("convert " + RawPicture(dir, 19, 7, 2) + " -monochrome bmp3:" + mono), 0);
  ASSERT_EQ(Sh("convert " + RawPicture(dir, 19, 7, 2) + " -colors 50 bmp3:" + pal), 0);
  auto m = testing_support::ReadFileBytes(mono), p = testing_support::ReadFileBytes(pal);
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, m, 1, out), 0u);
  EXPECT_EQ(out.bitsPerPixel, 1u);
  EXPECT_EQ(out.palette.count, 2u);
  ASSERT_EQ(DecodeBytes(kRead, p, 8, out), 0u);
  EXPECT_EQ(out.bitsPerPixel, 8u);
  EXPECT_GE(out.palette.count, 2u);
  uint32_t count = out.palette.count;
  // 1-bit output exists only for 1-bit files, 8-bit only for palette files.
  EXPECT_EQ(DecodeBytes(kRead, p, 1, out), qimg::kErrUnsupported);
  EXPECT_FALSE(out.pixels);
  qimg::Palette palette;
  auto src = qimg::Source::FromMemory(p.data(), p.size());
  ASSERT_TRUE(qimg::GetBMPPalette(*src, palette));
  EXPECT_EQ(palette.count, count);
}

TEST(Bmp, SavedFileReadsBackInImageMagickWithResolution) {
  REQUIRE_CONVERT();
  std::string dir = testing_support::TempDir();
  CISImageEx im, back;
  testing_support::MakeTestPicture(im, 53, 31, 9);
  im.m_resolutionX = 72, im.m_resolutionY = 72, im.m_resolutionUnit = 2;
  std::string path = dir + "/w.bmp";
  ASSERT_EQ(im.SaveFile(path, kFileBMP), 0u);
  ASSERT_TRUE(MagickDecode(path, back));
  EXPECT_EQ(MaxDifference(im, back), 0);
  std::string res;
  ASSERT_EQ(Sh("identify -format '%x %y %U' " + path, &res), 0);
  double x = 0, y = 0;
  char unit[64] = {};
  ASSERT_EQ(std::sscanf(res.c_str(), "%lf %lf %63s", &x, &y, unit), 3) << res;
  EXPECT_NEAR(x, 28.35, 0.01);  // 72 * 39.37 = 2834.64, rounded to 2835 per metre
  EXPECT_STREQ(unit, "PixelsPerCentimeter");
  // and our own reader gives it back as per centimetre
  CISImageEx again;
  ASSERT_EQ(again.Load(path), 0u);
  EXPECT_EQ(again.m_resolutionUnit, 3u);
  EXPECT_EQ(again.m_resolutionX, 28);
  EXPECT_EQ(MaxDifference(im, again), 0);
}

TEST(Bmp, NoResolutionGivesUnitCodeOtherThanMetric) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 4, 4, 1);  // never loaded: 300 x 300, unit 1 -> record 0
  auto bytes = Saved(im, kFileBMP);
  auto src = qimg::Source::FromMemory(bytes.data(), bytes.size());
  qimg::Info info;
  ASSERT_TRUE(qimg::GetBMPDims(*src, info));
  EXPECT_NE(info.resUnit, 2);
  EXPECT_EQ(info.resX, 0);
}

// Hand-built 8-bit RLE file: header, a two-entry palette, then the stream.
std::vector<uint8_t> RleFile(uint32_t w, uint32_t h, const std::vector<uint8_t>& stream,
                             uint32_t colours = 2) {
  std::vector<uint8_t> b(54 + 4 * colours, 0);
  b[0] = 'B', b[1] = 'M';
  PutLe32(b, 10, uint32_t(b.size()));
  PutLe32(b, 14, 40), PutLe32(b, 18, w), PutLe32(b, 22, h);
  PutLe16(b, 26, 1), PutLe16(b, 28, 8), PutLe32(b, 30, 1), PutLe32(b, 46, colours);
  for (uint32_t i = 0; i < colours; ++i) b[54 + 4 * i] = uint8_t(i * 200);
  for (uint8_t v : stream) b.push_back(v);
  PutLe32(b, 2, uint32_t(b.size()));
  return b;
}

TEST(Bmp, RleEscapesDecode) {
  // bottom row: run of 2 x index 1; delta (1, 1) to x = 3 of the next row; run of 1; EOB
  auto f = RleFile(4, 3, {2, 1, 0, 2, 1, 1, 1, 1, 0, 1});
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, f, 8, out), 0u);
  const uint8_t expect[12] = {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(out.pixels.get(), out.pixels.get() + 12),
            std::vector<uint8_t>(expect, expect + 12));
}

TEST(Bmp, BadInputFailsCleanly) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  std::vector<uint8_t> good = RleFile(4, 2, {4, 1, 0, 0, 4, 0, 0, 1});
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, good, 24, out), 0u);
  // A table cut short by the bits offset is fine: no colour count, two entries.
  auto implicit = good;
  PutLe32(implicit, 46, 0);
  ASSERT_EQ(DecodeBytes(kRead, implicit, 8, out), 0u);
  EXPECT_EQ(out.palette.count, 2u);
  auto patched = [&](size_t at, uint32_t v) {
    auto b = good;
    PutLe32(b, at, v);
    return b;
  };
  std::vector<Case> cases = {
      {"run past row end", RleFile(4, 2, {5, 1, 0, 1})},
      {"literal past row end", RleFile(4, 2, {0, 5, 1, 1, 1, 1, 1, 0, 0, 1})},
      {"delta past image", RleFile(4, 2, {0, 2, 0, 5, 0, 1})},
      {"run past last row", RleFile(4, 1, {4, 1, 0, 0, 4, 1, 0, 1})},
      {"index past palette", RleFile(4, 1, {4, 7, 0, 1})},
      {"stream ends early", RleFile(4, 2, {4, 1, 0, 0})},
      {"huge RLE picture in a tiny file", patched(18, 60000)},
      {"zero width", patched(18, 0)},
      {"zero height", patched(22, 0)},
      {"bad header size", patched(14, 41)},
      {"bad depth", patched(28, 7)},
      {"short palette",
       [&] {
         auto b = patched(46, 200);
         PutLe32(b, 10, 54 + 800);
         return b;
       }()},
      {"bits offset past end", patched(10, 100000)},
      {"RLE8 on 24 bits",
       [&] {
         auto b = good;
         PutLe16(b, 28, 24);
         return b;
       }()},
  };
  // Uncompressed 24-bit: huge dimensions the file cannot fill.
  CISImageEx im;
  testing_support::MakeTestPicture(im, 8, 8, 1);
  auto raw = Saved(im, kFileBMP);
  auto big = raw;
  PutLe32(big, 18, 30000), PutLe32(big, 22, 30000);
  cases.push_back({"huge raw picture", big});
  auto over = raw;
  PutLe32(over, 18, 70000), PutLe32(over, 22, 70000);
  cases.push_back({"past the block limit", over});
  for (const Case& c : cases) {
    for (uint32_t bpp : {8u, 24u}) {
      qimg::Decoded o;
      EXPECT_NE(DecodeBytes(kRead, c.file, bpp, o), 0u) << c.name;
      EXPECT_FALSE(o.pixels) << c.name;
    }
  }
  ExpectTruncationsFail(kRead, raw, {0, 2, 13, 14, 18, 30, 53}, 24);
  ExpectTruncationsFail(kRead, good, {14, 40, 54, 57, 62}, 8);
}

TEST(Bmp, DibReaderForMetafiles) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 5, 3, 4);
  auto file = Saved(im, kFileBMP);
  qimg::Decoded out;
  ASSERT_EQ(qimg::ReadDIB(file.data() + 14, file.size() - 14, nullptr, 0, out), 0u);
  ASSERT_EQ(out.width, 5u);
  EXPECT_TRUE(std::equal(im.Pixels(), im.Pixels() + 45, out.pixels.get()));
  ASSERT_EQ(qimg::ReadDIB(file.data() + 14, 40, file.data() + 54, file.size() - 54, out), 0u);
  EXPECT_TRUE(std::equal(im.Pixels(), im.Pixels() + 45, out.pixels.get()));
  EXPECT_NE(qimg::ReadDIB(file.data() + 14, 40, file.data() + 54, 20, out), 0u);
}

}  // namespace
