#include <cstring>

#include "image/lib/Imaging.h"

namespace qimg {

void EightBitToRGB(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcRowBytes,
                   uint8_t* dst, uint32_t dstRowBytes, const Palette& palette) {
  uint8_t lut[256][3] = {};
  for (uint32_t i = 0; i < palette.count && i < 256; ++i) {
    lut[i][0] = palette.entries[i].red;
    lut[i][1] = palette.entries[i].green;
    lut[i][2] = palette.entries[i].blue;
  }
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = src + size_t{y} * srcRowBytes;
    uint8_t* d = dst + size_t{y} * dstRowBytes;
    for (uint32_t x = 0; x < width; ++x, d += 3) std::memcpy(d, lut[s[x]], 3);
  }
}

void UnpackBufferTo8Bit(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcRowBytes,
                        uint8_t* dst, uint32_t dstRowBytes) {
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = src + size_t{y} * srcRowBytes;
    uint8_t* d = dst + size_t{y} * dstRowBytes;
    for (uint32_t x = 0; x < width; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
  }
}

void SplitRGBAToRGBPlusA(const uint8_t* rgba, uint32_t width, uint32_t height, uint32_t rowBytes,
                         uint8_t* rgb, uint32_t rgbRowBytes, uint8_t* alpha,
                         uint32_t alphaRowBytes) {
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* s = rgba + size_t{y} * rowBytes;
    uint8_t* c = rgb + size_t{y} * rgbRowBytes;
    uint8_t* a = alpha + size_t{y} * alphaRowBytes;
    for (uint32_t x = 0; x < width; ++x, s += 4, c += 3) {
      c[0] = s[0];
      c[1] = s[1];
      c[2] = s[2];
      a[x] = s[3];
    }
  }
}

bool ColorCompare(uint32_t colorA, uint32_t colorB, uint32_t tolerance) {
  int dr = int(colorA & 0xFF) - int(colorB & 0xFF);
  int dg = int((colorA >> 8) & 0xFF) - int((colorB >> 8) & 0xFF);
  int db = int((colorA >> 16) & 0xFF) - int((colorB >> 16) & 0xFF);
  uint32_t d2 = uint32_t(dr * dr + dg * dg + db * db);
  return d2 >= tolerance;
}

}  // namespace qimg
