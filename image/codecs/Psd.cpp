#include "image/codecs/Psd.h"

#include <algorithm>
#include <vector>

#include "image/codecs/ByteReader.h"

namespace qimg {

namespace {
using namespace codec;

constexpr uint32_t kHeader = 26;
constexpr uint32_t kModeBitmap = 0, kModeGrey = 1, kModeIndexed = 2, kModeRGB = 3, kModeCMYK = 4;
constexpr uint32_t kMaxSide = 30000;  // larger pictures need the big-document variant
// PackBits turns two bytes into at most 128.
constexpr uint64_t kMaxRleExpansion = 64;

struct Header {
  uint32_t channels = 0, width = 0, height = 0, depth = 0, mode = 0;
  Palette palette;
  uint32_t compression = 0;
  uint64_t dataOffset = 0;  // just past the compression field
};

uint32_t ParseFile(Source& src, Header& h) {
  uint8_t b[kHeader];
  if (!src.Seek(0) || !src.ReadExact(b, kHeader)) return kErrTruncated;
  if (std::memcmp(b, "8BPS", 4) != 0) return kErrFormat;
  if (Be16(b + 4) != 1) return kErrUnsupported;
  h.channels = Be16(b + 12);
  h.height = Be32(b + 14);
  h.width = Be32(b + 18);
  h.depth = Be16(b + 22);
  h.mode = Be16(b + 24);
  if (h.channels < 1 || h.channels > 56 || h.width == 0 || h.height == 0) return kErrFormat;
  if (h.width > kMaxSide || h.height > kMaxSide) return kErrFormat;
  switch (h.mode) {
    case kModeBitmap:
      if (h.depth != 1) return kErrFormat;
      break;
    case kModeIndexed:
      if (h.depth != 8) return kErrFormat;
      break;
    case kModeGrey:
    case kModeRGB:
    case kModeCMYK:
      if (h.depth != 8 && h.depth != 16) return kErrUnsupported;
      break;
    default: return kErrUnsupported;  // multichannel, duotone, Lab
  }
  if ((h.mode == kModeRGB && h.channels < 3) || (h.mode == kModeCMYK && h.channels < 4))
    return kErrFormat;
  uint64_t pos = kHeader;
  uint8_t len[4];
  if (!src.ReadExact(len, 4)) return kErrTruncated;
  uint32_t modeData = Be32(len);
  pos += 4;
  if (h.mode == kModeIndexed) {
    if (modeData < 768) return kErrFormat;
    uint8_t t[768];
    if (!src.ReadExact(t, 768)) return kErrTruncated;
    for (uint32_t i = 0; i < 256; ++i) h.palette.entries[i] = {t[512 + i], t[256 + i], t[i], 0};
    h.palette.count = 256;
  } else if (h.mode == kModeGrey) {
    GreyPalette(h.palette);
  } else if (h.mode == kModeBitmap) {
    h.palette.entries[0] = {255, 255, 255, 0};
    h.palette.entries[1] = {0, 0, 0, 0};
    h.palette.count = 2;
  }
  pos += modeData;
  for (int section = 0; section < 2; ++section) {  // image resources, layers and masks
    if (pos + 4 > src.Size() || !src.Seek(pos) || !src.ReadExact(len, 4)) return kErrTruncated;
    pos += 4 + uint64_t{Be32(len)};
  }
  uint8_t c[2];
  if (pos + 2 > src.Size() || !src.Seek(pos) || !src.ReadExact(c, 2)) return kErrTruncated;
  h.compression = Be16(c);
  if (h.compression > 1) return kErrUnsupported;  // zip variants
  h.dataOffset = pos + 2;
  return kOk;
}

uint8_t To8(const uint8_t* p, uint32_t depth) {
  if (depth == 8) return p[0];
  uint32_t v = Be16(p) + 128u;
  return uint8_t((v - (v >> 8)) >> 8);  // rounds v / 257
}

// Reads the rows of the first `channels` channels in file order.
class ChannelRows {
 public:
  ChannelRows(Source& src, const Header& h, uint32_t channels)
      : src_(src), h_(h), channels_(channels) {
    rowBytes_ = h.depth == 1 ? (h.width + 7) / 8 : h.width * (h.depth / 8);
  }
  uint32_t RowBytes() const { return rowBytes_; }

  // Checks the data against the file size, then loads the row length table.
  uint32_t Start() {
    uint64_t size = src_.Size();
    if (h_.dataOffset > size) return kErrTruncated;
    uint64_t available = size - h_.dataOffset;
    uint64_t rows = uint64_t{channels_} * h_.height;
    uint64_t need = rows * rowBytes_;
    if (h_.compression == 0) {
      if (available < need) return kErrTruncated;
      return src_.Seek(h_.dataOffset) ? kOk : kErrRead;
    }
    uint64_t table = uint64_t{h_.channels} * h_.height * 2;
    if (available < table) return kErrTruncated;
    std::vector<uint8_t> raw(static_cast<size_t>(rows * 2));
    if (!src_.Seek(h_.dataOffset) || !src_.ReadExact(raw.data(), raw.size())) return kErrTruncated;
    counts_.resize(static_cast<size_t>(rows));
    uint64_t sum = 0;
    for (size_t i = 0; i < counts_.size(); ++i) sum += counts_[i] = Be16(raw.data() + 2 * i);
    if (sum > available - table || need > sum * kMaxRleExpansion) return kErrTruncated;
    if (!src_.Seek(h_.dataOffset + table)) return kErrRead;
    stream_ = std::make_unique<ByteStream>(src_, size);
    packed_.resize(65536);  // row lengths are 16-bit
    return kOk;
  }

  uint32_t Next(uint8_t* row) {
    if (h_.compression == 0) return src_.ReadExact(row, rowBytes_) ? kOk : kErrTruncated;
    uint32_t n = counts_[index_++];
    if (!stream_->Read(packed_.data(), n)) return kErrTruncated;
    uint32_t in = 0, out = 0;
    while (out < rowBytes_) {
      if (in >= n) return kErrFormat;
      int8_t c = static_cast<int8_t>(packed_[in++]);
      if (c >= 0) {
        uint32_t len = uint32_t(c) + 1;
        if (in + len > n || out + len > rowBytes_) return kErrFormat;
        std::memcpy(row + out, packed_.data() + in, len);
        in += len, out += len;
      } else if (c != -128) {
        uint32_t len = uint32_t(1 - c);
        if (in >= n || out + len > rowBytes_) return kErrFormat;
        std::memset(row + out, packed_[in++], len);
        out += len;
      }
    }
    return kOk;
  }

 private:
  Source& src_;
  const Header& h_;
  uint32_t channels_;
  uint32_t rowBytes_ = 0;
  std::vector<uint32_t> counts_;
  std::vector<uint8_t> packed_;
  size_t index_ = 0;
  std::unique_ptr<ByteStream> stream_;
};

uint32_t DecodeIndexed(Source& src, const Header& h, uint32_t bpp, Decoded& out) {
  ChannelRows rows(src, h, 1);
  if (uint32_t r = rows.Start()) return r;
  PictureBuilder pb;
  if (uint32_t r = pb.Begin(out, h.width, h.height, bpp, Native::kIndex,
                            h.mode == kModeBitmap ? 1 : 8, &h.palette))
    return r;
  std::vector<uint8_t> raw(rows.RowBytes()), row(h.width);
  for (uint32_t y = 0; y < h.height; ++y) {
    if (uint32_t r = rows.Next(raw.data())) return r;
    if (h.depth == 1) {
      for (uint32_t x = 0; x < h.width; ++x) row[x] = (raw[x / 8] >> (7 - x % 8)) & 1;
    } else {
      for (uint32_t x = 0; x < h.width; ++x) row[x] = To8(raw.data() + x * (h.depth / 8), h.depth);
    }
    if (!pb.PutRow(y, row.data())) return kErrFormat;
  }
  return kOk;
}

// Colour channels are planar in the file: each is written straight into its
// byte of the interleaved block; CMYK keeps black aside until the end.
uint32_t DecodeColour(Source& src, const Header& h, uint32_t bpp, Decoded& out) {
  if (bpp != 24 && bpp != 32) return kErrUnsupported;
  bool cmyk = h.mode == kModeCMYK;
  uint32_t colour = cmyk ? 4 : 3;
  bool alpha = bpp == 32 && h.channels > colour;
  uint32_t channels = colour + (alpha ? 1 : 0);
  ChannelRows rows(src, h, channels);
  if (uint32_t r = rows.Start()) return r;
  uint64_t size = BlockSize(h.width, h.height, bpp);
  out.pixels.reset(AllocBlock(static_cast<size_t>(size)));
  if (!out.pixels) return kErrNoMemory;
  out.width = h.width, out.height = h.height, out.bitsPerPixel = bpp;
  uint32_t step = bpp / 8, sampleBytes = h.depth / 8;
  std::vector<uint8_t> black;
  if (cmyk) black.resize(size_t{h.width} * h.height);
  std::vector<uint8_t> raw(rows.RowBytes());
  uint8_t* px = out.pixels.get();
  for (uint32_t c = 0; c < channels; ++c) {
    for (uint32_t y = 0; y < h.height; ++y) {
      if (uint32_t r = rows.Next(raw.data())) return r;
      if (cmyk && c == 3) {
        uint8_t* d = black.data() + size_t{y} * h.width;
        for (uint32_t x = 0; x < h.width; ++x) d[x] = To8(raw.data() + x * sampleBytes, h.depth);
        continue;
      }
      uint32_t slot = c < 3 ? c : 3;
      uint8_t* d = px + size_t{y} * h.width * step + slot;
      for (uint32_t x = 0; x < h.width; ++x, d += step)
        *d = To8(raw.data() + x * sampleBytes, h.depth);
    }
  }
  size_t pixels = size_t{h.width} * h.height;
  if (cmyk) {
    // Stored values are inverted inks, so each is the share of light kept.
    for (size_t i = 0; i < pixels; ++i) {
      uint8_t* d = px + i * step;
      uint32_t k = black[i];
      for (int j = 0; j < 3; ++j) d[j] = uint8_t((d[j] * k + 127) / 255);
    }
  }
  if (bpp == 32 && !alpha)
    for (size_t i = 0; i < pixels; ++i) px[i * 4 + 3] = 255;
  return kOk;
}

void PackBits(const uint8_t* p, uint32_t n, std::vector<uint8_t>& out) {
  out.clear();
  auto same = [&](uint32_t i) {
    uint32_t r = 1;
    while (i + r < n && r < 128 && p[i + r] == p[i]) ++r;
    return r;
  };
  for (uint32_t i = 0; i < n;) {
    uint32_t run = same(i);
    if (run >= 3) {
      out.push_back(uint8_t(257 - run));
      out.push_back(p[i]);
      i += run;
      continue;
    }
    uint32_t start = i;
    while (i < n && i - start < 128 && same(i) < 3) ++i;
    out.push_back(uint8_t(i - start - 1));
    out.insert(out.end(), p + start, p + i);
  }
}

}  // namespace

bool SniffPSD(const uint8_t* head, size_t n) {
  return n >= kHeader && std::memcmp(head, "8BPS", 4) == 0 && Be16(head + 4) == 1;
}

bool GetPSDDims(Source& source, Info& info) {
  Header h;
  if (ParseFile(source, h) != kOk) return false;
  info.width = h.width;
  info.height = h.height;
  info.bitsPerPixel = h.depth;
  info.colorType = int(h.mode);
  info.resX = info.resY = 0;
  info.resUnit = 0;
  return true;
}

bool GetPSDPalette(Source& source, Palette& palette) {
  Header h;
  if (ParseFile(source, h) != kOk || h.mode > kModeIndexed) return false;
  palette = h.palette;
  return true;
}

uint32_t ReadPSD(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded();
  Header h;
  uint32_t r = ParseFile(source, h);
  if (r == kOk) r = CheckRequest(h.width, h.height, bitsPerPixel);
  if (r == kOk)
    r = h.mode <= kModeIndexed ? DecodeIndexed(source, h, bitsPerPixel, out)
                               : DecodeColour(source, h, bitsPerPixel, out);
  if (r != kOk) return Fail(out, r);
  SetLastError(kOk);
  return kOk;
}

uint32_t WritePSD(Dest& dest, const WriteImage& image) {
  if (!ValidRGB(image)) return SetLastError(kErrParam), kErrParam;
  if (image.width > kMaxSide || image.height > kMaxSide)
    return SetLastError(kErrTooLarge), kErrTooLarge;
  ByteBuffer hd;
  hd.Bytes("8BPS", 4), hd.Be16(1), hd.Zeros(6), hd.Be16(3), hd.Be32(image.height);
  hd.Be32(image.width), hd.Be16(8), hd.Be16(kModeRGB);
  hd.Be32(0), hd.Be32(0), hd.Be32(0);  // no colour mode data, resources or layers
  hd.Be16(1);                          // PackBits
  uint64_t tableAt = dest.Tell() + hd.Size();
  size_t rows = size_t{image.height} * 3;
  bool ok = hd.WriteTo(dest);
  std::vector<uint8_t> table(rows * 2, 0), plane(image.width), packed;
  ok = ok && dest.Write(table.data(), table.size());
  for (uint32_t c = 0; ok && c < 3; ++c) {
    for (uint32_t y = 0; ok && y < image.height; ++y) {
      const uint8_t* s = image.pixels + size_t{y} * image.rowBytes + c;
      for (uint32_t x = 0; x < image.width; ++x) plane[x] = s[3 * x];
      PackBits(plane.data(), image.width, packed);
      size_t i = size_t{c} * image.height + y;
      table[2 * i] = uint8_t(packed.size() >> 8), table[2 * i + 1] = uint8_t(packed.size());
      ok = dest.Write(packed.data(), packed.size());
    }
  }
  uint64_t end = dest.Tell();
  ok = ok && dest.Seek(tableAt) && dest.Write(table.data(), table.size()) && dest.Seek(end);
  uint32_t r = ok ? kOk : kErrWrite;
  SetLastError(r);
  return r;
}

}  // namespace qimg
