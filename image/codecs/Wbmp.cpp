#include "image/codecs/Wbmp.h"

#include <vector>

#include "image/codecs/ByteReader.h"

namespace qimg {

namespace {
using namespace codec;

// Largest side we accept: four 7-bit groups.
constexpr uint32_t kMaxIntBytes = 4;

// Multi-byte integer: 7 bits per byte, high bit set on all but the last.
bool ReadInt(const uint8_t* b, size_t n, size_t& pos, uint32_t& value) {
  value = 0;
  for (uint32_t i = 0; i < kMaxIntBytes; ++i) {
    if (pos >= n) return false;
    uint8_t c = b[pos++];
    if (i == 0 && c == 0x80) return false;  // padded encodings do not occur
    value = (value << 7) | (c & 0x7F);
    if (!(c & 0x80)) return true;
  }
  return false;
}

struct Header {
  uint32_t width = 0, height = 0;
  size_t dataOffset = 0;
  uint64_t dataBytes = 0;
};

bool ParseBytes(const uint8_t* b, size_t n, Header& h) {
  if (n < 4 || b[0] != 0 || b[1] != 0) return false;  // type 0, no extension headers
  size_t pos = 2;
  if (!ReadInt(b, n, pos, h.width) || !ReadInt(b, n, pos, h.height)) return false;
  if (h.width == 0 || h.height == 0) return false;
  h.dataOffset = pos;
  h.dataBytes = (uint64_t{h.width} + 7) / 8 * h.height;
  return true;
}

uint32_t ParseFile(Source& src, Header& h) {
  uint8_t b[2 + 2 * kMaxIntBytes];
  if (!src.Seek(0)) return kErrRead;
  size_t n = src.Read(b, sizeof b);
  if (!ParseBytes(b, n, h)) return n < 4 ? kErrTruncated : kErrFormat;
  if (src.Size() < h.dataOffset + h.dataBytes) return kErrTruncated;
  return kOk;
}

}  // namespace

bool SniffWBMP(const uint8_t* head, size_t n) {
  Header h;
  if (!ParseBytes(head, n, h)) return false;
  uint64_t total = h.dataOffset + h.dataBytes;
  // A head shorter than the sniff window is the whole file.
  return n < 4096 ? total == n : total >= n;
}

bool GetWBMPDims(Source& source, Info& info) {
  Header h;
  if (ParseFile(source, h) != kOk) return false;
  info.width = h.width;
  info.height = h.height;
  info.bitsPerPixel = 1;
  info.colorType = 0;
  info.resX = info.resY = 0;
  info.resUnit = 0;
  return true;
}

uint32_t ReadWBMP(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded();
  Header h;
  uint32_t r = ParseFile(source, h);
  if (r == kOk) r = CheckRequest(h.width, h.height, bitsPerPixel);
  if (r != kOk) return Fail(out, r);
  Palette pal;
  pal.entries[0] = {0, 0, 0, 0};
  pal.entries[1] = {255, 255, 255, 0};
  pal.count = 2;
  PictureBuilder pb;
  if ((r = pb.Begin(out, h.width, h.height, bitsPerPixel, Native::kIndex, 1, &pal)) != kOk)
    return Fail(out, r);
  std::vector<uint8_t> packed((h.width + 7) / 8), row(h.width);
  if (!source.Seek(h.dataOffset)) return Fail(out, kErrRead);
  for (uint32_t y = 0; y < h.height; ++y) {
    if (!source.ReadExact(packed.data(), packed.size())) return Fail(out, kErrTruncated);
    for (uint32_t x = 0; x < h.width; ++x) row[x] = (packed[x / 8] >> (7 - x % 8)) & 1;
    pb.PutRow(y, row.data());
  }
  SetLastError(kOk);
  return kOk;
}

uint32_t WriteWBMP(Dest& dest, const WriteImage& image) {
  if (!image.pixels || !image.width || !image.height || image.bitsPerPixel != 8 ||
      image.rowBytes < image.width)
    return SetLastError(kErrParam), kErrParam;
  if (image.width >= (1u << 28) || image.height >= (1u << 28))
    return SetLastError(kErrTooLarge), kErrTooLarge;
  ByteBuffer hd;
  hd.U8(0), hd.U8(0);
  for (uint32_t v : {image.width, image.height}) {
    int groups = 1;
    while (groups < 4 && (v >> (7 * groups))) ++groups;
    for (int g = groups - 1; g >= 0; --g) hd.U8(((v >> (7 * g)) & 0x7F) | (g ? 0x80 : 0));
  }
  bool ok = hd.WriteTo(dest);
  std::vector<uint8_t> packed((image.width + 7) / 8);
  for (uint32_t y = 0; ok && y < image.height; ++y) {
    const uint8_t* s = image.pixels + size_t{y} * image.rowBytes;
    std::fill(packed.begin(), packed.end(), 0);
    for (uint32_t x = 0; x < image.width; ++x)
      if (s[x]) packed[x / 8] |= uint8_t(0x80 >> (x % 8));
    ok = dest.Write(packed.data(), packed.size());
  }
  uint32_t r = ok ? kOk : kErrWrite;
  SetLastError(r);
  return r;
}

}  // namespace qimg
