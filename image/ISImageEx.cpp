#include "image/ISImageEx.h"

#include <algorithm>
#include <cstring>

CISImageEx::~CISImageEx() { ReleaseBlock(); }

void CISImageEx::ReleaseBlock() {
  qimg::FreeBlock(m_decoderBlock);
  qimg::FreeBlock(m_ownBlock);
  m_decoderBlock = nullptr;
  m_ownBlock = nullptr;
}

void CISImageEx::Clear() {
  ReleaseBlock();
  m_width = m_height = m_bitsPerPixel = m_paletteCount = 0;
}

uint32_t CISImageEx::RowBytes() const {
  switch (m_bitsPerPixel) {
    case 1: return (m_width + 7) / 8;
    case 8: return m_width;
    case 24: return 3 * m_width;
    case 32: return 4 * m_width;
    default: return 0;
  }
}

uint32_t CISImageEx::Create(uint32_t width, uint32_t height, uint32_t bitsPerPixel) {
  Clear();
  if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
    return kISRefused;
  // Absurd sizes are refused rather than wrapped around (qimg::BlockSize).
  const std::size_t size = qimg::BlockSize(width, height, bitsPerPixel);
  if (size == 0) return kISRefused;
  uint8_t* block = qimg::AllocBlock(size);
  if (!block) return kISOutOfMemory;
  m_decoderOwned = false;
  m_ownBlock = block;
  m_width = width;
  m_height = height;
  m_bitsPerPixel = bitsPerPixel;
  m_paletteCount = bitsPerPixel <= 8 ? (1u << bitsPerPixel) : 0;
  return kISOk;
}

uint32_t CISImageEx::CopyFrom(const CISImageEx& source) {
  if (&source == this) return HasPixels() ? kISOk : kISRefused;
  Clear();
  if (!source.HasPixels()) return kISRefused;
  uint32_t r = Create(source.m_width, source.m_height, source.m_bitsPerPixel);
  if (r != kISOk) return r;
  std::memcpy(Pixels(), source.Pixels(), size_t{source.RowBytes()} * source.m_height);
  m_paletteCount = source.m_paletteCount;
  std::memcpy(m_palette, source.m_palette,
              sizeof(qimg::PaletteEntry) * std::min(256u, m_paletteCount));
  return kISOk;
}

uint32_t CISImageEx::TakeOver(CISImageEx& source) {
  if (&source == this) return HasPixels() ? kISOk : kISRefused;
  Clear();
  if (!source.HasPixels()) return kISRefused;
  m_decoderOwned = source.m_decoderOwned;
  m_ownBlock = source.m_ownBlock;
  m_decoderBlock = source.m_decoderBlock;
  source.m_ownBlock = nullptr;
  source.m_decoderBlock = nullptr;
  m_width = source.m_width;
  m_height = source.m_height;
  m_bitsPerPixel = source.m_bitsPerPixel;
  m_paletteCount = source.m_paletteCount;
  std::memcpy(m_palette, source.m_palette, sizeof m_palette);
  return kISOk;
}

void CISImageEx::AdoptDecoded(qimg::Decoded& decoded) {
  Clear();
  if (!decoded.pixels) return;
  m_decoderOwned = true;
  m_decoderBlock = decoded.pixels.release();
  m_width = decoded.width;
  m_height = decoded.height;
  m_bitsPerPixel = decoded.bitsPerPixel;
  m_paletteCount = decoded.palette.count;
  std::memcpy(m_palette, decoded.palette.entries, sizeof m_palette);
}

uint32_t CISImageEx::ResizeFrom(const CISImageEx& source, uint32_t width, uint32_t height,
                                uint32_t method) {
  if (&source == this) return Resize(width, height, method);
  if (!source.HasPixels()) {
    Clear();
    return kISRefused;
  }
  if (width == source.m_width && height == source.m_height) return CopyFrom(source);
  uint32_t bytesPerPixel = source.m_bitsPerPixel / 8;
  if (bytesPerPixel != 3 && bytesPerPixel != 4) {
    Clear();
    return kISRefused;
  }
  uint32_t r = Create(width, height, source.m_bitsPerPixel);
  if (r != kISOk) return r;
  if (!qimg::ResizeImage(source.Pixels(), source.m_width, source.m_height, source.RowBytes(),
                         Pixels(), width, height, RowBytes(), bytesPerPixel, method)) {
    uint32_t code = qimg::GetLastError();
    return code ? code : qimg::kErrParam;
  }
  m_paletteCount = source.m_paletteCount;
  std::memcpy(m_palette, source.m_palette, sizeof m_palette);
  return kISOk;
}

uint32_t CISImageEx::Resize(uint32_t width, uint32_t height, uint32_t method) {
  if (!HasPixels()) return kISRefused;
  CISImageEx temp;
  uint32_t r = temp.ResizeFrom(*this, width, height, method);
  if (r != kISOk) return r;
  return TakeOver(temp);
}

uint32_t CISImageEx::ConvertTo24(CISImageEx& destination) const {
  if (!HasPixels()) return kISRefused;
  if (&destination == this) return kISRefused;
  if (m_bitsPerPixel == 24) return destination.CopyFrom(*this);
  if (m_bitsPerPixel == 1) {
    CISImageEx eight;
    uint32_t r = ConvertTo8(eight);
    if (r != kISOk) return r;
    return eight.ConvertTo24(destination);
  }
  if (m_bitsPerPixel == 32) {
    CISImageEx alpha;
    return SplitAlpha(destination, alpha);
  }
  uint32_t r = destination.Create(m_width, m_height, 24);
  if (r != kISOk) return r;
  destination.m_paletteCount = 0;
  if (m_bitsPerPixel == 8) {
    qimg::Palette pal;
    pal.count = std::min(256u, m_paletteCount);
    std::memcpy(pal.entries, m_palette, sizeof pal.entries);
    qimg::EightBitToRGB(Pixels(), m_width, m_height, RowBytes(), destination.Pixels(),
                        destination.RowBytes(), pal);
    return kISOk;
  }
  destination.Clear();
  return kISRefused;
}

uint32_t CISImageEx::ConvertTo8(CISImageEx& destination) const {
  if (!HasPixels()) return kISRefused;
  if (&destination == this) return kISRefused;
  if (m_bitsPerPixel == 8) return destination.CopyFrom(*this);
  uint32_t r = destination.Create(m_width, m_height, 8);
  if (r != kISOk) return r;
  if (m_bitsPerPixel == 24) {
    qimg::Palette pal;
    uint32_t q = qimg::QuantizeRGBTo8Bit(Pixels(), m_width, m_height, RowBytes(),
                                         destination.Pixels(), destination.RowBytes(), pal);
    if (q != qimg::kOk) {
      destination.Clear();
      return q;
    }
    std::memcpy(destination.m_palette, pal.entries, sizeof pal.entries);
    destination.m_paletteCount = 256;
    return kISOk;
  }
  if (m_bitsPerPixel == 1) {
    qimg::UnpackBufferTo8Bit(Pixels(), m_width, m_height, RowBytes(), destination.Pixels(),
                             destination.RowBytes());
    std::memcpy(destination.m_palette, m_palette, sizeof m_palette);
    destination.m_paletteCount = 256;
    return kISOk;
  }
  destination.Clear();
  return kISRefused;
}

uint32_t CISImageEx::ConvertToTwoTone(CISImageEx& destination, uint32_t threshold) const {
  if (!HasPixels()) return kISRefused;
  if (&destination == this || m_bitsPerPixel != 24) return kISRefused;
  uint32_t tolerance = 3 * threshold * threshold;
  uint32_t r = destination.Create(m_width, m_height, 8);
  if (r != kISOk) return r;
  const uint8_t* src = Pixels();
  uint8_t* dst = destination.Pixels();
  uint32_t rowBytes = RowBytes();
  for (uint32_t y = 0; y < m_height; ++y) {
    const uint8_t* s = src + size_t{y} * rowBytes;
    uint8_t* d = dst + size_t{y} * m_width;
    for (uint32_t x = 0; x < m_width; ++x, s += 3) {
      uint32_t colour = s[0] | (uint32_t{s[1]} << 8) | (uint32_t{s[2]} << 16);
      d[x] = qimg::ColorCompare(colour, 0, tolerance) ? 1 : 0;
    }
  }
  destination.m_palette[0] = {0, 0, 0, 0};
  destination.m_palette[1] = {255, 255, 255, 255};
  destination.m_paletteCount = 2;
  return kISOk;
}

uint32_t CISImageEx::SplitAlpha(CISImageEx& colour, CISImageEx& alpha) const {
  if (!HasPixels()) return kISRefused;
  if (m_bitsPerPixel != 32) return kISNot32Bit;
  if (&colour == this || &alpha == this || &colour == &alpha) return kISRefused;
  uint32_t r = colour.Create(m_width, m_height, 24);
  if (r != kISOk) return r;
  colour.m_paletteCount = 0;
  r = alpha.Create(m_width, m_height, 8);
  if (r != kISOk) return r;
  qimg::SplitRGBAToRGBPlusA(Pixels(), m_width, m_height, RowBytes(), colour.Pixels(),
                            colour.RowBytes(), alpha.Pixels(), alpha.RowBytes());
  return kISOk;
}
