#include "image/codecs/Pcx.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/codecs/ByteReader.h"

namespace qimg {

namespace {
using namespace codec;

constexpr uint32_t kHeader = 128;
constexpr uint32_t kTrailingPalette = 769;  // 0x0C marker and 256 RGB entries
// A two-byte run gives at most 63 bytes.
constexpr uint64_t kMaxRleExpansion = 32;

struct Header {
  uint32_t version = 0, encoding = 0, bitsPerPlane = 0, planes = 0, bytesPerLine = 0;
  uint32_t width = 0, height = 0;
  uint32_t hdpi = 0, vdpi = 0;
  uint8_t egaPalette[48] = {};
};

bool SupportedLayout(uint32_t bits, uint32_t planes) {
  if (bits == 8) return planes == 1 || planes == 3 || planes == 4;
  if (bits == 1) return planes >= 1 && planes <= 4;
  if (bits == 2 || bits == 4) return planes == 1;
  return false;
}

bool ParseBytes(const uint8_t* b, Header& h) {
  if (b[0] != 0x0A || b[1] > 5 || b[1] == 1 || b[2] > 1) return false;
  h.version = b[1];
  h.encoding = b[2];
  h.bitsPerPlane = b[3];
  uint32_t xmin = Le16(b + 4), ymin = Le16(b + 6), xmax = Le16(b + 8), ymax = Le16(b + 10);
  if (xmax < xmin || ymax < ymin) return false;
  h.width = xmax - xmin + 1;
  h.height = ymax - ymin + 1;
  h.hdpi = Le16(b + 12);
  h.vdpi = Le16(b + 14);
  std::memcpy(h.egaPalette, b + 16, 48);
  h.planes = b[65];
  h.bytesPerLine = Le16(b + 66);
  if (!SupportedLayout(h.bitsPerPlane, h.planes)) return false;
  return h.bytesPerLine >= (uint64_t{h.width} * h.bitsPerPlane + 7) / 8;
}

uint32_t ParseFile(Source& src, Header& h) {
  uint8_t b[kHeader];
  if (!src.Seek(0) || !src.ReadExact(b, kHeader)) return kErrTruncated;
  return ParseBytes(b, h) ? kOk : kErrFormat;
}

bool Indexed(const Header& h) { return h.bitsPerPlane * h.planes <= 8; }

// Palette of an indexed file: the trailing 256-colour table for 8 bits, else
// the header's 16 colours (monochrome files: black and white).
uint32_t ReadPalette(Source& src, const Header& h, Palette& pal) {
  pal = Palette();
  uint32_t bits = h.bitsPerPlane * h.planes;
  if (bits == 8) {
    uint64_t size = src.Size();
    uint8_t t[kTrailingPalette];
    if (size >= kHeader + kTrailingPalette && src.Seek(size - kTrailingPalette) &&
        src.ReadExact(t, kTrailingPalette) && t[0] == 0x0C) {
      for (uint32_t i = 0; i < 256; ++i)
        pal.entries[i] = {t[1 + 3 * i + 2], t[1 + 3 * i + 1], t[1 + 3 * i], 0};
      pal.count = 256;
    } else {
      // Early 8-bit files carry no table; they are grey.
      GreyPalette(pal);
    }
    return kOk;
  }
  if (bits == 1) {
    pal.entries[0] = {0, 0, 0, 0};
    pal.entries[1] = {255, 255, 255, 0};
    pal.count = 2;
    return kOk;
  }
  uint32_t count = 1u << bits;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = h.egaPalette + 3 * i;
    pal.entries[i] = {e[2], e[1], e[0], 0};
  }
  pal.count = count;
  return kOk;
}

}  // namespace

bool SniffPCX(const uint8_t* head, size_t n) {
  Header h;
  return n >= kHeader && ParseBytes(head, h);
}

bool GetPCXDims(Source& source, Info& info) {
  Header h;
  if (ParseFile(source, h) != kOk) return false;
  info.width = h.width;
  info.height = h.height;
  info.bitsPerPixel = h.bitsPerPlane * h.planes;
  info.colorType = 0;
  info.resX = h.hdpi;
  info.resY = h.vdpi;
  info.resUnit = 0;
  return true;
}

bool GetPCXPalette(Source& source, Palette& palette) {
  Header h;
  if (ParseFile(source, h) != kOk || !Indexed(h)) return false;
  return ReadPalette(source, h, palette) == kOk;
}

uint32_t ReadPCX(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded();
  Header h;
  uint32_t r = ParseFile(source, h);
  if (r != kOk) return Fail(out, r);
  if ((r = CheckRequest(h.width, h.height, bitsPerPixel)) != kOk) return Fail(out, r);
  bool indexed = Indexed(h);
  Palette pal;
  if (indexed && (r = ReadPalette(source, h, pal)) != kOk) return Fail(out, r);

  uint64_t lineBytes = uint64_t{h.bytesPerLine} * h.planes;
  uint64_t total = lineBytes * h.height;
  uint64_t available = source.Size() - kHeader;
  if (h.encoding == 0 ? available < total : total > available * kMaxRleExpansion)
    return Fail(out, kErrTruncated);

  PictureBuilder pb;
  Native kind = indexed ? Native::kIndex : Native::kRGB;
  if ((r = pb.Begin(out, h.width, h.height, bitsPerPixel, kind, h.bitsPerPlane * h.planes, &pal)) !=
      kOk)
    return Fail(out, r);
  std::vector<uint8_t> line(static_cast<size_t>(lineBytes)), row(pb.NativeRowBytes());
  if (!source.Seek(kHeader)) return Fail(out, kErrRead);
  ByteStream in(source, source.Size());
  // Runs may carry over from one line into the next.
  uint32_t runLeft = 0;
  uint8_t runValue = 0;
  for (uint32_t y = 0; y < h.height; ++y) {
    if (h.encoding == 0) {
      if (!in.Read(line.data(), line.size())) return Fail(out, kErrTruncated);
    } else {
      for (size_t i = 0; i < line.size();) {
        if (runLeft == 0) {
          uint8_t c;
          if (!in.Get(c)) return Fail(out, kErrTruncated);
          if ((c & 0xC0) == 0xC0) {
            runLeft = c & 0x3F;
            if (!in.Get(runValue)) return Fail(out, kErrTruncated);
            continue;
          }
          line[i++] = c;
          continue;
        }
        size_t take = std::min<size_t>(runLeft, line.size() - i);
        std::memset(line.data() + i, runValue, take);
        i += take;
        runLeft -= uint32_t(take);
      }
    }
    const uint8_t* l = line.data();
    uint8_t* d = row.data();
    if (!indexed) {
      const uint8_t* planes[3] = {l, l + h.bytesPerLine, l + 2 * h.bytesPerLine};
      for (uint32_t x = 0; x < h.width; ++x, d += 3)
        d[0] = planes[0][x], d[1] = planes[1][x], d[2] = planes[2][x];
    } else if (h.bitsPerPlane == 8) {
      std::memcpy(d, l, h.width);
    } else if (h.bitsPerPlane == 1) {
      for (uint32_t x = 0; x < h.width; ++x) {
        uint32_t v = 0;
        for (uint32_t p = 0; p < h.planes; ++p)
          v |= uint32_t((l[p * h.bytesPerLine + x / 8] >> (7 - x % 8)) & 1) << p;
        d[x] = uint8_t(v);
      }
    } else {
      uint32_t bits = h.bitsPerPlane, per = 8 / bits, mask = (1u << bits) - 1;
      for (uint32_t x = 0; x < h.width; ++x)
        d[x] = uint8_t((l[x / per] >> (8 - bits * (x % per + 1))) & mask);
    }
    if (!pb.PutRow(y, row.data())) return Fail(out, kErrFormat);
  }
  // A run reaching past the last line is corrupt.
  if (runLeft != 0) return Fail(out, kErrFormat);
  SetLastError(kOk);
  return kOk;
}

uint32_t WritePCX(Dest& dest, const WriteImage& image, const ResolutionRecord& res) {
  if (!ValidRGB(image)) return SetLastError(kErrParam), kErrParam;
  if (image.width > 65535 || image.height > 65535) return SetLastError(kErrTooLarge), kErrTooLarge;
  uint32_t bytesPerLine = (image.width + 1) & ~1u;  // lines are an even number of bytes
  auto dpi = [](double v) -> uint32_t {
    if (!std::isfinite(v) || v <= 0) return 0;
    return v >= 65535 ? 65535u : uint32_t(v);
  };
  ByteBuffer hd;
  hd.U8(0x0A), hd.U8(5), hd.U8(1), hd.U8(8);
  hd.Le16(0), hd.Le16(0), hd.Le16(image.width - 1), hd.Le16(image.height - 1);
  hd.Le16(dpi(res.x)), hd.Le16(dpi(res.y));
  hd.Zeros(48), hd.U8(0), hd.U8(3), hd.Le16(bytesPerLine), hd.Le16(1);
  hd.Zeros(kHeader - hd.Size());
  bool ok = hd.WriteTo(dest);
  std::vector<uint8_t> plane(bytesPerLine, 0);
  ByteBuffer enc;
  for (uint32_t y = 0; ok && y < image.height; ++y) {
    const uint8_t* s = image.pixels + size_t{y} * image.rowBytes;
    enc.Clear();
    for (uint32_t c = 0; c < 3; ++c) {
      for (uint32_t x = 0; x < image.width; ++x) plane[x] = s[3 * x + c];
      // Runs stay inside each plane's line, as every reader expects.
      for (uint32_t x = 0; x < bytesPerLine;) {
        uint32_t run = 1;
        while (x + run < bytesPerLine && run < 63 && plane[x + run] == plane[x]) ++run;
        if (run > 1 || (plane[x] & 0xC0) == 0xC0) enc.U8(0xC0 | run);
        enc.U8(plane[x]);
        x += run;
      }
    }
    ok = enc.WriteTo(dest);
  }
  uint32_t r = ok ? kOk : kErrWrite;
  SetLastError(r);
  return r;
}

}  // namespace qimg
