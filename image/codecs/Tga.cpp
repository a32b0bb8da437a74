#include "image/codecs/Tga.h"

#include <algorithm>
#include <vector>

#include "image/codecs/ByteReader.h"

namespace qimg {

namespace {
using namespace codec;

constexpr uint32_t kHeader = 18;
// One packet byte and one pixel of at least one byte give up to 128 pixels.
constexpr uint64_t kMaxRleExpansion = 64;

struct Header {
  uint8_t idLength = 0, mapType = 0, type = 0;
  uint32_t mapFirst = 0, mapLength = 0, mapEntryBits = 0;
  uint32_t width = 0, height = 0, bpp = 0;
  uint8_t descriptor = 0;
  bool rle = false;
  uint64_t dataOffset = 0;
};

bool ValidTrueColourBits(uint32_t b) { return b == 15 || b == 16 || b == 24 || b == 32; }

// The format has no magic number, so everything checkable is checked.
bool Plausible(const Header& h) {
  switch (h.type) {
    case 1:
    case 2:
    case 3:
    case 9:
    case 10:
    case 11: break;
    default: return false;
  }
  if (h.mapType > 1 || h.width == 0 || h.height == 0) return false;
  if (h.descriptor & 0xC0) return false;  // interleaving was never used
  uint32_t base = h.type & 7;
  if (base == 1) {
    if (h.mapType != 1 || h.bpp != 8) return false;
  } else if (base == 2) {
    if (!ValidTrueColourBits(h.bpp)) return false;
  } else if (h.bpp != 8 && h.bpp != 16) {
    return false;  // grey: 8 bits, or a grey byte followed by an alpha byte
  }
  if (h.mapType == 1) {
    if (!ValidTrueColourBits(h.mapEntryBits) || h.mapLength == 0) return false;
  } else if (h.mapFirst != 0 || h.mapLength != 0) {
    return false;
  }
  return true;
}

Header ParseBytes(const uint8_t* b) {
  Header h;
  h.idLength = b[0];
  h.mapType = b[1];
  h.type = b[2];
  h.mapFirst = Le16(b + 3);
  h.mapLength = Le16(b + 5);
  h.mapEntryBits = b[7];
  h.width = Le16(b + 12);
  h.height = Le16(b + 14);
  h.bpp = b[16];
  h.descriptor = b[17];
  h.rle = h.type >= 9;
  h.dataOffset =
      kHeader + h.idLength + (h.mapType ? uint64_t{h.mapLength} * ((h.mapEntryBits + 7) / 8) : 0);
  return h;
}

// Reads a colour-map or pixel value of `bits` bits as R,G,B,A.
void Colour(const uint8_t* p, uint32_t bits, uint8_t* rgba) {
  switch (bits) {
    case 15:
    case 16: {
      uint32_t v = Le16(p);
      rgba[0] = Expand5((v >> 10) & 31), rgba[1] = Expand5((v >> 5) & 31);
      rgba[2] = Expand5(v & 31), rgba[3] = 255;
      break;
    }
    case 24: rgba[0] = p[2], rgba[1] = p[1], rgba[2] = p[0], rgba[3] = 255; break;
    default: rgba[0] = p[2], rgba[1] = p[1], rgba[2] = p[0], rgba[3] = p[3]; break;
  }
}

uint32_t ParseFile(Source& src, Header& h, Palette* palette) {
  uint8_t b[kHeader];
  if (!src.Seek(0) || !src.ReadExact(b, kHeader)) return kErrTruncated;
  h = ParseBytes(b);
  if (!Plausible(h)) return kErrFormat;
  if (h.dataOffset > src.Size()) return kErrTruncated;
  if (!palette) return kOk;
  *palette = Palette();
  uint32_t base = h.type & 7;
  if (base == 3) {
    GreyPalette(*palette);
  } else if (base == 1) {
    // Output indices are the pixel values; entries below the first map entry stay unused.
    if (h.mapFirst >= 256) return kErrFormat;
    uint32_t entryBytes = (h.mapEntryBits + 7) / 8;
    uint32_t count = std::min<uint32_t>(h.mapLength, 256 - h.mapFirst);
    std::vector<uint8_t> map(size_t{count} * entryBytes);
    if (!src.Seek(kHeader + h.idLength) || !src.ReadExact(map.data(), map.size()))
      return kErrTruncated;
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t c[4];
      Colour(map.data() + i * entryBytes, h.mapEntryBits, c);
      palette->entries[h.mapFirst + i] = {c[2], c[1], c[0], 0};
    }
    palette->count = h.mapFirst + count;
  }
  return kOk;
}

}  // namespace

bool SniffTGA(const uint8_t* head, size_t n) {
  if (n < kHeader) return false;
  Header h = ParseBytes(head);
  if (!Plausible(h)) return false;
  // Short heads hold the whole file: it must reach the pixel data, and for
  // uncompressed pictures hold all of it.
  if (n < 4096) {
    if (h.dataOffset >= n) return false;
    uint64_t need = uint64_t{h.width} * h.height * ((h.bpp + 7) / 8);
    if (!h.rle && n - h.dataOffset < need) return false;
  }
  return true;
}

bool GetTGADims(Source& source, Info& info) {
  Header h;
  if (ParseFile(source, h, nullptr) != kOk) return false;
  info.width = h.width;
  info.height = h.height;
  info.bitsPerPixel = h.bpp;
  info.colorType = h.type;
  info.resX = info.resY = 0;
  info.resUnit = 0;
  return true;
}

bool GetTGAPalette(Source& source, Palette& palette) {
  Header h;
  if (ParseFile(source, h, &palette) != kOk || (h.type & 7) == 2) return false;
  return true;
}

uint32_t ReadTGA(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded();
  Header h;
  Palette palette;
  uint32_t r = ParseFile(source, h, &palette);
  if (r != kOk) return Fail(out, r);
  if ((r = CheckRequest(h.width, h.height, bitsPerPixel)) != kOk) return Fail(out, r);
  uint32_t pixelBytes = (h.bpp + 7) / 8;
  uint64_t available = source.Size() - h.dataOffset;
  uint64_t pixels = uint64_t{h.width} * h.height;
  if (!h.rle && available < pixels * pixelBytes) return Fail(out, kErrTruncated);
  if (h.rle && pixels > available * kMaxRleExpansion) return Fail(out, kErrTruncated);

  bool indexed = (h.type & 7) != 2;
  PictureBuilder pb;
  Native kind = indexed ? Native::kIndex : Native::kRGBA;
  if ((r = pb.Begin(out, h.width, h.height, bitsPerPixel, kind, 8, &palette)) != kOk)
    return Fail(out, r);

  bool topDown = h.descriptor & 0x20, rightToLeft = h.descriptor & 0x10;
  std::vector<uint8_t> raw(size_t{h.width} * pixelBytes), row(pb.NativeRowBytes());
  if (!source.Seek(h.dataOffset)) return Fail(out, kErrRead);
  ByteStream in(source, source.Size());
  // RLE packets may run on into the next row; the state survives rows.
  uint32_t runLeft = 0;
  bool repeat = false;
  uint8_t value[4] = {};
  for (uint32_t i = 0; i < h.height; ++i) {
    if (!h.rle) {
      if (!in.Read(raw.data(), raw.size())) return Fail(out, kErrTruncated);
    } else {
      for (uint32_t x = 0; x < h.width; ++x) {
        if (runLeft == 0) {
          uint8_t p;
          if (!in.Get(p)) return Fail(out, kErrTruncated);
          runLeft = (p & 0x7F) + 1u;
          repeat = p & 0x80;
          if (repeat && !in.Read(value, pixelBytes)) return Fail(out, kErrTruncated);
        }
        uint8_t* d = raw.data() + size_t{x} * pixelBytes;
        if (repeat) {
          std::memcpy(d, value, pixelBytes);
        } else if (!in.Read(d, pixelBytes)) {
          return Fail(out, kErrTruncated);
        }
        --runLeft;
      }
    }
    for (uint32_t x = 0; x < h.width; ++x) {
      uint32_t sx = rightToLeft ? h.width - 1 - x : x;
      const uint8_t* s = raw.data() + size_t{sx} * pixelBytes;
      if (indexed) {
        row[x] = s[0];  // grey with alpha: the grey byte; the alpha is dropped
      } else {
        Colour(s, h.bpp, row.data() + size_t{x} * 4);
        if (h.bpp == 32 && (h.descriptor & 0x0F) == 0) row[size_t{x} * 4 + 3] = 255;
      }
    }
    if (!pb.PutRow(topDown ? i : h.height - 1 - i, row.data())) return Fail(out, kErrFormat);
  }
  // A packet that reaches past the last pixel is corrupt.
  if (runLeft != 0) return Fail(out, kErrFormat);
  SetLastError(kOk);
  return kOk;
}

uint32_t WriteTGA(Dest& dest, const WriteImage& image) {
  if (!ValidRGB(image)) return SetLastError(kErrParam), kErrParam;
  if (image.width > 65535 || image.height > 65535) return SetLastError(kErrTooLarge), kErrTooLarge;
  ByteBuffer hd;
  hd.U8(0), hd.U8(0), hd.U8(2), hd.Zeros(5), hd.Le16(0), hd.Le16(0);
  hd.Le16(image.width), hd.Le16(image.height), hd.U8(24), hd.U8(0x20);  // top-left origin
  bool ok = hd.WriteTo(dest);
  std::vector<uint8_t> row(size_t{image.width} * 3);
  for (uint32_t y = 0; ok && y < image.height; ++y) {
    const uint8_t* s = image.pixels + size_t{y} * image.rowBytes;
    for (size_t x = 0; x < row.size(); x += 3)
      row[x] = s[x + 2], row[x + 1] = s[x + 1], row[x + 2] = s[x];
    ok = dest.Write(row.data(), row.size());
  }
  uint32_t r = ok ? kOk : kErrWrite;
  SetLastError(r);
  return r;
}

}  // namespace qimg
