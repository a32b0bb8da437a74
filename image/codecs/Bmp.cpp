#include "image/codecs/Bmp.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "image/codecs/ByteReader.h"

namespace qimg {

namespace {
using namespace codec;

constexpr uint32_t kFileHeader = 14;
constexpr uint32_t kRGB = 0, kRLE8 = 1, kRLE4 = 2, kBitFields = 3, kAlphaBitFields = 6;
// RLE8/RLE4 give at most 255 pixels per two bytes; anything claiming more than
// this per byte of data cannot be a real picture.
constexpr uint64_t kMaxRleExpansion = 128;

struct Header {
  uint32_t headerSize = 0;
  uint32_t width = 0, height = 0;
  bool topDown = false;
  uint32_t bpp = 0;
  uint32_t compression = kRGB;
  uint32_t xppm = 0, yppm = 0;
  uint32_t masks[4] = {};
  Palette palette;
  uint64_t tableEnd = 0;  // offset just past the masks and colour table
};

bool ValidHeaderSize(uint32_t s) {
  return s == 12 || s == 40 || s == 52 || s == 56 || s == 108 || s == 124;
}

// Parses the info header that starts at `base` and reads the colour table.
// bitsOffset (0: unknown) may cut the colour table short.
uint32_t ParseInfo(Source& src, uint64_t base, Header& h, uint64_t bitsOffset = 0) {
  uint8_t b[124] = {};
  if (!src.Seek(base) || !src.ReadExact(b, 4)) return kErrTruncated;
  h.headerSize = Le32(b);
  if (!ValidHeaderSize(h.headerSize)) return kErrFormat;
  if (!src.ReadExact(b + 4, h.headerSize - 4)) return kErrTruncated;
  uint32_t entrySize = 4;
  if (h.headerSize == 12) {
    h.width = Le16(b + 4);
    h.height = Le16(b + 6);
    h.bpp = Le16(b + 10);
    entrySize = 3;
  } else {
    int32_t w = Le32s(b + 4), hh = Le32s(b + 8);
    if (w <= 0 || hh == 0 || hh == INT32_MIN) return kErrFormat;
    h.width = uint32_t(w);
    h.topDown = hh < 0;
    h.height = uint32_t(hh < 0 ? -hh : hh);
    h.bpp = Le16(b + 14);
    h.compression = Le32(b + 16);
    h.xppm = Le32(b + 24);
    h.yppm = Le32(b + 28);
  }
  if (h.width == 0 || h.height == 0) return kErrFormat;
  switch (h.bpp) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return kErrFormat;
  }
  switch (h.compression) {
    case kRGB: break;
    case kRLE8:
      if (h.bpp != 8) return kErrFormat;
      break;
    case kRLE4:
      if (h.bpp != 4) return kErrFormat;
      break;
    case kBitFields:
    case kAlphaBitFields:
      if (h.bpp != 16 && h.bpp != 32) return kErrFormat;
      break;
    default: return kErrUnsupported;  // embedded JPEG/PNG, OS/2 Huffman
  }
  uint64_t pos = base + h.headerSize;
  if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
    uint32_t n = h.compression == kAlphaBitFields ? 4 : 3;
    if (h.headerSize >= 52) {
      for (uint32_t i = 0; i < 3; ++i) h.masks[i] = Le32(b + 40 + 4 * i);
      if (h.headerSize >= 56) h.masks[3] = Le32(b + 52);
    } else {
      uint8_t m[16];
      if (!src.ReadExact(m, 4 * n)) return kErrTruncated;
      for (uint32_t i = 0; i < n; ++i) h.masks[i] = Le32(m + 4 * i);
      pos += 4 * n;
    }
  } else if (h.bpp == 16) {
    h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
  } else if (h.bpp == 32) {
    h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
  }
  if (h.bpp <= 8) {
    uint32_t maxCount = 1u << h.bpp;
    uint32_t used = h.headerSize >= 40 ? Le32(b + 32) : 0;
    uint32_t count = used == 0 || used > maxCount ? maxCount : used;
    // Some writers keep fewer entries than the depth allows and say so only
    // through the bits offset.
    if (bitsOffset > pos && bitsOffset < pos + uint64_t{count} * entrySize)
      count = uint32_t((bitsOffset - pos) / entrySize);
    if (count == 0) return kErrFormat;
    uint8_t table[256 * 4];
    if (!src.Seek(pos) || !src.ReadExact(table, size_t{count} * entrySize)) return kErrTruncated;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = table + i * entrySize;
      h.palette.entries[i] = {e[0], e[1], e[2], 0};
    }
    h.palette.count = count;
    pos += uint64_t{count} * entrySize;
  }
  h.tableEnd = pos;
  return kOk;
}

uint32_t ParseFile(Source& src, Header& h, uint64_t& bitsOffset) {
  uint8_t fh[kFileHeader];
  if (!src.Seek(0) || !src.ReadExact(fh, sizeof fh)) return kErrTruncated;
  if (fh[0] != 'B' || fh[1] != 'M') return kErrFormat;
  bitsOffset = Le32(fh + 10);
  if (uint32_t r = ParseInfo(src, kFileHeader, h, bitsOffset)) return r;
  // Some writers leave the offset 0; the bits then follow the colour table.
  if (bitsOffset == 0) bitsOffset = h.tableEnd;
  if (bitsOffset < kFileHeader + 12 || bitsOffset >= src.Size()) return kErrTruncated;
  return kOk;
}

struct Channel {
  uint32_t mask = 0, shift = 0, max = 0;
  explicit Channel(uint32_t m) : mask(m) {
    if (!m) return;
    shift = uint32_t(std::countr_zero(m));
    uint32_t bits = uint32_t(std::countr_one(m >> shift));
    max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  }
  uint8_t Get(uint32_t v, uint8_t missing) const {
    if (!max) return missing;
    uint64_t c = ((v & mask) >> shift) & max;
    return uint8_t((c * 255 + max / 2) / max);
  }
};

// Uncompressed rows, read one at a time.
uint32_t DecodeRaw(Source& src, uint64_t offset, uint64_t end, const Header& h,
                   uint32_t requestedBpp, Decoded& out) {
  uint64_t stride = ((uint64_t{h.width} * h.bpp + 31) / 32) * 4;
  uint64_t lastRow = (uint64_t{h.width} * h.bpp + 7) / 8;
  if (uint32_t r = CheckRequest(h.width, h.height, requestedBpp)) return r;
  if (offset > end || (h.height - 1) * stride + lastRow > end - offset) return kErrTruncated;
  bool indexed = h.bpp <= 8;
  Native kind = indexed ? Native::kIndex : h.bpp == 24 ? Native::kRGB : Native::kRGBA;
  PictureBuilder pb;
  if (uint32_t r = pb.Begin(out, h.width, h.height, requestedBpp, kind, h.bpp, &h.palette))
    return r;
  std::vector<uint8_t> raw(stride), row(pb.NativeRowBytes());
  Channel ch[4] = {Channel(h.masks[0]), Channel(h.masks[1]), Channel(h.masks[2]),
                   Channel(h.masks[3])};
  if (!src.Seek(offset)) return kErrRead;
  for (uint32_t i = 0; i < h.height; ++i) {
    size_t want = i + 1 == h.height ? size_t(lastRow) : size_t(stride);
    if (!src.ReadExact(raw.data(), want)) return kErrTruncated;
    if (i + 1 < h.height && want < stride) return kErrTruncated;
    const uint8_t* s = raw.data();
    uint8_t* d = row.data();
    if (indexed) {
      uint32_t per = 8 / h.bpp, mask = (1u << h.bpp) - 1;
      for (uint32_t x = 0; x < h.width; ++x) {
        uint32_t shift = 8 - h.bpp * (x % per + 1);
        d[x] = uint8_t((s[x / per] >> shift) & mask);
      }
    } else if (h.bpp == 24) {
      for (uint32_t x = 0; x < h.width; ++x, s += 3, d += 3) d[0] = s[2], d[1] = s[1], d[2] = s[0];
    } else {
      uint32_t step = h.bpp / 8;
      for (uint32_t x = 0; x < h.width; ++x, s += step, d += 4) {
        uint32_t v = step == 2 ? Le16(s) : Le32(s);
        d[0] = ch[0].Get(v, 0), d[1] = ch[1].Get(v, 0), d[2] = ch[2].Get(v, 0);
        d[3] = ch[3].Get(v, 255);
      }
    }
    uint32_t y = h.topDown ? i : h.height - 1 - i;
    if (!pb.PutRow(y, row.data())) return kErrFormat;
  }
  return kOk;
}

// RLE8 / RLE4, streamed row by row; skipped pixels take index 0.
uint32_t DecodeRle(Source& src, uint64_t offset, uint64_t end, const Header& h,
                   uint32_t requestedBpp, Decoded& out) {
  if (uint32_t r = CheckRequest(h.width, h.height, requestedBpp)) return r;
  if (offset >= end) return kErrTruncated;
  if (uint64_t{h.width} * h.height > (end - offset) * kMaxRleExpansion) return kErrTruncated;
  PictureBuilder pb;
  if (uint32_t r =
          pb.Begin(out, h.width, h.height, requestedBpp, Native::kIndex, h.bpp, &h.palette))
    return r;
  if (!src.Seek(offset)) return kErrRead;
  ByteStream in(src, end);
  bool rle4 = h.compression == kRLE4;
  // Encoders also code the padding pixels of a row; they are dropped, while
  // anything past the padded row is corrupt.
  uint32_t padded = uint32_t((uint64_t{h.width} * h.bpp + 31) / 32 * 32 / h.bpp);
  std::vector<uint8_t> row(padded, 0);
  uint32_t fileRow = 0, x = 0;
  auto emit = [&]() -> bool {
    if (fileRow >= h.height) return true;
    uint32_t y = h.topDown ? fileRow : h.height - 1 - fileRow;
    if (!pb.PutRow(y, row.data())) return false;
    std::fill(row.begin(), row.end(), 0);
    ++fileRow;
    return true;
  };
  for (;;) {
    uint8_t a, b;
    if (!in.Get(a) || !in.Get(b)) {
      // A stream that stops after the last row is complete without its end mark.
      if (fileRow >= h.height) return kOk;
      return kErrTruncated;
    }
    if (a > 0) {
      if (fileRow >= h.height || x + a > padded) return kErrFormat;
      for (uint32_t i = 0; i < a; ++i) row[x + i] = rle4 ? uint8_t(i & 1 ? b & 15 : b >> 4) : b;
      x += a;
      continue;
    }
    if (b == 0) {  // end of line
      if (fileRow >= h.height) return kErrFormat;
      if (!emit()) return kErrFormat;
      x = 0;
    } else if (b == 1) {  // end of bitmap
      while (fileRow < h.height)
        if (!emit()) return kErrFormat;
      return kOk;
    } else if (b == 2) {  // delta
      uint8_t dx, dy;
      if (!in.Get(dx) || !in.Get(dy)) return kErrTruncated;
      if (x + dx > padded || uint64_t{fileRow} + dy > h.height) return kErrFormat;
      for (uint32_t i = 0; i < dy; ++i)
        if (!emit()) return kErrFormat;
      x += dx;
    } else {  // absolute run of b pixels
      if (fileRow >= h.height || x + b > padded) return kErrFormat;
      uint32_t bytes = rle4 ? (b + 1u) / 2 : b;
      uint8_t data[256];
      if (!in.Read(data, bytes + (bytes & 1))) return kErrTruncated;
      for (uint32_t i = 0; i < b; ++i)
        row[x + i] = rle4 ? uint8_t(i & 1 ? data[i / 2] & 15 : data[i / 2] >> 4) : data[i];
      x += b;
    }
  }
}

uint32_t DecodeBits(Source& src, uint64_t offset, uint64_t end, const Header& h,
                    uint32_t requestedBpp, Decoded& out) {
  if (h.compression == kRLE8 || h.compression == kRLE4)
    return DecodeRle(src, offset, end, h, requestedBpp, out);
  return DecodeRaw(src, offset, end, h, requestedBpp, out);
}

}  // namespace

bool SniffBMP(const uint8_t* head, size_t n) {
  return n >= 18 && head[0] == 'B' && head[1] == 'M' && ValidHeaderSize(Le32(head + 14));
}

bool GetBMPDims(Source& source, Info& info) {
  Header h;
  uint64_t offset;
  if (ParseFile(source, h, offset) != kOk) return false;
  info.width = h.width;
  info.height = h.height;
  info.bitsPerPixel = h.bpp;
  info.colorType = 0;
  info.resX = h.xppm;
  info.resY = h.yppm;
  info.resUnit = (h.xppm || h.yppm) ? 2 : 0;
  return true;
}

bool GetBMPPalette(Source& source, Palette& palette) {
  Header h;
  uint64_t offset;
  if (ParseFile(source, h, offset) != kOk || h.bpp > 8) return false;
  palette = h.palette;
  return true;
}

uint32_t ReadBMP(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded();
  Header h;
  uint64_t offset;
  uint32_t r = ParseFile(source, h, offset);
  if (r == kOk) r = DecodeBits(source, offset, source.Size(), h, bitsPerPixel, out);
  if (r != kOk) return Fail(out, r);
  SetLastError(kOk);
  return kOk;
}

uint32_t ReadDIB(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                 Decoded& out) {
  out = Decoded();
  if (!info) return Fail(out, kErrParam);
  auto infoSrc = Source::FromMemory(info, infoSize);
  Header h;
  uint32_t r = ParseInfo(*infoSrc, 0, h);
  if (r == kOk) {
    if (bits) {
      auto bitsSrc = Source::FromMemory(bits, bitsSize);
      r = DecodeBits(*bitsSrc, 0, bitsSize, h, 24, out);
    } else {
      r = DecodeBits(*infoSrc, h.tableEnd, infoSize, h, 24, out);
    }
  }
  if (r != kOk) return Fail(out, r);
  return kOk;
}

uint32_t WriteBMP(Dest& dest, const WriteImage& image, uint32_t /*colorCount*/,
                  const ResolutionRecord& res) {
  if (!ValidRGB(image) || image.width > INT32_MAX || image.height > INT32_MAX) {
    SetLastError(kErrParam);
    return kErrParam;
  }
  uint64_t stride = (uint64_t{image.width} * 3 + 3) & ~uint64_t{3};
  uint64_t imageBytes = stride * image.height;
  uint64_t fileSize = kFileHeader + 40 + imageBytes;
  if (fileSize > 0xFFFFFFFFull) {
    SetLastError(kErrTooLarge);
    return kErrTooLarge;
  }
  auto ppm = [](double v) -> uint32_t {
    if (!std::isfinite(v) || v <= 0) return 0;
    return v >= 2147483647.0 ? 2147483647u : uint32_t(std::lround(v));
  };
  ByteBuffer hd;
  hd.U8('B'), hd.U8('M'), hd.Le32(uint32_t(fileSize)), hd.Le32(0), hd.Le32(kFileHeader + 40);
  hd.Le32(40), hd.Le32(image.width), hd.Le32(image.height), hd.Le16(1), hd.Le16(24);
  hd.Le32(kRGB), hd.Le32(uint32_t(imageBytes)), hd.Le32(ppm(res.x)), hd.Le32(ppm(res.y));
  hd.Le32(0), hd.Le32(0);
  bool ok = hd.WriteTo(dest);
  std::vector<uint8_t> row(stride, 0);
  for (uint32_t i = 0; ok && i < image.height; ++i) {
    const uint8_t* s = image.pixels + size_t{image.height - 1 - i} * image.rowBytes;
    uint8_t* d = row.data();
    for (uint32_t x = 0; x < image.width; ++x, s += 3, d += 3)
      d[0] = s[2], d[1] = s[1], d[2] = s[0];
    ok = dest.Write(row.data(), row.size());
  }
  uint32_t r = ok ? kOk : kErrWrite;
  SetLastError(r);
  return r;
}

}  // namespace qimg
