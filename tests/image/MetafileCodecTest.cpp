#include <gtest/gtest.h>

#include "CodecTestUtil.h"
#include "image/codecs/Metafile.h"

using namespace codec_test;

namespace {

uint32_t ReadBytes(const std::vector<uint8_t>& b, qimg::Decoded& out) {
  auto src = qimg::Source::FromMemory(b.data(), b.size());
  return qimg::ReadMetafile(*src, out);
}

// Packed 24-bit bottom-up DIB of a picture.
std::vector<uint8_t> Dib(const CISImageEx& im) {
  std::vector<uint8_t> d(40, 0);
  uint32_t w = im.m_width, h = im.m_height, stride = (w * 3 + 3) & ~3u;
  PutLe32(d, 0, 40), PutLe32(d, 4, w), PutLe32(d, 8, h), PutLe16(d, 12, 1), PutLe16(d, 14, 24);
  for (uint32_t y = h; y-- > 0;) {
    const uint8_t* s = im.Pixels() + size_t{y} * im.RowBytes();
    for (uint32_t x = 0; x < w; ++x)
      d.push_back(s[3 * x + 2]), d.push_back(s[3 * x + 1]), d.push_back(s[3 * x]);
    for (uint32_t p = w * 3; p < stride; ++p) d.push_back(0);
  }
  return d;
}

struct Wmf {
  std::vector<uint8_t> body;
  void Record(uint16_t function, const std::vector<int16_t>& params,
              const std::vector<uint8_t>& tail = {}, uint32_t rop = 0) {
    size_t words = 3 + (rop ? 2 : 0) + params.size() + (tail.size() + 1) / 2;
    std::vector<uint8_t> r(6, 0);
    PutLe32(r, 0, uint32_t(words)), PutLe16(r, 4, function);
    if (rop) r.resize(10), PutLe32(r, 6, rop);
    for (int16_t p : params) r.push_back(uint8_t(p)), r.push_back(uint8_t(uint16_t(p) >> 8));
    for (uint8_t v : tail) r.push_back(v);
    if (tail.size() & 1) r.push_back(0);
    for (uint8_t v : r) body.push_back(v);
  }
  // Without a placeable header: the canvas comes from what is drawn.
  std::vector<uint8_t> File() const {
    std::vector<uint8_t> f(18, 0);
    PutLe16(f, 0, 1), PutLe16(f, 2, 9), PutLe16(f, 4, 0x0300);
    for (uint8_t v : body) f.push_back(v);
    for (uint8_t v : {3, 0, 0, 0, 0, 0}) f.push_back(v);
    PutLe32(f, 6, uint32_t(f.size() / 2));
    return f;
  }
};

constexpr uint32_t kSrcCopy = 0x00CC0020;

TEST(Metafile, WriterOutputReadsBackExactly) {
  for (uint32_t code : {kFileWMF, kFileEMF}) {
    for (uint32_t w : {1u, 37u, 300u}) {
      CISImageEx im, back;
      testing_support::MakeTestPicture(im, w, 23, 6);
      std::string path = testing_support::TempDir() + (code == kFileWMF ? "/m.wmf" : "/m.emf");
      ASSERT_EQ(im.SaveFile(path, code), 0u);
      EXPECT_EQ(DetectBytesFile(path), code);
      back.m_resolutionX = 77;
      ASSERT_EQ(back.Load(path), 0u) << code << " " << w;
      EXPECT_EQ(MaxDifference(im, back), 0);
      EXPECT_EQ(back.m_resolutionX, 77);  // metafile loads keep the write resolution
      auto src = qimg::Source::OpenFile(path);
      qimg::Info info;
      ASSERT_TRUE(qimg::GetMetafileDims(*src, info));
      EXPECT_EQ(info.width, w);
      EXPECT_EQ(info.height, 23u);
    }
  }
}

TEST(Metafile, BitmapRecordsWithStateRecordsRender) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 6, 4, 2);
  auto dib = Dib(im);
  Wmf m;
  m.Record(0x001E, {});      // SaveDC
  m.Record(0x0103, {1});     // SetMapMode text
  m.Record(0x0201, {0, 0});  // SetBkColor
  m.Record(0x012D, {0});     // SelectObject
  // DIBBITBLT: ySrc, xSrc, height, width, yDest, xDest -> whole picture at (10, 20)
  m.Record(0x0940, {0, 0, 4, 6, 20, 10}, dib, kSrcCopy);
  // STRETCHDIB of its left half, doubled, at (16, 20): usage 0, then src h, w, y, x, dest h, w, y,
  // x
  m.Record(0x0F43, {0, 4, 3, 0, 0, 8, 6, 20, 16}, dib, kSrcCopy);
  m.Record(0x0127, {-1});  // RestoreDC
  qimg::Decoded out;
  ASSERT_EQ(ReadBytes(m.File(), out), 0u);
  ASSERT_EQ(out.width, 12u);  // from x 10 to 22
  ASSERT_EQ(out.height, 8u);  // from y 20 to 28
  auto px = [&](uint32_t x, uint32_t y) {
    return out.pixels.get() + (size_t{y} * out.width + x) * 3;
  };
  auto src = [&](uint32_t x, uint32_t y) { return im.Pixels() + (size_t{y} * 6 + x) * 3; };
  EXPECT_TRUE(std::equal(src(5, 3), src(5, 3) + 3, px(5, 3)));
  EXPECT_TRUE(std::equal(src(0, 0), src(0, 0) + 3, px(6, 0)));
  EXPECT_TRUE(std::equal(src(2, 3), src(2, 3) + 3, px(11, 7)));
  const uint8_t white[3] = {255, 255, 255};
  EXPECT_TRUE(std::equal(white, white + 3, px(0, 5)));  // below the first bitmap
}

TEST(Metafile, DrawingRecordsFailClearly) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 4, 4, 1);
  auto dib = Dib(im);
  struct Case {
    const char* name;
    uint16_t function;
    std::vector<int16_t> params;
  };
  const Case cases[] = {
      {"LineTo", 0x0213, {5, 5}},
      {"Rectangle", 0x041B, {9, 9, 0, 0}},
      {"TextOut", 0x0521, {2, 0x4141, 0, 0}},
      {"Polygon", 0x0324, {2, 0, 0, 5, 5}},
  };
  for (const Case& c : cases) {
    Wmf m;
    m.Record(0x0940, {0, 0, 4, 4, 0, 0}, dib, kSrcCopy);
    m.Record(c.function, c.params);
    qimg::Decoded out;
    EXPECT_EQ(ReadBytes(m.File(), out), qimg::kErrUnsupported) << c.name;
    EXPECT_FALSE(out.pixels);
  }
  // EMF: our writer's file with a LineTo record before the end.
  CISImageEx big;
  testing_support::MakeTestPicture(big, 5, 5, 1);
  auto emf = Saved(big, kFileEMF);
  std::vector<uint8_t> line(16, 0);
  PutLe32(line, 0, 54), PutLe32(line, 4, 16), PutLe32(line, 8, 3), PutLe32(line, 12, 3);
  emf.insert(emf.end() - 20, line.begin(), line.end());
  qimg::Decoded out;
  EXPECT_EQ(ReadBytes(emf, out), qimg::kErrUnsupported);
  // a pattern fill (bit-block transfer without a bitmap) is drawing too
  Wmf pat;
  pat.Record(0x0940, {0, 0, 0, 4, 4, 0, 0}, {}, 0x00F00021);
  EXPECT_EQ(ReadBytes(pat.File(), out), qimg::kErrUnsupported);
}

TEST(Metafile, BadInputFailsCleanly) {
  CISImageEx im;
  testing_support::MakeTestPicture(im, 9, 7, 1);
  auto wmf = Saved(im, kFileWMF), emf = Saved(im, kFileEMF);
  auto bad = [](const std::vector<uint8_t>& f, const char* name) {
    qimg::Decoded out;
    EXPECT_NE(ReadBytes(f, out), 0u) << name;
    EXPECT_FALSE(out.pixels) << name;
  };
  // huge placeable box around a tiny bitmap
  auto huge = wmf;
  PutLe16(huge, 10, 32000), PutLe16(huge, 12, 32000);
  bad(huge, "huge WMF canvas");
  auto hugeEmf = emf;
  PutLe32(hugeEmf, 16, 10000), PutLe32(hugeEmf, 20, 10000);  // under the absolute limit
  bad(hugeEmf, "huge EMF canvas");
  // a bitmap header claiming far more pixels than the record holds does not
  // buy a big canvas
  auto liar = hugeEmf;
  PutLe32(liar, 108 + 80 + 4, 20000), PutLe32(liar, 108 + 80 + 8, 20000);
  {
    qimg::Decoded out;
    EXPECT_EQ(ReadBytes(liar, out), qimg::kErrTooLarge);
  }
  auto zeroSize = wmf;
  PutLe32(zeroSize, 22 + 18 + 10 + 10, 0);  // the bitmap record's size
  bad(zeroSize, "record of size 0");
  auto pastEnd = emf;
  PutLe32(pastEnd, 108 + 4, 0x7FFFFFF0);
  bad(pastEnd, "record past the end");
  auto dibLies = emf;
  PutLe32(dibLies, 108 + 80 + 4, 5000);  // DIB width
  bad(dibLies, "bitmap larger than its bits");
  for (const auto* f : {&wmf, &emf}) {
    for (size_t cut : {size_t{0}, size_t{10}, size_t{21}, size_t{30}, size_t{60}, size_t{107},
                       size_t{150}, f->size() - 7, f->size() - 1}) {
      if (cut >= f->size()) continue;
      std::vector<uint8_t> part(f->begin(), f->begin() + long(cut));
      bad(part, "truncated");
    }
  }
  // Without an end record, a file of nothing but state records stops at its end.
  Wmf loop;
  for (int i = 0; i < 1000; ++i) loop.Record(0x001E, {});
  auto noEnd = loop.File();
  noEnd.resize(noEnd.size() - 6);
  bad(noEnd, "no end record");
}

}  // namespace
