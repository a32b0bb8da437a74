// PNG reading over libpng; the probe and the palette getter parse the chunks
// themselves (cheap, and no libpng state for a header look-up).
#include "image/codecs/Png.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "image/codecs/PngFast.h"

namespace qimg {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Ancillary chunks (iCCP, zTXt, ...) may not make libpng allocate more than this.
constexpr png_alloc_size_t kChunkMallocMax = png_alloc_size_t{8} << 20;
constexpr uint32_t kMaxDimension = 1u << 24;
// Deflate cannot compress better than about 1032:1; a file smaller than its
// pixel data allows is lying about its size or truncated.
constexpr uint64_t kMaxDeflateRatio = 1100;

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool ValidDepth(uint32_t colorType, uint32_t depth) {
  switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

uint32_t SamplesPerPixel(uint32_t colorType) {
  switch (colorType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

// Header facts gathered by walking the chunks before the first IDAT.
struct PngHeader {
  uint32_t width = 0, height = 0, depth = 0, colorType = 0, interlace = 0;
  bool hasPhys = false;
  uint32_t physX = 0, physY = 0, physUnit = 0;
  uint32_t paletteCount = 0;
  uint8_t palette[256 * 3] = {};
};

bool ParseHeader(Source& source, PngHeader& h) {
  uint8_t sig[8];
  if (!source.ReadExact(sig, 8) || std::memcmp(sig, kSignature, 8) != 0) return false;
  uint8_t ihdr[8 + 13 + 4];
  if (!source.ReadExact(ihdr, sizeof ihdr)) return false;
  if (Be32(ihdr) != 13 || std::memcmp(ihdr + 4, "IHDR", 4) != 0) return false;
  const uint8_t* d = ihdr + 8;
  h.width = Be32(d);
  h.height = Be32(d + 4);
  h.depth = d[8];
  h.colorType = d[9];
  h.interlace = d[12];
  if (h.width == 0 || h.height == 0 || h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu)
    return false;
  if (!ValidDepth(h.colorType, h.depth) || d[10] != 0 || d[11] != 0 || h.interlace > 1)
    return false;
  // Ancillary chunks of interest come before IDAT; stop there.
  for (int guard = 0; guard < 10000; ++guard) {
    uint8_t head[8];
    if (!source.ReadExact(head, 8)) return true;
    uint32_t length = Be32(head);
    if (length > 0x7FFFFFFFu) return false;
    const uint8_t* type = head + 4;
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return true;
    if (std::memcmp(type, "pHYs", 4) == 0 && length == 9) {
      uint8_t p[9];
      if (!source.ReadExact(p, 9)) return true;
      h.hasPhys = true;
      h.physX = Be32(p);
      h.physY = Be32(p + 4);
      h.physUnit = p[8];
      length = 0;
    } else if (std::memcmp(type, "PLTE", 4) == 0 && length % 3 == 0 && length <= 768 &&
               h.paletteCount == 0) {
      if (!source.ReadExact(h.palette, length)) return true;
      h.paletteCount = length / 3;
      length = 0;
    }
    if (!source.Skip(uint64_t{length} + 4)) return true;
  }
  return true;
}

void GreyRamp(Palette& palette) {
  for (uint32_t i = 0; i < 256; ++i) {
    uint8_t v = static_cast<uint8_t>(i);
    palette.entries[i] = {v, v, v, 0};
  }
  palette.count = 256;
}

void BlackWhite(Palette& palette) {
  palette.entries[0] = {0, 0, 0, 0};
  palette.entries[1] = {255, 255, 255, 0};
  palette.count = 2;
}

// Palette indices past the palette's end make the file corrupt.
bool CheckIndices(const uint8_t* block, uint32_t width, uint32_t height, size_t rowBytes,
                  uint32_t bpp, uint32_t count) {
  if (count >= 256) return true;
  if (bpp == 1) {
    if (count >= 2) return true;
    // Only index 0 exists: every valid pixel bit must be clear.
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* row = block + y * rowBytes;
      for (uint32_t x = 0; x < width; ++x)
        if (row[x >> 3] & (0x80 >> (x & 7))) return false;
    }
    return true;
  }
  size_t offset = bpp == 24 ? size_t{width} * 2 : 0;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = block + y * rowBytes + offset;
    uint8_t worst = 0;
    for (uint32_t x = 0; x < width; ++x) worst = std::max(worst, row[x]);
    if (worst >= count) return false;
  }
  return true;
}

// Each row holds its indices at 2 * width; writing R,G,B for pixel x ends at
// 3x + 2, never past the index of a later pixel, so one forward pass suffices.
void ExpandPalette(uint8_t* block, uint32_t width, uint32_t height, const png_color* plte) {
  size_t rowBytes = size_t{width} * 3;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = block + y * rowBytes;
    const uint8_t* index = row + size_t{width} * 2;
    for (uint32_t x = 0; x < width; ++x) {
      png_color c = plte[index[x]];
      row[3 * x] = c.red;
      row[3 * x + 1] = c.green;
      row[3 * x + 2] = c.blue;
    }
  }
}

// ---------------------------------------------------------------------------
// libpng reports errors by longjmp. The frame that calls setjmp (Run) holds
// only trivially destructible locals; everything needing release lives in the
// PngReader object, whose destructor runs in the caller's frame.
struct PngReader {
  Source* source = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  uint8_t* block = nullptr;
  png_bytep* rows = nullptr;
  uint32_t error = kErrFormat;
  bool readFailed = false;

  ~PngReader() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    std::free(rows);
    FreeBlock(block);
  }

  static void ReadData(png_structp png, png_bytep data, size_t length) {
    auto* self = static_cast<PngReader*>(png_get_io_ptr(png));
    if (!self->source->ReadExact(data, length)) {
      self->readFailed = true;
      png_error(png, "file ends early");
    }
  }
  static void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
  static void OnWarning(png_structp, png_const_charp) {}

  uint32_t Run(uint32_t bpp, Decoded& out);
};

uint32_t PngReader::Run(uint32_t bpp, Decoded& out) {
  if (setjmp(png_jmpbuf(png))) return readFailed ? kErrTruncated : error;

  png_set_read_fn(png, this, ReadData);
  png_set_user_limits(png, kMaxDimension, kMaxDimension);
  png_set_chunk_malloc_max(png, kChunkMallocMax);
  png_set_chunk_cache_max(png, 1000);
  // Ancillary chunks are skipped unread, known ones too: nothing here uses
  // them (pHYs comes from the probe), and libpng would otherwise allocate a
  // text chunk's whole claimed length.
  static const png_byte kSkipped[] =
      "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0"
      "sRGB\0tEXt\0tIME\0tRNS\0zTXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, int(sizeof kSkipped / 5));
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);

  uint64_t fileRowBytes = (uint64_t{width} * SamplesPerPixel(colorType) * depth + 7) / 8 + 1;
  if (source->Size() != 0 && fileRowBytes * height / kMaxDeflateRatio > source->Size()) {
    error = kErrTruncated;
    return error;
  }

  png_colorp plte = nullptr;
  int plteCount = 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE &&
      (!png_get_PLTE(png, info, &plte, &plteCount) || plteCount <= 0)) {
    return error = kErrFormat;
  }

  switch (bpp) {
    case 24:
      // Alpha is dropped, not blended, and tRNS is ignored (never expanded to
      // alpha). 16-bit samples are scaled with rounding, v * 255 / 65535, the
      // reduction ImageMagick applies too. Palette pictures are read as
      // indices and expanded here, so that every index is checked.
      if (colorType == PNG_COLOR_TYPE_PALETTE && depth < 8) png_set_packing(png);
      if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
      if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
      if (colorType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
      if (depth == 16) png_set_scale_16(png);
      break;
    case 8:
      if (colorType == PNG_COLOR_TYPE_PALETTE) {
        if (depth < 8) png_set_packing(png);
      } else if (colorType == PNG_COLOR_TYPE_GRAY && depth <= 8) {
        if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
      } else {
        return error = kErrUnsupported;
      }
      break;
    case 1:
      if (depth != 1 || (colorType != PNG_COLOR_TYPE_GRAY && colorType != PNG_COLOR_TYPE_PALETTE))
        return error = kErrUnsupported;
      break;
    default: return error = kErrParam;
  }
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  uint64_t size = BlockSize(width, height, bpp);
  if (size == 0) return error = kErrTooLarge;
  size_t rowBytes = static_cast<size_t>(size / height);
  bool expand = colorType == PNG_COLOR_TYPE_PALETTE && bpp == 24;
  // Indices of a palette picture read at 24 bits sit in the last third of
  // their row and are expanded forward in place.
  size_t indexOffset = expand ? size_t{width} * 2 : 0;
  if (png_get_rowbytes(png, info) != (expand ? width : rowBytes)) return error = kErrFormat;
  block = AllocBlock(static_cast<size_t>(size));
  if (!block) return error = kErrNoMemory;

  // Rows go straight into the block; no intermediate picture.
  if (passes == 1) {
    for (png_uint_32 y = 0; y < height; ++y)
      png_read_row(png, block + y * rowBytes + indexOffset, nullptr);
  } else {
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!rows) return error = kErrNoMemory;
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = block + y * rowBytes + indexOffset;
    png_read_image(png, rows);
  }
  // Reading to IEND catches a bad CRC or a missing end late in the file.
  png_read_end(png, nullptr);

  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    if (!CheckIndices(block, width, height, rowBytes, bpp, static_cast<uint32_t>(plteCount)))
      return error = kErrFormat;
    if (expand) ExpandPalette(block, width, height, plte);
  }

  out.width = width;
  out.height = height;
  out.bitsPerPixel = bpp;
  out.palette = Palette{};
  if (bpp < 24) {
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
      for (int i = 0; i < plteCount && i < 256; ++i)
        out.palette.entries[i] = {plte[i].blue, plte[i].green, plte[i].red, 0};
      out.palette.count = static_cast<uint32_t>(std::min(plteCount, 256));
    } else if (bpp == 8) {
      GreyRamp(out.palette);
    } else {
      BlackWhite(out.palette);
    }
  }
  return kOk;
}

}  // namespace

bool SniffPNG(const uint8_t* head, size_t n) {
  return n >= 8 && std::memcmp(head, kSignature, 8) == 0;
}

bool GetPNGDims(Source& source, Info& info) {
  PngHeader h;
  if (!ParseHeader(source, h)) return false;
  info = Info{};
  info.width = h.width;
  info.height = h.height;
  info.bitsPerPixel = h.depth;
  info.colorType = static_cast<int>(h.colorType);
  if (h.hasPhys) {
    info.resX = h.physX;
    info.resY = h.physY;
    info.resUnit = static_cast<int>(h.physUnit);
  }
  return true;
}

bool GetPNGPalette(Source& source, Palette& palette) {
  PngHeader h;
  if (!ParseHeader(source, h)) return false;
  palette = Palette{};
  if (h.colorType == 3) {
    if (h.paletteCount == 0) return false;
    for (uint32_t i = 0; i < h.paletteCount; ++i)
      palette.entries[i] = {h.palette[3 * i + 2], h.palette[3 * i + 1], h.palette[3 * i], 0};
    palette.count = h.paletteCount;
    return true;
  }
  if (h.colorType == 0 && h.depth <= 8) {
    // The reader expands grey samples to 8 bits, so the ramp covers 0..255.
    if (h.depth == 1)
      BlackWhite(palette);
    else
      GreyRamp(palette);
    return true;
  }
  return false;
}

uint32_t ReadPNG(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded{};
  uint32_t fast = kOk;
  if (bitsPerPixel == 24 && ReadPngRgb8(source, out, fast)) {
    if (fast != kOk) out = Decoded{};
    SetLastError(fast);
    return fast;
  }
  PngReader reader;
  reader.source = &source;
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, PngReader::OnError,
                                      PngReader::OnWarning);
  if (reader.png) reader.info = png_create_info_struct(reader.png);
  if (!reader.png || !reader.info) {
    SetLastError(kErrNoMemory);
    return kErrNoMemory;
  }
  uint32_t code = reader.Run(bitsPerPixel, out);
  if (code == kOk) {
    out.pixels.reset(reader.block);
    reader.block = nullptr;
  } else {
    out = Decoded{};
  }
  SetLastError(code);
  return code;
}

}  // namespace qimg
