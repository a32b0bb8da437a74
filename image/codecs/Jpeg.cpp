// JPEG over libjpeg-turbo. libjpeg reports fatal errors through error_exit;
// ours longjmps back to the frame that called setjmp. Those frames (the Run
// functions) hold only trivially destructible locals, and every resource lives
// in an object owned by the caller's frame, so nothing leaks on the way out.
#include "image/codecs/Jpeg.h"

#include "image/lib/Progress.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace qimg {

namespace {

constexpr size_t kIoBuffer = size_t{1} << 16;
// Normal progressive files have about 10 scans; hostile ones thousands, each
// costing a pass over the whole coefficient buffer.
constexpr int kMaxScans = 100;
// libjpeg's working memory (coefficient buffers of progressive files, strip
// buffers); the output block is ours and not counted here.
constexpr long kMaxWorkingMemory = long{1} << 30;

thread_local int scaleNumerator = 1;
thread_local int scaleDenominator = 1;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  bool dataEnded = false;  // the entropy decoder ran out of data
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  // Premature end of the entropy-coded data: truncated or corrupt; the
  // decoder would fill the rest of the picture with grey.
  if (level < 0 && (err->pub.msg_code == JWRN_HIT_MARKER || err->pub.msg_code == JWRN_JPEG_EOF))
    err->dataEnded = true;
  if (level < 0) err->pub.num_warnings++;
}

void OutputMessage(j_common_ptr) {}

void InitErrors(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
}

// ---------------------------------------------------------------------------
// Source manager over qimg::Source.
struct SourceManager {
  jpeg_source_mgr pub;
  Source* source;
  JOCTET buffer[kIoBuffer];
};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
  size_t n = src->source->Read(src->buffer, kIoBuffer);
  if (n == 0) {
    // The usual libjpeg answer to a truncated file: a fake end marker, and a
    // warning that we turn into a failure.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
  if (count <= 0) return;
  size_t n = static_cast<size_t>(count);
  if (n <= src->pub.bytes_in_buffer) {
    src->pub.next_input_byte += n;
    src->pub.bytes_in_buffer -= n;
    return;
  }
  n -= src->pub.bytes_in_buffer;
  src->pub.bytes_in_buffer = 0;
  if (!src->source->Skip(n)) src->source->Seek(src->source->Size());
}

void TermSource(j_decompress_ptr) {}

// Stops files with absurdly many progressive scans before they cost minutes.
void ProgressMonitor(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) ERREXIT(cinfo, JERR_NOTIMPL);
}

// Owns everything a decode holds; its destructor runs outside the setjmp frame.
struct Decompressor {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  jpeg_progress_mgr progress{};
  SourceManager* manager = nullptr;
  bool created = false;
  uint8_t* block = nullptr;
  uint8_t* cmykRow = nullptr;

  explicit Decompressor(Source& source) {
    manager = static_cast<SourceManager*>(std::malloc(sizeof(SourceManager)));
    if (!manager) return;
    manager->source = &source;
    manager->pub.init_source = InitSource;
    manager->pub.fill_input_buffer = FillInputBuffer;
    manager->pub.skip_input_data = SkipInputData;
    manager->pub.resync_to_restart = jpeg_resync_to_restart;
    manager->pub.term_source = TermSource;
    manager->pub.bytes_in_buffer = 0;
    manager->pub.next_input_byte = nullptr;
    InitErrors(err);
    cinfo.err = &err.pub;
    progress.progress_monitor = ProgressMonitor;
  }
  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&cinfo);
    std::free(manager);
    std::free(cmykRow);
    FreeBlock(block);
  }
  // Creates the decompressor and reads the header; false on any failure.
  bool Start();
  uint32_t Decode(uint32_t bpp, Decoded& out);
};

bool Decompressor::Start() {
  if (!manager) return false;
  if (setjmp(err.jump)) return false;
  jpeg_create_decompress(&cinfo);
  created = true;
  cinfo.src = &manager->pub;
  cinfo.progress = &progress;
  cinfo.mem->max_memory_to_use = kMaxWorkingMemory;
  jpeg_read_header(&cinfo, TRUE);
  return true;
}

// Adobe files store CMYK inverted (0 = full ink); others store it plainly.
void CmykToRgb(const uint8_t* cmyk, uint8_t* rgb, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x) {
    unsigned c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    rgb[3 * x] = uint8_t((c * k + 127) / 255);
    rgb[3 * x + 1] = uint8_t((m * k + 127) / 255);
    rgb[3 * x + 2] = uint8_t((y * k + 127) / 255);
  }
}

uint32_t Decompressor::Decode(uint32_t bpp, Decoded& out) {
  if (setjmp(err.jump)) return err.dataEnded ? kErrTruncated : kErrFormat;
  uint32_t width = cinfo.image_width, height = cinfo.image_height;
  bool grey = cinfo.num_components == 1;
  bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  if (bpp == 8 && !grey) return kErrUnsupported;
  if (bpp != 8 && bpp != 24) return kErrParam;
  uint64_t size = BlockSize(width, height, bpp);
  if (size == 0) return kErrTooLarge;
  // Huffman coding spends at least one bit per 8x8 block of the first
  // component; a file far smaller than that is lying about its size.
  uint64_t blocks = (uint64_t{width} + 7) / 8 * ((uint64_t{height} + 7) / 8);
  if (!cinfo.arith_code && manager->source->Size() * 8 * 4 < blocks) return kErrTruncated;

  cinfo.scale_num = static_cast<unsigned>(scaleNumerator);
  cinfo.scale_denom = static_cast<unsigned>(scaleDenominator);
  if (bpp == 8)
    cinfo.out_color_space = JCS_GRAYSCALE;
  else
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  width = cinfo.output_width;
  height = cinfo.output_height;
  size = BlockSize(width, height, bpp);
  if (size == 0) return kErrTooLarge;
  size_t rowBytes = static_cast<size_t>(size / height);
  block = AllocBlock(static_cast<size_t>(size));
  if (!block) return kErrNoMemory;
  if (cmyk) {
    cmykRow = static_cast<uint8_t*>(std::malloc(size_t{width} * 4));
    if (!cmykRow) return kErrNoMemory;
  }
  bool inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < height) {
    JSAMPROW rows[8];
    JDIMENSION first = cinfo.output_scanline;
    if (cmyk) {
      rows[0] = cmykRow;
      if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) return kErrFormat;
      CmykToRgb(cmykRow, block + first * rowBytes, width, inverted);
    } else {
      // Rows are decoded straight into the block.
      JDIMENSION want = height - first < 8 ? height - first : 8;
      for (JDIMENSION i = 0; i < want; ++i) rows[i] = block + (first + i) * rowBytes;
      if (jpeg_read_scanlines(&cinfo, rows, want) == 0) return kErrFormat;
    }
    if (err.dataEnded) return kErrTruncated;
  }
  jpeg_abort_decompress(&cinfo);  // trailing data does not matter
  out.width = width;
  out.height = height;
  out.bitsPerPixel = bpp;
  out.palette = Palette{};
  if (bpp == 8) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint8_t v = static_cast<uint8_t>(i);
      out.palette.entries[i] = {v, v, v, 0};
    }
    out.palette.count = 256;
  }
  return kOk;
}

// ---------------------------------------------------------------------------
// Writing.
struct DestManager {
  jpeg_destination_mgr pub;
  Dest* dest;
  bool failed;
  JOCTET buffer[kIoBuffer];
};

void InitDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<DestManager*>(cinfo->dest);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = kIoBuffer;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<DestManager*>(cinfo->dest);
  if (!d->dest->Write(d->buffer, kIoBuffer)) {
    d->failed = true;
    ERREXIT(cinfo, JERR_FILE_WRITE);
  }
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = kIoBuffer;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<DestManager*>(cinfo->dest);
  size_t n = kIoBuffer - d->pub.free_in_buffer;
  if (n && !d->dest->Write(d->buffer, n)) {
    d->failed = true;
    ERREXIT(cinfo, JERR_FILE_WRITE);
  }
}

struct Compressor {
  jpeg_compress_struct cinfo{};
  ErrorManager err{};
  DestManager* manager = nullptr;
  bool created = false;

  explicit Compressor(Dest& dest) {
    manager = static_cast<DestManager*>(std::malloc(sizeof(DestManager)));
    if (!manager) return;
    manager->dest = &dest;
    manager->failed = false;
    manager->pub.init_destination = InitDestination;
    manager->pub.empty_output_buffer = EmptyOutputBuffer;
    manager->pub.term_destination = TermDestination;
    InitErrors(err);
    cinfo.err = &err.pub;
  }
  ~Compressor() {
    if (created) jpeg_destroy_compress(&cinfo);
    std::free(manager);
  }
  uint32_t Encode(const WriteImage& image, int quality, uint32_t flags,
                  const ResolutionRecord& res);
};

uint16_t Density(double v) {
  if (!(v >= 1)) return 1;  // JFIF densities are at least 1 (also for NaN)
  return v >= 65535 ? uint16_t{65535} : static_cast<uint16_t>(v);
}

uint32_t Compressor::Encode(const WriteImage& image, int quality, uint32_t flags,
                            const ResolutionRecord& res) {
  if (!manager) return kErrNoMemory;
  if (setjmp(err.jump)) return manager->failed ? kErrWrite : kErrFormat;
  jpeg_create_compress(&cinfo);
  created = true;
  cinfo.dest = &manager->pub;
  cinfo.image_width = image.width;
  cinfo.image_height = image.height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  int q = quality < 1 ? 1 : quality > 100 ? 100 : quality;
  jpeg_set_quality(&cinfo, q, TRUE);
  // At high qualities chroma keeps full resolution, as other tools do.
  if (q >= 90) cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  // Writer flag bit 0: progressive.
  if (flags & 1) jpeg_simple_progression(&cinfo);
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = static_cast<UINT8>(res.unit >= 0 && res.unit <= 2 ? res.unit : 0);
  cinfo.X_density = Density(res.x);
  cinfo.Y_density = Density(res.y);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < image.height) {
    JSAMPROW rows[16];
    JDIMENSION n = image.height - cinfo.next_scanline;
    if (n > 16) n = 16;
    for (JDIMENSION i = 0; i < n; ++i)
      rows[i] =
          const_cast<JSAMPROW>(image.pixels + size_t{cinfo.next_scanline + i} * image.rowBytes);
    jpeg_write_scanlines(&cinfo, rows, n);
    ReportProgress(double(cinfo.next_scanline) / image.height);
  }
  jpeg_finish_compress(&cinfo);
  return manager->failed ? kErrWrite : kOk;
}

}  // namespace

bool SniffJPG(const uint8_t* head, size_t n) {
  return n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

bool GetJPGDims(Source& source, Info& info) {
  Decompressor d(source);
  if (!d.Start()) return false;
  info = Info{};
  info.width = d.cinfo.image_width;
  info.height = d.cinfo.image_height;
  info.bitsPerPixel = d.cinfo.num_components == 1 ? 8 : 24;
  info.colorType = d.cinfo.jpeg_color_space;
  info.resX = d.cinfo.X_density;
  info.resY = d.cinfo.Y_density;
  info.resUnit = d.cinfo.density_unit;
  return info.width != 0 && info.height != 0;
}

void SetJPGDCTScaleFactors(int numerator, int denominator) {
  // libjpeg-turbo scales by n/8, n = 1..16.
  if (numerator < 1 || denominator < 1) return;
  scaleNumerator = numerator;
  scaleDenominator = denominator;
}

uint32_t ReadJPG(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded{};
  Decompressor d(source);
  uint32_t code = kErrFormat;
  if (!d.manager)
    code = kErrNoMemory;
  else if (d.Start())
    code = d.Decode(bitsPerPixel, out);
  else if (d.err.dataEnded)
    code = kErrTruncated;
  if (code == kOk) {
    out.pixels.reset(d.block);
    d.block = nullptr;
  } else {
    out = Decoded{};
  }
  SetLastError(code);
  return code;
}

uint32_t WriteJPG(Dest& dest, const WriteImage& image, int quality, uint32_t flags,
                  const ResolutionRecord& res) {
  uint32_t code;
  if (!image.pixels || image.width == 0 || image.height == 0 || image.bitsPerPixel != 24 ||
      image.rowBytes < uint64_t{image.width} * 3 || image.width > JPEG_MAX_DIMENSION ||
      image.height > JPEG_MAX_DIMENSION) {
    code = kErrParam;
  } else {
    Compressor c(dest);
    code = c.Encode(image, quality, flags, res);
  }
  SetLastError(code);
  return code;
}

}  // namespace qimg
