#include <gtest/gtest.h>

#include <cstring>

#include "image/ISImageEx.h"

namespace {

void Fill(CISImageEx& im, uint8_t seed) {
  size_t n = size_t{im.RowBytes()} * im.m_height;
  for (size_t i = 0; i < n; ++i) im.Pixels()[i] = uint8_t(seed + i * 7);
}

TEST(ISImageEx, FreshObjectHasTheDocumentedFields) {
  CISImageEx im;
  EXPECT_FALSE(im.HasPixels());
  EXPECT_EQ(im.m_width, 0u);
  EXPECT_EQ(im.m_bitsPerPixel, 0u);
  EXPECT_TRUE(im.m_decoderOwned);
  EXPECT_EQ(im.m_wbmpThreshold, 128u);
  EXPECT_EQ(im.m_jpegQuality, 96u);
  EXPECT_EQ(im.m_tiffOption, 1u);
  EXPECT_EQ(im.m_resolutionX, 300);
  EXPECT_EQ(im.m_resolutionY, 300);
  EXPECT_EQ(im.m_resolutionUnit, 1u);
  EXPECT_EQ(im.RowBytes(), 0u);
}

TEST(ISImageEx, CreateSizesAndRefusals) {
  CISImageEx im;
  EXPECT_EQ(im.Create(0, 100, 24), kISRefused);
  EXPECT_FALSE(im.HasPixels());
  EXPECT_EQ(im.Create(3, 2, 1), kISOk);
  EXPECT_EQ(im.RowBytes(), 1u);  // 2 bytes in all
  EXPECT_EQ(im.m_paletteCount, 2u);
  EXPECT_FALSE(im.m_decoderOwned);
  EXPECT_EQ(im.Create(5, 3, 8), kISOk);
  EXPECT_EQ(im.m_paletteCount, 256u);
  EXPECT_EQ(im.Create(5, 3, 24), kISOk);
  EXPECT_EQ(im.RowBytes(), 15u);
  EXPECT_EQ(im.m_paletteCount, 0u);
  EXPECT_EQ(im.Create(5, 3, 32), kISOk);
  EXPECT_EQ(im.RowBytes(), 20u);
  // absurd sizes are refused, never wrapped around to a small block
  EXPECT_EQ(im.Create(1u << 20, 1u << 20, 24), kISRefused);
  EXPECT_EQ(im.Create(0xFFFFFFFF, 0xFFFFFFFF, 32), kISRefused);
  EXPECT_EQ(im.Create(0x2AAAAAAB, 1, 24), kISRefused);  // RowBytes would pass 2^31
  EXPECT_FALSE(im.HasPixels());
}

TEST(ISImageEx, CopyFromEmptySourceEmptiesTarget) {
  CISImageEx src, dst;
  ASSERT_EQ(dst.Create(4, 4, 24), kISOk);
  EXPECT_EQ(dst.CopyFrom(src), kISRefused);
  EXPECT_FALSE(dst.HasPixels());
}

TEST(ISImageEx, CopyFromIsDeepAndKeepsOwnSettings) {
  CISImageEx src, dst;
  ASSERT_EQ(src.Create(7, 5, 24), kISOk);
  Fill(src, 3);
  src.m_resolutionX = 72;
  src.m_resolutionUnit = 2;
  ASSERT_EQ(dst.CopyFrom(src), kISOk);
  EXPECT_NE(dst.Pixels(), src.Pixels());
  EXPECT_EQ(0, std::memcmp(dst.Pixels(), src.Pixels(), 7 * 3 * 5));
  EXPECT_EQ(dst.m_resolutionX, 300);
  EXPECT_EQ(dst.m_resolutionUnit, 1u);
}

TEST(ISImageEx, TakeOverMovesBlockAndFlag) {
  CISImageEx a;
  ASSERT_EQ(a.Create(10, 10, 24), kISOk);
  uint8_t* block = a.Pixels();
  {
    CISImageEx b;
    EXPECT_EQ(b.TakeOver(a), kISOk);
    EXPECT_FALSE(a.HasPixels());
    EXPECT_EQ(b.Pixels(), block);
    EXPECT_FALSE(b.m_decoderOwned);
    // b's destructor releases the block; a's must not (ASan would report it)
  }
  CISImageEx c;
  EXPECT_EQ(c.TakeOver(a), kISRefused);
  // a decoder block moves with its flag and is released by the decoder allocator
  qimg::Decoded d;
  d.pixels.reset(qimg::AllocBlock(12));
  d.width = 2;
  d.height = 2;
  d.bitsPerPixel = 24;
  CISImageEx dec;
  dec.AdoptDecoded(d);
  EXPECT_TRUE(dec.m_decoderOwned);
  CISImageEx moved;
  EXPECT_EQ(moved.TakeOver(dec), kISOk);
  EXPECT_TRUE(moved.m_decoderOwned);
  EXPECT_FALSE(dec.HasPixels());
}

TEST(ISImageEx, BigBlocksReleaseThroughTheirOwnAllocator) {
  CISImageEx a, b;
  ASSERT_EQ(a.Create(2048, 1024, 24), kISOk);  // a huge-page block
  Fill(a, 1);
  ASSERT_EQ(b.CopyFrom(a), kISOk);
  CISImageEx c;
  ASSERT_EQ(c.TakeOver(b), kISOk);
  c.Clear();
  EXPECT_FALSE(c.HasPixels());
  EXPECT_EQ(c.m_width, 0u);
}

TEST(ISImageEx, ResizeToOwnSizeCopies) {
  CISImageEx im;
  ASSERT_EQ(im.Create(9, 4, 24), kISOk);
  Fill(im, 9);
  std::vector<uint8_t> before(im.Pixels(), im.Pixels() + 9 * 3 * 4);
  EXPECT_EQ(im.Resize(9, 4, 17), kISOk);
  EXPECT_EQ(0, std::memcmp(before.data(), im.Pixels(), before.size()));
  CISImageEx empty;
  EXPECT_EQ(empty.Resize(3, 3, 0), kISRefused);
}

TEST(ISImageEx, ConvertTo24DropsAlphaWithoutBlending) {
  CISImageEx rgba, rgb;
  ASSERT_EQ(rgba.Create(1, 1, 32), kISOk);
  const uint8_t px[4] = {10, 20, 30, 0};
  std::memcpy(rgba.Pixels(), px, 4);
  ASSERT_EQ(rgba.ConvertTo24(rgb), kISOk);
  EXPECT_EQ(rgb.m_bitsPerPixel, 24u);
  EXPECT_EQ(rgb.Pixels()[0], 10);
  EXPECT_EQ(rgb.Pixels()[1], 20);
  EXPECT_EQ(rgb.Pixels()[2], 30);
}

TEST(ISImageEx, ConvertTo24ThroughPalettes) {
  CISImageEx eight, rgb;
  ASSERT_EQ(eight.Create(2, 1, 8), kISOk);
  eight.Pixels()[0] = 0;
  eight.Pixels()[1] = 1;
  eight.m_palette[0] = {1, 2, 3, 0};  // blue, green, red
  eight.m_palette[1] = {40, 50, 60, 0};
  ASSERT_EQ(eight.ConvertTo24(rgb), kISOk);
  const uint8_t want[6] = {3, 2, 1, 60, 50, 40};
  EXPECT_EQ(0, std::memcmp(rgb.Pixels(), want, 6));

  CISImageEx one;
  ASSERT_EQ(one.Create(10, 1, 1), kISOk);
  one.Pixels()[0] = 0xA0;  // 1 0 1 0 0 0 0 0
  one.Pixels()[1] = 0x40;  // pixel 9 set
  one.m_palette[0] = {0, 0, 0, 0};
  one.m_palette[1] = {255, 255, 255, 0};
  ASSERT_EQ(one.ConvertTo24(rgb), kISOk);
  ASSERT_EQ(rgb.m_width, 10u);
  const int set[10] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(rgb.Pixels()[x * 3], set[x] ? 255 : 0) << x;
}

TEST(ISImageEx, TwoToneHasBlackAndWhiteOnly) {
  for (uint32_t side : {1u, 3u, 64u}) {
    CISImageEx rgb, tt;
    ASSERT_EQ(rgb.Create(side, side, 24), kISOk);
    Fill(rgb, uint8_t(side));
    ASSERT_EQ(rgb.ConvertToTwoTone(tt, 128), kISOk);
    EXPECT_EQ(tt.m_paletteCount, 2u);
    EXPECT_EQ(tt.m_palette[0].red, 0);
    EXPECT_EQ(tt.m_palette[1].red, 255);
    EXPECT_EQ(tt.m_palette[1].reserved, 255);
    for (uint32_t i = 0; i < side * side; ++i) EXPECT_LE(tt.Pixels()[i], 1);
  }
  CISImageEx px, tt;
  ASSERT_EQ(px.Create(2, 1, 24), kISOk);
  const uint8_t v[6] = {0, 0, 0, 200, 200, 200};
  std::memcpy(px.Pixels(), v, 6);
  ASSERT_EQ(px.ConvertToTwoTone(tt, 128), kISOk);
  EXPECT_EQ(tt.Pixels()[0], 0);  // black stays black
  EXPECT_EQ(tt.Pixels()[1], 1);  // light grey becomes white
}

TEST(ISImageEx, ConvertTo8QuantisesToAtMost256Colours) {
  CISImageEx rgb, eight, back;
  ASSERT_EQ(rgb.Create(64, 64, 24), kISOk);
  for (int i = 0; i < 64 * 64; ++i) {
    rgb.Pixels()[i * 3] = uint8_t(i * 5);
    rgb.Pixels()[i * 3 + 1] = uint8_t(i / 16);
    rgb.Pixels()[i * 3 + 2] = uint8_t(255 - i % 251);
  }
  ASSERT_EQ(rgb.ConvertTo8(eight), kISOk);
  EXPECT_EQ(eight.m_paletteCount, 256u);
  ASSERT_EQ(eight.ConvertTo24(back), kISOk);
  int worst = 0;
  for (int i = 0; i < 64 * 64 * 3; ++i)
    worst = std::max(worst, std::abs(int(back.Pixels()[i]) - int(rgb.Pixels()[i])));
  EXPECT_LT(worst, 48);
  // a picture with few colours comes back exactly
  CISImageEx few, few8, few24;
  ASSERT_EQ(few.Create(16, 16, 24), kISOk);
  for (int i = 0; i < 256 * 3; ++i) few.Pixels()[i] = uint8_t((i / 3 % 7) * 30 + i % 3);
  ASSERT_EQ(few.ConvertTo8(few8), kISOk);
  ASSERT_EQ(few8.ConvertTo24(few24), kISOk);
  EXPECT_EQ(0, std::memcmp(few.Pixels(), few24.Pixels(), 256 * 3));
}

TEST(ISImageEx, SplitAlphaNeeds32Bits) {
  CISImageEx rgb, c, a;
  EXPECT_EQ(rgb.SplitAlpha(c, a), kISRefused);
  ASSERT_EQ(rgb.Create(2, 2, 24), kISOk);
  EXPECT_EQ(rgb.SplitAlpha(c, a), kISNot32Bit);
  CISImageEx rgba;
  ASSERT_EQ(rgba.Create(2, 1, 32), kISOk);
  const uint8_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::memcpy(rgba.Pixels(), px, 8);
  ASSERT_EQ(rgba.SplitAlpha(c, a), kISOk);
  EXPECT_EQ(a.Pixels()[0], 4);
  EXPECT_EQ(a.Pixels()[1], 8);
  EXPECT_EQ(c.Pixels()[3], 5);
}

TEST(ImageFiles, FileTypeFromExtension) {
  struct Case {
    const char* path;
    uint32_t code;
  } cases[] = {
      {"a.JPG", 0},        {"a.jpeg", 0},
      {"b/c.JPEG", 0},     {"x.bmp", 2},
      {"x.wbmp", 21},      {"x.WBM", 21},
      {"x.tga", 14},       {"x.tif", 10},
      {"x.tiff", 10},      {"x.pcx", 4},
      {"x.gif", 26},       {"x.png", 6},
      {"x.wmf", 17},       {"x.emf", 18},
      {"x.psd", 19},       {"a.tar.gz", 27},
      {"noextension", 27}, {"old.photos/file", 27},
      {"x.webp", 27},      {"", 27},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CISImageEx::FileTypeFromExtension(c.path), c.code) << c.path;
}

TEST(ImageFiles, ResolutionForWriterTable) {
  CISImageEx im;
  im.m_resolutionX = 72;
  im.m_resolutionY = 96;
  auto check = [&](uint32_t unit, uint32_t code, double x, double y, int u) {
    im.m_resolutionUnit = unit;
    qimg::ResolutionRecord r = im.ResolutionForWriter(code);
    EXPECT_DOUBLE_EQ(r.x, x) << unit << " " << code;
    EXPECT_DOUBLE_EQ(r.y, y) << unit << " " << code;
    EXPECT_EQ(r.unit, u) << unit << " " << code;
  };
  check(1, 0, 72, 96, 0);
  check(2, 0, 72, 96, 1);
  check(3, 0, 72, 96, 2);
  check(1, 2, 0, 0, 0);
  check(2, 2, 72 * 39.37, 96 * 39.37, 0);
  check(3, 2, 7200, 9600, 0);
  check(1, 6, 0, 0, 0);
  check(2, 6, 2834, 3779, 1);  // 72 * 39.37 = 2834.64, truncated
  check(3, 6, 7200, 9600, 1);
  check(1, 10, 72, 96, 1);
  check(2, 10, 72, 96, 2);
  check(3, 10, 72, 96, 3);
  check(2, 14, 0, 0, 1);
  check(3, 26, 0, 0, 1);
}

TEST(ImageFiles, LoadRefusals) {
  CISImageEx im;
  ASSERT_EQ(im.Create(2, 2, 24), kISOk);
  EXPECT_EQ(im.Load(""), kISEmptyPath);
  EXPECT_FALSE(im.HasPixels());
  EXPECT_EQ(im.Load("/nonexistent/file.png"), kISRefused);
  EXPECT_FALSE(im.HasPixels());
}

TEST(ImageFiles, SaveOfEmptyImageIsRefused) {
  CISImageEx im;
  auto dest = qimg::Dest::ToMemory();
  EXPECT_EQ(im.Save(*dest, kFilePNG), kISRefused);
  EXPECT_TRUE(dest->Memory().empty());
}

TEST(ImageFiles, SaveWithNoFormatWritesNothing) {
  CISImageEx im;
  ASSERT_EQ(im.Create(2, 2, 24), kISOk);
  auto dest = qimg::Dest::ToMemory();
  EXPECT_EQ(im.Save(*dest, kFileNone), kISOk);
  EXPECT_TRUE(dest->Memory().empty());
}

}  // namespace
