// TIFF writing over libtiff: 24-bit RGB in strips of about 1 MiB. The writer
// option is the TIFF compression code: 1 none (strips written straight from
// the picture, no copy), 5 LZW and 8 deflate (both with the horizontal
// predictor).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "image/codecs/Tiff.h"
#include "image/codecs/TiffIo.h"
#include "image/lib/Progress.h"

namespace qimg {

namespace {

constexpr uint64_t kStripBytes = uint64_t{1} << 20;
// What classic TIFF leaves the strips: 4 GiB less room for the directory and
// the strip tables (16 bytes for each 1 MiB strip).
constexpr uint64_t kClassicStripBytes = 0xF0000000ull;

struct Sink {
  Dest* dest;
  uint64_t end = 0;  // furthest byte written, for the size callback
};

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t n) {
  auto* s = static_cast<Sink*>(h);
  if (n <= 0) return 0;
  if (!s->dest->Write(buf, static_cast<size_t>(n))) return -1;
  s->end = std::max(s->end, s->dest->Tell());
  return n;
}
tmsize_t NoRead(thandle_t, void*, tmsize_t) { return 0; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<Sink*>(h);
  uint64_t base = whence == SEEK_CUR ? s->dest->Tell() : whence == SEEK_END ? s->end : 0;
  uint64_t pos = base + off;
  if (pos < base || !s->dest->Seek(pos)) return static_cast<toff_t>(-1);
  return pos;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<Sink*>(h)->end; }
int NoMap(thandle_t, void**, toff_t*) { return 0; }
void NoUnmap(thandle_t, void*, toff_t) {}

uint32_t Write(Dest& dest, const WriteImage& image, uint32_t option, const ResolutionRecord& res) {
  uint16_t compression;
  switch (option) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE: compression = static_cast<uint16_t>(option); break;
    default: return kErrParam;
  }
  auto opts = tiffio::MakeOptions();
  if (!opts) return kErrNoMemory;
  Sink sink{&dest, dest.Tell()};
  uint64_t rowBytes = uint64_t{image.width} * 3;
  const char* mode = WritesBigTIFF(rowBytes * image.height, compression) ? "w8" : "w";
  tiffio::Handle tif(TIFFClientOpenExt("tiff", mode, &sink, NoRead, WriteProc, SeekProc, CloseProc,
                                       SizeProc, NoMap, NoUnmap, opts.get()));
  if (!tif) return dest.Failed() ? kErrWrite : kErrNoMemory;
  TIFF* t = tif.get();
  uint32_t rps = static_cast<uint32_t>(std::max<uint64_t>(1, kStripBytes / rowBytes));
  rps = std::min(rps, image.height);
  bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, image.width) &&
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, image.height) &&
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, compression) &&
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
  if (ok && compression != COMPRESSION_NONE) ok = TIFFSetField(t, TIFFTAG_PREDICTOR, 2);
  if (ok && std::isfinite(res.x) && std::isfinite(res.y) && res.x > 0 && res.y > 0) {
    uint16_t unit = res.unit >= 1 && res.unit <= 3 ? static_cast<uint16_t>(res.unit) : 1;
    ok = TIFFSetField(t, TIFFTAG_XRESOLUTION, res.x) &&
         TIFFSetField(t, TIFFTAG_YRESOLUTION, res.y) &&
         TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, unit);
  }
  if (!ok) return kErrParam;
  // The predictor works in place on the strip it is given: compressed strips
  // go through a copy so that the picture stays untouched.
  std::unique_ptr<uint8_t[]> scratch;
  if (compression != COMPRESSION_NONE) {
    scratch.reset(new (std::nothrow) uint8_t[rowBytes * rps]);
    if (!scratch) return kErrNoMemory;
  }
  for (uint32_t y = 0, strip = 0; y < image.height; y += rps, ++strip) {
    uint32_t rows = std::min(rps, image.height - y);
    // TIFFWriteRawStrip only reads from the buffer it is handed.
    void* data = const_cast<uint8_t*>(image.pixels + uint64_t{y} * image.rowBytes);
    tmsize_t n = static_cast<tmsize_t>(rowBytes * rows);
    if (image.rowBytes != rowBytes) return kErrParam;
    tmsize_t written;
    if (compression == COMPRESSION_NONE) {
      written = TIFFWriteRawStrip(t, strip, data, n);
    } else {
      std::memcpy(scratch.get(), data, static_cast<size_t>(n));
      written = TIFFWriteEncodedStrip(t, strip, scratch.get(), n);
    }
    if (written < 0) return dest.Failed() ? kErrWrite : kErrNoMemory;
    ReportProgress(double(y + rows) / image.height);
  }
  if (!TIFFWriteDirectory(t)) return kErrWrite;
  tif.reset();  // flushes
  return dest.Failed() ? kErrWrite : kOk;
}

}  // namespace

bool WritesBigTIFF(uint64_t pixelBytes, uint32_t compression) {
  // LZW spends at most 12 bits on a byte; deflate far less than that.
  const uint64_t worst = compression == COMPRESSION_NONE ? pixelBytes : pixelBytes + pixelBytes / 2;
  return worst > kClassicStripBytes;
}

uint32_t WriteTIFF(Dest& dest, const WriteImage& image, uint32_t option,
                   const ResolutionRecord& res) {
  uint32_t code;
  if (!image.pixels || image.width == 0 || image.height == 0 || image.bitsPerPixel != 24 ||
      image.rowBytes != uint64_t{image.width} * 3)
    code = kErrParam;
  else
    code = Write(dest, image, option, res);
  SetLastError(code);
  return code;
}

}  // namespace qimg
