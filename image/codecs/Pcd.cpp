#include "image/codecs/Pcd.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/codecs/ByteReader.h"

namespace qimg {

namespace {
using namespace codec;

constexpr uint32_t kSignatureAt = 2048;
constexpr uint32_t kOrientationAt = 0x0E02;
constexpr uint64_t kBaseAt = 0x30000;  // resolution step 3, the base image
constexpr uint32_t kWidth = 768, kHeight = 512;
constexpr uint64_t kBaseBytes = uint64_t{kWidth} * kHeight * 3 / 2;

bool Signature(const uint8_t* p) { return std::memcmp(p, "PCD_IPI", 7) == 0; }

// Quarter turns stored with the image: 1 and 3 are portrait.
uint32_t ParseFile(Source& src, uint32_t& turns) {
  uint8_t sig[7], o = 0;
  if (!src.Seek(kSignatureAt) || !src.ReadExact(sig, 7)) return kErrTruncated;
  if (!Signature(sig)) return kErrFormat;
  if (!src.Seek(kOrientationAt) || !src.ReadExact(&o, 1)) return kErrTruncated;
  turns = o & 3;
  if (src.Size() < kBaseAt + kBaseBytes) return kErrTruncated;
  return kOk;
}

// Half-resolution chroma to full resolution: samples at even positions,
// midpoints between them, the last row and column repeated.
void Upsample(const std::vector<uint8_t>& half, std::vector<uint8_t>& full) {
  constexpr uint32_t hw = kWidth / 2, hh = kHeight / 2;
  auto at = [&](uint32_t x, uint32_t y) -> uint32_t {
    return half[size_t{std::min(y, hh - 1)} * hw + std::min(x, hw - 1)];
  };
  for (uint32_t y = 0; y < kHeight; ++y) {
    uint32_t y0 = y / 2, y1 = (y & 1) ? y0 + 1 : y0;
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint32_t x0 = x / 2, x1 = (x & 1) ? x0 + 1 : x0;
      full[size_t{y} * kWidth + x] =
          uint8_t((at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1) + 2) / 4);
    }
  }
}

}  // namespace

bool SniffPCD(const uint8_t* head, size_t n) {
  return n >= kSignatureAt + 7 && Signature(head + kSignatureAt);
}

bool GetPCDDims(Source& source, Info& info) {
  uint32_t turns = 0;
  if (ParseFile(source, turns) != kOk) return false;
  bool portrait = turns & 1;
  info.width = portrait ? kHeight : kWidth;
  info.height = portrait ? kWidth : kHeight;
  info.bitsPerPixel = 24;
  info.colorType = 0;
  info.resX = info.resY = 0;
  info.resUnit = 0;
  return true;
}

uint32_t ReadPCD(Source& source, Decoded& out) {
  out = Decoded();
  uint32_t turns = 0;
  uint32_t r = ParseFile(source, turns);
  if (r != kOk) return Fail(out, r);
  std::vector<uint8_t> luma(size_t{kWidth} * kHeight), c1h(kWidth * kHeight / 4), c2h(c1h.size());
  if (!source.Seek(kBaseAt)) return Fail(out, kErrRead);
  // Each pair of luma rows is followed by one row of each chroma channel.
  for (uint32_t y = 0; y < kHeight; y += 2) {
    if (!source.ReadExact(luma.data() + size_t{y} * kWidth, 2 * kWidth) ||
        !source.ReadExact(c1h.data() + size_t{y / 2} * (kWidth / 2), kWidth / 2) ||
        !source.ReadExact(c2h.data() + size_t{y / 2} * (kWidth / 2), kWidth / 2))
      return Fail(out, kErrTruncated);
  }
  std::vector<uint8_t> c1(luma.size()), c2(luma.size());
  Upsample(c1h, c1);
  Upsample(c2h, c2);

  bool portrait = turns & 1;
  uint32_t w = portrait ? kHeight : kWidth, h = portrait ? kWidth : kHeight;
  out.pixels.reset(AllocBlock(size_t{w} * h * 3));
  if (!out.pixels) return Fail(out, kErrNoMemory);
  out.width = w, out.height = h, out.bitsPerPixel = 24;
  uint8_t* px = out.pixels.get();
  // PhotoYCC (luma scaled by 1.3584, chroma centred on 156 and 137) to RGB,
  // with the whole 0..346 range of the result mapped onto 0..255 so that
  // highlights keep their detail instead of clipping. Chroma terms come from
  // tables in 16.16 fixed point.
  int32_t redC2[256], greenC1[256], greenC2[256], blueC1[256];
  for (int v = 0; v < 256; ++v) {
    redC2[v] = int32_t(std::lround(1.340762 * (v - 137) * 65536));
    greenC1[v] = int32_t(std::lround(-0.317038 * (v - 156) * 65536));
    greenC2[v] = int32_t(std::lround(-0.682243 * (v - 137) * 65536));
    blueC1[v] = int32_t(std::lround(1.632639 * (v - 156) * 65536));
  }
  auto clamp = [](int32_t v) { return uint8_t(std::clamp((v + 32768) >> 16, 0, 255)); };
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      size_t i = size_t{y} * kWidth + x;
      int32_t l = int32_t(luma[i]) << 16;
      uint8_t a = c1[i], b = c2[i];
      uint8_t rgb[3] = {clamp(l + redC2[b]), clamp(l + greenC1[a] + greenC2[b]),
                        clamp(l + blueC1[a])};
      uint32_t dx = x, dy = y;
      switch (turns) {
        case 1: dx = y, dy = kWidth - 1 - x; break;  // stored turned clockwise
        case 2: dx = kWidth - 1 - x, dy = kHeight - 1 - y; break;
        case 3: dx = kHeight - 1 - y, dy = x; break;
        default: break;
      }
      std::memcpy(px + (size_t{dy} * w + dx) * 3, rgb, 3);
    }
  }
  SetLastError(kOk);
  return kOk;
}

}  // namespace qimg
