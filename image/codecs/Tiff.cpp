// TIFF reading over libtiff, first page only. Common layouts (8- to 16-bit
// grey and RGB, 1..8-bit grey and palette, contiguous samples in strips or
// tiles) are read as raw rows and converted here; uncompressed and compressed
// strips whose layout matches the output go straight into the block. Anything
// else (planar RGB, CMYK, YCbCr, LAB, ...) goes through libtiff's RGBA
// interface a band of rows at a time.
#include "image/codecs/Tiff.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "image/codecs/TiffIo.h"

namespace qimg {

namespace {

// An uncompressed picture needs its bytes in the file; compressed ones may
// claim at most this ratio (beyond LZW's and deflate's best) above a floor.
constexpr uint64_t kMaxCompressionRatio = 4096;
constexpr uint64_t kRatioFloorBytes = uint64_t{64} << 20;
// The RGBA interface decodes bands of at most this many bytes of raster.
constexpr uint64_t kMaxBandBytes = uint64_t{64} << 20;

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  if (n <= 0) return 0;
  return static_cast<tmsize_t>(static_cast<Source*>(h)->Read(buf, static_cast<size_t>(n)));
}
tmsize_t NoWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<Source*>(h);
  uint64_t base = whence == SEEK_CUR ? s->Tell() : whence == SEEK_END ? s->Size() : 0;
  uint64_t pos = base + off;
  if (pos < base || !s->Seek(pos)) return static_cast<toff_t>(-1);
  return pos;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<Source*>(h)->Size(); }
// Memory sources are handed to libtiff as a read-only mapping.
int MapProc(thandle_t h, void** base, toff_t* size) {
  auto* s = static_cast<Source*>(h);
  if (!s->Data()) return 0;
  *base = const_cast<uint8_t*>(s->Data());
  *size = s->Size();
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

tiffio::Handle Open(Source& source) {
  source.Seek(0);
  auto opts = tiffio::MakeOptions();
  if (!opts) return nullptr;
  return tiffio::Handle(TIFFClientOpenExt("tiff", "r", &source, ReadProc, NoWrite, SeekProc,
                                          CloseProc, SizeProc, MapProc, UnmapProc, opts.get()));
}

struct Facts {
  uint32_t width = 0, height = 0;
  uint16_t spp = 1, bps = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE, sampleFormat = SAMPLEFORMAT_UINT;
  bool tiled = false;
};

bool GetFacts(TIFF* tif, Facts& f) {
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width) ||
      !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height) || f.width == 0 || f.height == 0)
    return false;
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &f.spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &f.bps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &f.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &f.compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &f.sampleFormat);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric))
    f.photometric = f.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  f.tiled = TIFFIsTiled(tif) != 0;
  return f.spp >= 1 && f.bps >= 1;
}

bool IsGrey(const Facts& f) {
  return f.photometric == PHOTOMETRIC_MINISBLACK || f.photometric == PHOTOMETRIC_MINISWHITE;
}

bool InkSetCmyk(TIFF* tif) {
  uint16_t inks = INKSET_CMYK;
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
  return inks == INKSET_CMYK;
}

// Raw rows of contiguous samples, top to bottom, from strips or tiles.
class RowReader {
 public:
  RowReader(TIFF* tif, const Facts& f) : tif_(tif), f_(f) {}
  ~RowReader() {
    std::free(buffer_);
    std::free(band_);
  }
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;

  // Calls sink(y, row) for every row; returns an error code.
  template <class Sink>
  uint32_t Run(Sink&& sink);

 private:
  TIFF* tif_;
  const Facts& f_;
  uint8_t* buffer_ = nullptr;
  uint8_t* band_ = nullptr;
};

template <class Sink>
uint32_t RowReader::Run(Sink&& sink) {
  uint64_t scanline = static_cast<uint64_t>(TIFFScanlineSize64(tif_));
  if (scanline == 0) return kErrFormat;
  if (!f_.tiled) {
    uint32_t rps = 0;
    TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rps);
    rps = std::min(std::max(rps, 1u), f_.height);
    uint64_t stripBytes = scanline * rps;
    if (stripBytes > uint64_t(tiffio::kMaxSingleAlloc)) return kErrTooLarge;
    buffer_ = static_cast<uint8_t*>(std::malloc(stripBytes));
    if (!buffer_) return kErrNoMemory;
    for (uint32_t y = 0; y < f_.height; y += rps) {
      uint32_t rows = std::min(rps, f_.height - y);
      tmsize_t want = static_cast<tmsize_t>(scanline * rows);
      if (TIFFReadEncodedStrip(tif_, TIFFComputeStrip(tif_, y, 0), buffer_, want) < want)
        return kErrTruncated;
      for (uint32_t r = 0; r < rows; ++r) sink(y + r, buffer_ + r * scanline);
    }
    return kOk;
  }
  uint32_t tw = 0, tl = 0;
  TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tw);
  TIFFGetField(tif_, TIFFTAG_TILELENGTH, &tl);
  uint64_t tileRow = static_cast<uint64_t>(TIFFTileRowSize64(tif_));
  uint64_t tileBytes = static_cast<uint64_t>(TIFFTileSize64(tif_));
  if (tw == 0 || tl == 0 || tileRow == 0 || tileBytes < tileRow * tl) return kErrFormat;
  // Tile widths are multiples of 16, so tiles start on whole bytes.
  if ((uint64_t{tw} * f_.bps * f_.spp) % 8 != 0) return kErrUnsupported;
  if (tileBytes > uint64_t(tiffio::kMaxSingleAlloc) ||
      scanline * tl > uint64_t(tiffio::kMaxSingleAlloc))
    return kErrTooLarge;
  buffer_ = static_cast<uint8_t*>(std::malloc(tileBytes));
  band_ = static_cast<uint8_t*>(std::malloc(scanline * tl));
  if (!buffer_ || !band_) return kErrNoMemory;
  for (uint32_t y = 0; y < f_.height; y += tl) {
    uint32_t rows = std::min(tl, f_.height - y);
    uint64_t offset = 0;
    for (uint32_t x = 0; x < f_.width; x += tw, offset += tileRow) {
      if (TIFFReadEncodedTile(tif_, TIFFComputeTile(tif_, x, y, 0, 0), buffer_,
                              static_cast<tmsize_t>(tileBytes)) < 0)
        return kErrTruncated;
      uint64_t take = std::min(tileRow, scanline - offset);
      for (uint32_t r = 0; r < rows; ++r)
        std::memcpy(band_ + r * scanline + offset, buffer_ + r * tileRow, take);
    }
    for (uint32_t r = 0; r < rows; ++r) sink(y + r, band_ + r * scanline);
  }
  return kOk;
}

// Reads strips straight into the block when each strip row is an output row.
uint32_t ReadStripsDirect(TIFF* tif, const Facts& f, uint8_t* block, size_t rowBytes) {
  uint32_t rps = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
  rps = std::min(std::max(rps, 1u), f.height);
  for (uint32_t y = 0; y < f.height; y += rps) {
    uint32_t rows = std::min(rps, f.height - y);
    tmsize_t want = static_cast<tmsize_t>(rowBytes * rows);
    if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y, 0), block + y * rowBytes, want) < want)
      return kErrTruncated;
  }
  return kOk;
}

struct RgbaImage {
  TIFFRGBAImage img{};
  bool begun = false;
  uint32_t* raster = nullptr;
  ~RgbaImage() {
    if (begun) TIFFRGBAImageEnd(&img);
    std::free(raster);
  }
};

// libtiff's RGBA interface: R,G,B,A bytes in memory order, a band at a time.
uint32_t ReadThroughRgba(TIFF* tif, const Facts& f, uint32_t bpp, uint8_t* block) {
  RgbaImage r;
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&r.img, tif, 0, message))
    return kErrUnsupported;
  r.begun = true;
  // Rows in stored order, as the raw paths give them.
  r.img.req_orientation = r.img.orientation;
  uint32_t band = 0;
  if (f.tiled)
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
  else
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
  uint64_t rowRaster = uint64_t{f.width} * 4;
  band = std::max(1u, std::min({band, f.height, uint32_t(kMaxBandBytes / rowRaster + 1)}));
  if (bpp == 24) {
    r.raster = static_cast<uint32_t*>(std::malloc(rowRaster * band));
    if (!r.raster) return kErrNoMemory;
  }
  size_t rowBytes = size_t{f.width} * (bpp / 8);
  for (uint32_t y = 0; y < f.height; y += band) {
    uint32_t rows = std::min(band, f.height - y);
    r.img.row_offset = static_cast<int>(y);
    r.img.col_offset = 0;
    uint32_t* target = bpp == 32 ? reinterpret_cast<uint32_t*>(block + y * rowBytes) : r.raster;
    if (!TIFFRGBAImageGet(&r.img, target, f.width, rows)) return kErrTruncated;
    if (bpp == 24) {
      const uint8_t* src = reinterpret_cast<const uint8_t*>(r.raster);
      for (uint64_t i = 0, n = uint64_t{f.width} * rows; i < n; ++i) {
        uint8_t* d = block + y * rowBytes + i * 3;
        d[0] = src[4 * i];
        d[1] = src[4 * i + 1];
        d[2] = src[4 * i + 2];
      }
    }
  }
  return kOk;
}

inline uint8_t Reduce16(uint16_t v) { return uint8_t((uint32_t{v} * 255 + 32895) >> 16); }

// Samples of 9 to 15 bits (12-bit scientific and camera files) are reduced as
// 16-bit ones are: scaled from 0..2^bps-1 onto 0..255, rounding to nearest.
inline uint8_t ReduceBits(uint32_t v, uint32_t max) { return uint8_t((v * 255 + max / 2) / max); }

// The sample at index i of a row of bps-bit samples packed from the high bit.
inline uint32_t PackedSample(const uint8_t* row, uint64_t i, uint32_t bps) {
  uint64_t bit = i * bps;
  const uint8_t* p = row + (bit >> 3);
  // bps <= 15 and an offset below 8 fit in the three bytes read; the row's
  // byte count is rounded up, so the last byte needed lies inside it.
  uint32_t shift = uint32_t(bit & 7);
  uint32_t need = (shift + bps + 7) / 8;
  uint32_t window = 0;
  for (uint32_t k = 0; k < 3; ++k) window = (window << 8) | (k < need ? p[k] : 0u);
  return (window >> (24 - shift - bps)) & ((1u << bps) - 1);
}

// 8- to 16-bit grey and RGB with contiguous samples, extra samples dropped.
uint32_t ReadRgbRows(TIFF* tif, const Facts& f, uint32_t bpp, uint8_t* block) {
  size_t rowBytes = size_t{f.width} * (bpp / 8);
  uint32_t spp = f.spp, w = f.width;
  bool invert = f.photometric == PHOTOMETRIC_MINISWHITE;
  bool grey = IsGrey(f);
  bool cmyk = f.photometric == PHOTOMETRIC_SEPARATED;
  if (!f.tiled && f.bps == 8 && !grey && !cmyk && (spp == 3 || (spp == 4 && bpp == 32)))
    return ReadStripsDirect(tif, f, block, rowBytes);
  RowReader reader(tif, f);
  return reader.Run([&](uint32_t y, const uint8_t* row) {
    uint8_t* d = block + y * rowBytes;
    uint32_t outSpp = bpp / 8;
    for (uint32_t x = 0; x < w; ++x, d += outSpp) {
      uint8_t v[5] = {};
      if (f.bps == 16) {
        const uint16_t* s = reinterpret_cast<const uint16_t*>(row) + size_t{x} * spp;
        for (uint32_t k = 0; k < std::min(spp, 5u); ++k) v[k] = Reduce16(s[k]);
      } else if (f.bps > 8) {
        uint32_t max = (1u << f.bps) - 1;
        for (uint32_t k = 0; k < std::min(spp, 5u); ++k)
          v[k] = ReduceBits(PackedSample(row, uint64_t{x} * spp + k, f.bps), max);
      } else {
        const uint8_t* s = row + size_t{x} * spp;
        for (uint32_t k = 0; k < std::min(spp, 5u); ++k) v[k] = s[k];
      }
      if (cmyk) {
        // Subtractive: each ink darkens its channel, black darkens all.
        unsigned k = 255u - v[3];
        d[0] = uint8_t(((255u - v[0]) * k + 127) / 255);
        d[1] = uint8_t(((255u - v[1]) * k + 127) / 255);
        d[2] = uint8_t(((255u - v[2]) * k + 127) / 255);
        if (outSpp == 4) d[3] = spp >= 5 ? v[4] : 255;
      } else if (grey) {
        uint8_t g = invert ? uint8_t(255 - v[0]) : v[0];
        d[0] = d[1] = d[2] = g;
        if (outSpp == 4) d[3] = spp >= 2 ? v[1] : 255;
      } else {
        d[0] = v[0], d[1] = v[1], d[2] = v[2];
        if (outSpp == 4) d[3] = spp >= 4 ? v[3] : 255;
      }
    }
  });
}

// Colormap entries are 16-bit; some writers store 8-bit values in them.
void FillColormap(TIFF* tif, uint16_t bps, Palette& palette) {
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  palette = Palette{};
  palette.count = 256;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) return;
  uint32_t n = 1u << std::min<uint16_t>(bps, 8);
  bool eightBit = true;
  for (uint32_t i = 0; i < n; ++i)
    if (r[i] > 255 || g[i] > 255 || b[i] > 255) eightBit = false;
  auto conv = [&](uint16_t v) { return eightBit ? uint8_t(v) : Reduce16(v); };
  for (uint32_t i = 0; i < n; ++i) palette.entries[i] = {conv(b[i]), conv(g[i]), conv(r[i]), 0};
}

// 1..8-bit single-sample pictures as one index per pixel.
uint32_t ReadIndexed(TIFF* tif, const Facts& f, uint8_t* block, Palette& palette) {
  uint32_t levels = 1u << f.bps;
  if (f.photometric == PHOTOMETRIC_PALETTE) {
    FillColormap(tif, f.bps, palette);
  } else {
    palette = Palette{};
    palette.count = 256;
    for (uint32_t i = 0; i < levels; ++i) {
      uint32_t v = i * 255 / (levels - 1);
      if (f.photometric == PHOTOMETRIC_MINISWHITE) v = 255 - v;
      palette.entries[i] = {uint8_t(v), uint8_t(v), uint8_t(v), 0};
    }
  }
  if (!f.tiled && f.bps == 8) return ReadStripsDirect(tif, f, block, f.width);
  RowReader reader(tif, f);
  uint32_t bps = f.bps, w = f.width, mask = levels - 1;
  return reader.Run([&](uint32_t y, const uint8_t* row) {
    uint8_t* d = block + size_t{y} * w;
    for (uint32_t x = 0; x < w; ++x) {
      uint64_t bit = uint64_t{x} * bps;
      d[x] = uint8_t((row[bit >> 3] >> (8 - bps - (bit & 7))) & mask);
    }
  });
}

// 1-bit pictures normalised to 0 = white, 1 = black (the palette 1-bit TIFFs
// are shown with), whatever the file's photometric interpretation says.
uint32_t ReadBilevel(TIFF* tif, const Facts& f, uint8_t* block, Palette& palette) {
  bool invert = f.photometric == PHOTOMETRIC_MINISBLACK;
  if (f.photometric == PHOTOMETRIC_PALETTE) {
    Palette map;
    FillColormap(tif, 1, map);
    auto luma = [](const PaletteEntry& e) { return e.red * 3 + e.green * 6 + e.blue; };
    invert = luma(map.entries[0]) < luma(map.entries[1]);
  }
  size_t rowBytes = (size_t{f.width} + 7) / 8;
  uint32_t code;
  if (!f.tiled) {
    code = ReadStripsDirect(tif, f, block, rowBytes);
  } else {
    RowReader reader(tif, f);
    code = reader.Run(
        [&](uint32_t y, const uint8_t* row) { std::memcpy(block + y * rowBytes, row, rowBytes); });
  }
  if (code == kOk && invert)
    for (size_t i = 0, n = rowBytes * f.height; i < n; ++i) block[i] = uint8_t(~block[i]);
  palette = Palette{};
  palette.entries[0] = {255, 255, 255, 0};
  palette.entries[1] = {0, 0, 0, 0};
  palette.count = 2;
  return code;
}

uint32_t Decode(Source& source, uint32_t bpp, Decoded& out, Block& block) {
  if (bpp != 1 && bpp != 8 && bpp != 24 && bpp != 32) return kErrParam;
  auto tif = Open(source);
  if (!tif) return kErrFormat;
  Facts f;
  if (!GetFacts(tif.get(), f)) return kErrFormat;
  bool contig = f.planar == PLANARCONFIG_CONTIG || f.spp == 1;
  bool uintSamples = f.sampleFormat == SAMPLEFORMAT_UINT || f.sampleFormat == SAMPLEFORMAT_VOID;
  bool wholeBytes = f.bps == 1 || f.bps == 2 || f.bps == 4 || f.bps == 8;
  bool singleSample = f.spp == 1 && contig && uintSamples && wholeBytes &&
                      (IsGrey(f) || f.photometric == PHOTOMETRIC_PALETTE);
  if (bpp == 1 && !(singleSample && f.bps == 1)) return kErrUnsupported;
  if (bpp == 8 && !singleSample) return kErrUnsupported;

  uint64_t size = BlockSize(f.width, f.height, bpp);
  if (size == 0) return kErrTooLarge;
  uint64_t fileBytes = source.Size();
  uint64_t stored = static_cast<uint64_t>(TIFFScanlineSize64(tif.get())) * f.height *
                    (f.planar == PLANARCONFIG_SEPARATE ? f.spp : 1);
  if (f.compression == COMPRESSION_NONE
          ? stored > fileBytes
          : size > kRatioFloorBytes && size / kMaxCompressionRatio > fileBytes)
    return kErrTruncated;
  block.reset(AllocBlock(static_cast<size_t>(size)));
  if (!block) return kErrNoMemory;

  Palette palette;
  uint32_t code;
  if (bpp == 1) {
    code = ReadBilevel(tif.get(), f, block.get(), palette);
  } else if (bpp == 8) {
    code = ReadIndexed(tif.get(), f, block.get(), palette);
  } else if (contig && uintSamples && f.bps >= 8 && f.bps <= 16 &&
             ((f.photometric == PHOTOMETRIC_RGB && f.spp >= 3) || (IsGrey(f) && f.spp <= 2) ||
              (f.photometric == PHOTOMETRIC_SEPARATED && f.spp >= 4 && InkSetCmyk(tif.get())))) {
    code = ReadRgbRows(tif.get(), f, bpp, block.get());
  } else {
    code = ReadThroughRgba(tif.get(), f, bpp, block.get());
  }
  if (code != kOk) return code;
  out.width = f.width;
  out.height = f.height;
  out.bitsPerPixel = bpp;
  out.palette = bpp <= 8 ? palette : Palette{};
  return kOk;
}

}  // namespace

bool SniffTIFF(const uint8_t* head, size_t n) {
  if (n < 4) return false;
  return (head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
         (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43));
}

bool GetTIFFDims(Source& source, Info& info) {
  auto tif = Open(source);
  if (!tif) return false;
  Facts f;
  if (!GetFacts(tif.get(), f)) return false;
  info = Info{};
  info.width = f.width;
  info.height = f.height;
  info.bitsPerPixel = uint32_t{f.bps} * f.spp;
  info.colorType = f.photometric;
  float x = 0, y = 0;
  uint16_t unit = RESUNIT_INCH;
  if (TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &x) &&
      TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &y)) {
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
    info.resX = x;
    info.resY = y;
    info.resUnit = unit;
  } else {
    info.resUnit = RESUNIT_NONE;  // no resolution: no absolute unit either
  }
  return true;
}

uint32_t ReadTIFF(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded{};
  Block block;
  uint32_t code = Decode(source, bitsPerPixel, out, block);
  if (code == kOk)
    out.pixels = std::move(block);
  else
    out = Decoded{};
  SetLastError(code);
  return code;
}

}  // namespace qimg
