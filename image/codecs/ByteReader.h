// Shared pieces of our own codecs: byte order helpers, a buffered byte stream
// for compressed data, a little writer buffer and the builder that turns
// decoded rows into the block depth the caller asked for.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "image/lib/Imaging.h"

namespace qimg::codec {

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t Le32s(const uint8_t* p) { return static_cast<int32_t>(Le32(p)); }
inline int16_t Le16s(const uint8_t* p) { return static_cast<int16_t>(Le16(p)); }
inline uint16_t Be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Growing output buffer with little- and big-endian appenders.
class ByteBuffer {
 public:
  void U8(uint32_t v) { bytes_.push_back(char(v & 0xFF)); }
  void Le16(uint32_t v) { U8(v), U8(v >> 8); }
  void Le32(uint32_t v) { Le16(v & 0xFFFF), Le16(v >> 16); }
  void Be16(uint32_t v) { U8(v >> 8), U8(v); }
  void Be32(uint32_t v) { Be16(v >> 16), Be16(v & 0xFFFF); }
  void Bytes(const void* p, size_t n) { bytes_.append(static_cast<const char*>(p), n); }
  void Zeros(size_t n) { bytes_.append(n, '\0'); }
  size_t Size() const { return bytes_.size(); }
  void Clear() { bytes_.clear(); }
  bool WriteTo(Dest& dest) const { return dest.Write(bytes_.data(), bytes_.size()); }
  const std::string& Str() const { return bytes_; }

 private:
  std::string bytes_;
};

// Buffered reads from a source up to an end offset; compressed streams are
// consumed a byte at a time, which Source::Read alone would make slow.
class ByteStream {
 public:
  ByteStream(Source& source, uint64_t end);
  bool Get(uint8_t& b) {
    if (pos_ == fill_ && !Refill()) return false;
    b = buf_[pos_++];
    return true;
  }
  bool Read(uint8_t* dst, size_t n);
  // Bytes not yet consumed before the end offset.
  uint64_t Remaining() const { return (end_ - fileNext_) + (fill_ - pos_); }

 private:
  bool Refill();
  Source& source_;
  uint64_t end_;
  uint64_t fileNext_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t pos_ = 0, fill_ = 0;
};

// Resets a decode result and records the error.
uint32_t Fail(Decoded& out, uint32_t code);

// What a decoder hands over per row.
enum class Native {
  kIndex,  // one palette index per byte
  kRGB,    // R,G,B
  kRGBA,   // R,G,B,A
};

// Allocates the caller's block at the requested depth and converts native
// rows into it. Checks the size limit before allocating.
class PictureBuilder {
 public:
  // nativeBits: bits per index of the file (1..8) for kIndex; 1-bit output
  // is offered only for 1-bit files, 8-bit output only for indexed files.
  uint32_t Begin(Decoded& out, uint32_t width, uint32_t height, uint32_t requestedBpp, Native kind,
                 uint32_t nativeBits, const Palette* palette);
  // Row y of the picture (0 = top). False when an index lies past the palette.
  bool PutRow(uint32_t y, const uint8_t* row);
  // Pixel bytes of one native row.
  uint32_t NativeRowBytes() const { return nativeRowBytes_; }
  uint8_t* Row(uint32_t y) { return out_->pixels.get() + size_t{y} * rowBytes_; }

 private:
  Decoded* out_ = nullptr;
  Native kind_ = Native::kRGB;
  uint32_t width_ = 0, bpp_ = 0, rowBytes_ = 0, nativeRowBytes_ = 0;
};

// Checks the requested depth and the block size; kOk or an error code.
uint32_t CheckRequest(uint32_t width, uint32_t height, uint32_t requestedBpp);

// Common writer argument check: a 24-bit picture with pixels.
bool ValidRGB(const WriteImage& image);

// 5-bit channel to 8 bits, as readers of 15/16-bit pictures commonly do.
inline uint8_t Expand5(uint32_t v) { return uint8_t((v << 3) | (v >> 2)); }

void GreyPalette(Palette& palette);

}  // namespace qimg::codec
