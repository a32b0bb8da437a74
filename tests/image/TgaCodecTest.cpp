#include <gtest/gtest.h>

#include <random>

#include "CodecTestUtil.h"
#include "image/codecs/Tga.h"

using namespace codec_test;

namespace {

const Reader kRead = [](qimg::Source& s, uint32_t bpp, qimg::Decoded& out) {
  return qimg::ReadTGA(s, bpp, out);
};

// Uncompressed 24-bit file with its pixels laid out for the given origin bits.
std::vector<uint8_t> WithOrigin(const std::vector<uint8_t>& topDown, uint32_t w, uint32_t h,
                                uint8_t origin) {
  std::vector<uint8_t> out(topDown.begin(), topDown.begin() + 18);
  out[17] = origin;
  for (uint32_t i = 0; i < h; ++i) {
    uint32_t y = (origin & 0x20) ? i : h - 1 - i;
    for (uint32_t j = 0; j < w; ++j) {
      uint32_t x = (origin & 0x10) ? w - 1 - j : j;
      const uint8_t* p = topDown.data() + 18 + (size_t{y} * w + x) * 3;
      out.insert(out.end(), p, p + 3);
    }
  }
  return out;
}

TEST(Tga, AllFourOriginsGiveTheSamePicture) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 13, 7, 2);
  auto file = Saved(im, kFileTGA);  // our writer: top-left origin
  ASSERT_EQ(file[17] & 0x30, 0x20);
  for (uint8_t origin : {0x00, 0x10, 0x20, 0x30}) {
    auto f = WithOrigin(file, 13, 7, origin);
    qimg::Decoded out;
    ASSERT_EQ(DecodeBytes(kRead, f, 24, out), 0u) << int(origin);
    EXPECT_TRUE(std::equal(im.Pixels(), im.Pixels() + 13 * 7 * 3, out.pixels.get())) << int(origin);
  }
}

TEST(Tga, SixteenBitPixelsAndColourMapOffsets) {
  // 2 x 1, 16-bit: pure red (31, 0, 0) and a mid grey (16, 16, 16)
  std::vector<uint8_t> f = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 16, 0x20};
  uint16_t red = 31 << 10, grey = (16 << 10) | (16 << 5) | 16;
  f.insert(f.end(), {uint8_t(red), uint8_t(red >> 8), uint8_t(grey), uint8_t(grey >> 8)});
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, f, 24, out), 0u);
  const uint8_t expect[6] = {255, 0, 0, 132, 132, 132};
  EXPECT_TRUE(std::equal(expect, expect + 6, out.pixels.get()));
  auto src = qimg::Source::FromMemory(f.data(), f.size());
  qimg::Info info;
  ASSERT_TRUE(qimg::GetTGADims(*src, info));
  EXPECT_EQ(info.bitsPerPixel, 16u);

  // Colour map starting at entry 5 with two 24-bit entries; pixels 5 and 6.
  std::vector<uint8_t> m = {0, 1, 1, 5, 0, 2, 0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20};
  m.insert(m.end(), {10, 20, 30, 40, 50, 60, 6, 5});
  ASSERT_EQ(DecodeBytes(kRead, m, 8, out), 0u);
  EXPECT_EQ(out.palette.count, 7u);
  EXPECT_EQ(out.pixels[0], 6);
  EXPECT_EQ(out.palette.entries[5].red, 30);
  ASSERT_EQ(DecodeBytes(kRead, m, 24, out), 0u);
  const uint8_t rgb[6] = {60, 50, 40, 30, 20, 10};
  EXPECT_TRUE(std::equal(rgb, rgb + 6, out.pixels.get()));
  m[m.size() - 2] = 7;  // past the map
  EXPECT_NE(DecodeBytes(kRead, m, 8, out), 0u);
  EXPECT_FALSE(out.pixels);
}

// Grey with alpha, 16 bits per pixel: a grey byte, then an alpha byte. Built
// here byte by byte, as no reference writer produces it reliably.
TEST(Tga, GreyWithAlphaLoadsAsGreyInAllOriginsRawAndRle) {
  constexpr uint32_t w = 4, h = 2;
  // Top row first, as shown.
  const uint8_t grey[h][w] = {{50, 50, 50, 9}, {200, 0, 128, 255}};
  const uint8_t alpha[h][w] = {{255, 255, 255, 0}, {7, 255, 128, 0}};
  for (uint8_t type : {3, 11})
    for (uint8_t origin : {0x00, 0x10, 0x20, 0x30}) {
      SCOPED_TRACE("type " + std::to_string(type) + " origin " + std::to_string(origin));
      std::vector<uint8_t> stored;  // pixel pairs in file order
      for (uint32_t i = 0; i < h; ++i) {
        uint32_t y = (origin & 0x20) ? i : h - 1 - i;
        for (uint32_t j = 0; j < w; ++j) {
          uint32_t x = (origin & 0x10) ? w - 1 - j : j;
          stored.insert(stored.end(), {grey[y][x], alpha[y][x]});
        }
      }
      std::vector<uint8_t> f = {0, 0, type, 0, 0, 0, 0, 0,  0,
                                0, 0, 0,    w, 0, h, 0, 16, uint8_t(origin | 8)};
      if (type == 3) {
        for (uint8_t b : stored) f.push_back(b);
      } else {
        // Runs of equal pairs as repeat packets, the rest as literal packets;
        // packets run on across rows.
        for (size_t i = 0; i < stored.size();) {
          size_t run = 1;
          while (i + 2 * run < stored.size() && stored[i + 2 * run] == stored[i] &&
                 stored[i + 2 * run + 1] == stored[i + 1])
            ++run;
          if (run > 1) {
            f.insert(f.end(), {uint8_t(0x80 | (run - 1)), stored[i], stored[i + 1]});
          } else {
            f.insert(f.end(), {0, stored[i], stored[i + 1]});
          }
          i += 2 * run;
        }
      }
      qimg::Decoded out;
      ASSERT_EQ(DecodeBytes(kRead, f, 24, out), 0u);
      ASSERT_EQ(out.width, w);
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
          for (int c = 0; c < 3; ++c)
            EXPECT_EQ(out.pixels[(y * w + x) * 3 + c], grey[y][x]) << x << "," << y;
    }

  // Through detection and the image buffer: a 16-bit grey file is a 24-bit picture.
  std::vector<uint8_t> f = {0, 0, 3, 0, 0, 0,  0,    0,  0,   0,   0,
                            0, 2, 0, 1, 0, 16, 0x28, 30, 255, 220, 0};
  const std::string path = testing_support::TempDir() + "/grey_alpha.tga";
  testing_support::WriteFileBytes(path, f);
  EXPECT_EQ(DetectBytesFile(path), kFileTGA);
  CISImageEx im;
  ASSERT_EQ(im.Load(path), 0u);
  ASSERT_EQ(im.m_bitsPerPixel, 24u);
  const uint8_t rgb[6] = {30, 30, 30, 220, 220, 220};
  EXPECT_TRUE(std::equal(rgb, rgb + 6, im.Pixels()));
}

TEST(Tga, SavedFileReadsBackInImageMagick) {
  REQUIRE_CONVERT();
  CISImageEx im, back;
  testing_support::MakeTestPicture(im, 41, 27, 3);
  std::string path = testing_support::TempDir() + "/w.tga";
  ASSERT_EQ(im.SaveFile(path, kFileTGA), 0u);
  ASSERT_TRUE(MagickDecode(path, back));
  EXPECT_EQ(MaxDifference(im, back), 0);
  CISImageEx again;
  ASSERT_EQ(again.Load(path), 0u);
  EXPECT_EQ(MaxDifference(im, again), 0);
  EXPECT_EQ(DetectBytesFile(path), kFileTGA);
}

TEST(Tga, BadInputFailsCleanly) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 8, 8, 1);
  auto raw = Saved(im, kFileTGA);
  // RLE, 4 x 2 grey: one run covering row 0, literal packet for row 1
  std::vector<uint8_t> rle = {0, 0, 11, 0, 0,    0,    0, 0,    0, 0, 0, 0, 4,
                              0, 2, 0,  8, 0x20, 0x83, 9, 0x03, 1, 2, 3, 4};
  qimg::Decoded out;
  ASSERT_EQ(DecodeBytes(kRead, rle, 8, out), 0u);
  auto with = [](std::vector<uint8_t> b, size_t at, uint8_t v) {
    b[at] = v;
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  std::vector<Case> cases = {
      {"run past image end", with(rle, 20, 0x04)},
      {"repeat past image end", with(rle, 18, 0x88)},
      {"huge RLE picture in a tiny file", with(rle, 13, 0x40)},
      {"past the block limit", with(with(rle, 13, 0xFF), 15, 0xFF)},
      {"huge raw picture", with(with(raw, 13, 0xFF), 15, 0xFF)},
      {"zero width", with(with(raw, 12, 0), 13, 0)},
      {"bad type", with(raw, 2, 4)},
      {"bad depth", with(raw, 16, 12)},
      {"colour map on a grey file without entries", with(rle, 1, 1)},
      {"interleaved", with(raw, 17, 0x60)},
  };
  for (const Case& c : cases) {
    for (uint32_t bpp : {8u, 24u, 32u}) {
      qimg::Decoded o;
      EXPECT_NE(DecodeBytes(kRead, c.file, bpp, o), 0u) << c.name;
      EXPECT_FALSE(o.pixels) << c.name;
    }
  }
  ExpectTruncationsFail(kRead, raw, {0, 3, 12, 17}, 24);
  ExpectTruncationsFail(kRead, rle, {18, 19, 20, 22}, 8);
}

TEST(Tga, RandomDataIsNotClaimed) {
  std::mt19937 rng(42);
  int claimed = 0;
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> b(size_t(100 + rng() % 4000));
    for (auto& v : b) v = uint8_t(rng());
    // Only the first bytes matter to the sniff; give it plausible leading zeros half the time.
    if (i % 2) b[0] = 0, b[1] = 0;
    claimed += qimg::SniffTGA(b.data(), b.size());
  }
  EXPECT_EQ(claimed, 0);
}

}  // namespace
