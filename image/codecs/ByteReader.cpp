#include "image/codecs/ByteReader.h"

#include <algorithm>

namespace qimg::codec {

namespace {
constexpr size_t kStreamBuffer = size_t{1} << 16;
}

ByteStream::ByteStream(Source& source, uint64_t end)
    : source_(source),
      end_(std::max(std::min(end, source.Size()), source.Tell())),
      fileNext_(source.Tell()),
      buf_(new uint8_t[kStreamBuffer]) {}

bool ByteStream::Refill() {
  if (fileNext_ >= end_) return false;
  size_t want = static_cast<size_t>(std::min<uint64_t>(kStreamBuffer, end_ - fileNext_));
  if (!source_.Seek(fileNext_)) return false;
  size_t got = source_.Read(buf_.get(), want);
  if (got == 0) {
    end_ = fileNext_;
    return false;
  }
  fileNext_ += got;
  pos_ = 0;
  fill_ = got;
  return true;
}

bool ByteStream::Read(uint8_t* dst, size_t n) {
  while (n > 0) {
    if (pos_ == fill_ && !Refill()) return false;
    size_t take = std::min(n, fill_ - pos_);
    std::memcpy(dst, buf_.get() + pos_, take);
    pos_ += take;
    dst += take;
    n -= take;
  }
  return true;
}

uint32_t Fail(Decoded& out, uint32_t code) {
  out.pixels.reset();
  out.width = out.height = out.bitsPerPixel = 0;
  out.palette.count = 0;
  SetLastError(code);
  return code;
}

uint32_t CheckRequest(uint32_t width, uint32_t height, uint32_t requestedBpp) {
  if (requestedBpp != 1 && requestedBpp != 8 && requestedBpp != 24 && requestedBpp != 32)
    return kErrParam;
  if (width == 0 || height == 0) return kErrFormat;
  if (BlockSize(width, height, requestedBpp) == 0) return kErrTooLarge;
  return kOk;
}

uint32_t PictureBuilder::Begin(Decoded& out, uint32_t width, uint32_t height, uint32_t requestedBpp,
                               Native kind, uint32_t nativeBits, const Palette* palette) {
  if (uint32_t r = CheckRequest(width, height, requestedBpp)) return r;
  bool indexed = kind == Native::kIndex;
  if (requestedBpp == 1 && !(indexed && nativeBits == 1)) return kErrUnsupported;
  if (requestedBpp == 8 && !indexed) return kErrUnsupported;
  if (indexed && (!palette || palette->count == 0)) return kErrFormat;
  uint64_t size = BlockSize(width, height, requestedBpp);
  out.pixels.reset(AllocBlock(static_cast<size_t>(size)));
  if (!out.pixels) return kErrNoMemory;
  out.width = width;
  out.height = height;
  out.bitsPerPixel = requestedBpp;
  if (indexed) {
    out.palette = *palette;
  } else {
    out.palette.count = 0;
  }
  out_ = &out;
  kind_ = kind;
  width_ = width;
  bpp_ = requestedBpp;
  rowBytes_ = static_cast<uint32_t>(size / height);
  nativeRowBytes_ = width * (indexed ? 1 : kind == Native::kRGB ? 3 : 4);
  return kOk;
}

bool PictureBuilder::PutRow(uint32_t y, const uint8_t* row) {
  uint8_t* dst = Row(y);
  const Palette& pal = out_->palette;
  if (kind_ == Native::kIndex) {
    uint32_t count = pal.count;
    uint8_t worst = 0;
    for (uint32_t x = 0; x < width_; ++x) worst = std::max(worst, row[x]);
    if (worst >= count) return false;
    switch (bpp_) {
      case 1:
        std::memset(dst, 0, rowBytes_);
        for (uint32_t x = 0; x < width_; ++x)
          if (row[x]) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
        break;
      case 8: std::memcpy(dst, row, width_); break;
      case 24:
        for (uint32_t x = 0; x < width_; ++x, dst += 3) {
          const PaletteEntry& e = pal.entries[row[x]];
          dst[0] = e.red, dst[1] = e.green, dst[2] = e.blue;
        }
        break;
      default:
        for (uint32_t x = 0; x < width_; ++x, dst += 4) {
          const PaletteEntry& e = pal.entries[row[x]];
          dst[0] = e.red, dst[1] = e.green, dst[2] = e.blue, dst[3] = 255;
        }
        break;
    }
    return true;
  }
  if (kind_ == Native::kRGB) {
    if (bpp_ == 24) {
      std::memcpy(dst, row, size_t{width_} * 3);
    } else {
      for (uint32_t x = 0; x < width_; ++x, dst += 4, row += 3)
        dst[0] = row[0], dst[1] = row[1], dst[2] = row[2], dst[3] = 255;
    }
    return true;
  }
  if (bpp_ == 32) {
    std::memcpy(dst, row, size_t{width_} * 4);
  } else {
    for (uint32_t x = 0; x < width_; ++x, dst += 3, row += 4)
      dst[0] = row[0], dst[1] = row[1], dst[2] = row[2];
  }
  return true;
}

bool ValidRGB(const WriteImage& image) {
  return image.pixels && image.width && image.height && image.bitsPerPixel == 24 &&
         image.rowBytes >= uint64_t{image.width} * 3;
}

void GreyPalette(Palette& palette) {
  for (uint32_t i = 0; i < 256; ++i) {
    uint8_t v = uint8_t(i);
    palette.entries[i] = {v, v, v, 0};
  }
  palette.count = 256;
}

}  // namespace qimg::codec
