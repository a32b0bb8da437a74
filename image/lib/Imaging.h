// The imaging layer: a thin C++ layer over the open codec libraries and our own
// small codecs. Everything here works on raw, top-down, unpadded pixel blocks;
// CISImageEx is the only caller outside tests and fuzzers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qimg {

// ---------------------------------------------------------------------------
// Error codes. 0 is success. The codes are kept clear of the image buffer's
// own results (1, 2, 5, 28) so that a code says where it came from.
enum ErrorCode : uint32_t {
  kOk = 0,
  kErrNoMemory = 100,     // an allocation failed
  kErrOpen = 101,         // the file could not be opened or created
  kErrRead = 102,         // read failed or the file ended early
  kErrWrite = 103,        // write failed (disk full, closed stream)
  kErrFormat = 104,       // not this format, or a corrupt header or stream
  kErrUnsupported = 105,  // a valid file using a feature we do not decode
  kErrTooLarge = 106,     // the header asks for more than our limits allow
  kErrParam = 107,        // bad arguments from the caller
  kErrTruncated = 108,    // the pixel data ends before the picture does
  kErrExists = 109,       // a file of that name exists and must not be replaced
};

uint32_t GetLastError();
void SetLastError(uint32_t code);
const char* ErrorText(uint32_t code);

// Largest block a picture may take (1 TiB, refused from there on): beyond any
// memory this program runs in, yet far enough below 2^64 that no size or
// offset computed from a picture's dimensions wraps around.
constexpr uint64_t kMaxBlockBytes = uint64_t{1} << 40;
// Longest row in bytes: row sizes and offsets within a row stay in a signed
// 32-bit number, as the image buffer's RowBytes and the libraries take them.
constexpr uint64_t kMaxRowBytes = 0x7FFFFFFFull;

// ---------------------------------------------------------------------------
// Pixel blocks: those decoders hand over ("decoder-owned") and those the
// image allocates itself, all from here. Large blocks are 2 MiB aligned and
// advised for transparent huge pages: the first touch of fresh memory is the
// main cost of decoding a big picture.
uint8_t* AllocBlock(std::size_t bytes);  // uninitialised; null on failure
void FreeBlock(uint8_t* block);

// Test hooks. FailAllocationAfter(n): of the pixel allocations to come (the
// decoders' blocks, image and bitmap pixels), the one after n successful ones
// fails, once; a negative n turns it off. AllocationRefused is what each such
// allocation asks first.
void FailAllocationAfter(int skip);
bool AllocationRefused();
// SetNoAtomicClaim(true): the file system has neither renameat2 with
// RENAME_NOREPLACE nor hard links, as some FUSE and network mounts.
void SetNoAtomicClaim(bool on);
bool NoAtomicClaim();

struct BlockDeleter {
  void operator()(uint8_t* p) const { FreeBlock(p); }
};
using Block = std::unique_ptr<uint8_t[], BlockDeleter>;

// width * height * bytesPerPixel (bits rounded up per row), or 0 when that
// would reach kMaxBlockBytes, a row would pass kMaxRowBytes or a dimension
// is 0.
std::size_t BlockSize(uint32_t width, uint32_t height, uint32_t bitsPerPixel);

// ---------------------------------------------------------------------------
// Palette in the platform's palette-quad order: blue, green, red, reserved.
struct PaletteEntry {
  uint8_t blue, green, red, reserved;
};
struct Palette {
  uint32_t count = 0;
  PaletteEntry entries[256] = {};
};

// ---------------------------------------------------------------------------
// Sources: a seekable byte stream over a file or over memory (tests, fuzzers).
class Source {
 public:
  ~Source();
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  static std::unique_ptr<Source> OpenFile(const std::string& path);          // null on failure
  static std::unique_ptr<Source> FromMemory(const void* data, size_t size);  // not owned

  // Reads up to n bytes; returns how many were read (short only at the end or on error).
  size_t Read(void* buffer, size_t n);
  // Reads exactly n bytes or returns false.
  bool ReadExact(void* buffer, size_t n) { return Read(buffer, n) == n; }
  bool Seek(uint64_t position);
  bool Skip(uint64_t n) { return Seek(Tell() + n); }
  uint64_t Tell() const { return position_; }
  uint64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }
  // Whole-memory view when the source is in memory, else null.
  const uint8_t* Data() const { return memory_; }

 private:
  Source() = default;
  int fd_ = -1;
  const uint8_t* memory_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  std::string path_;
  // read-ahead buffer for file sources
  std::unique_ptr<uint8_t[]> buffer_;
  uint64_t bufferStart_ = 0;
  size_t bufferFill_ = 0;
};

// Destinations: a byte sink over a file or a growing memory buffer.
class Dest {
 public:
  ~Dest();
  Dest(const Dest&) = delete;
  Dest& operator=(const Dest&) = delete;

  static std::unique_ptr<Dest> OpenFile(const std::string& path);  // creates or truncates
  static std::unique_ptr<Dest> ToMemory();

  bool Write(const void* data, size_t n);
  bool Seek(uint64_t position);  // for formats that patch a header afterwards
  uint64_t Tell() const { return position_; }
  bool Failed() const { return failed_; }
  // Flushes and closes a file destination; false if anything failed.
  bool Close();
  const std::string& Memory() const { return memory_; }

 private:
  Dest() = default;
  bool Flush();
  int fd_ = -1;
  bool isMemory_ = false;
  bool failed_ = false;
  uint64_t position_ = 0;
  std::string memory_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t bufferFill_ = 0;
};

// ---------------------------------------------------------------------------
// Content detection: the family of a file from its first bytes.
enum FileFamily : int {
  kFamilyUnknown = 0,
  kFamilyBMP = 1,
  kFamilyGIF = 2,
  kFamilyJPEG = 3,
  kFamilyPNG = 4,
  kFamilyPCX = 5,
  kFamilyTIFF = 6,
  kFamilyWMF = 7,
  kFamilyEMF = 8,
  kFamilyPSD = 10,
  kFamilyWBMP = 13,
  kFamilyTGA = 14,
  kFamilyPCD = 16,
};
// Reads from the current position; the caller rewinds afterwards.
int GuessFileType(Source& source);

// What a format's dimension probe reports. The resolution unit is in the
// format's own numbering (JPEG density unit, BMP unit code, PNG pHYs unit,
// TIFF ResolutionUnit).
struct Info {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;  // PNG: bit depth per sample
  int colorType = 0;          // PNG colour type; PSD colour mode
  double resX = 0;
  double resY = 0;
  int resUnit = 0;
};

// A decoded picture: the block is top-down, unpadded, in the requested depth
// (1: 8 pixels per byte, MSB first, palette indices; 8: palette indices;
// 24: R,G,B; 32: R,G,B,A).
struct Decoded {
  Block pixels;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;
  Palette palette;
};

// The resolution record a writer receives, in the target format's numbering.
struct ResolutionRecord {
  double x = 0;
  double y = 0;
  int unit = 0;
};

// A picture handed to a writer.
struct WriteImage {
  const uint8_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rowBytes = 0;
  uint32_t bitsPerPixel = 24;
  const Palette* palette = nullptr;  // for 1- and 8-bit pictures
};

// ---------------------------------------------------------------------------
// Conversions and pixel services.

// 8-bit indices to R,G,B through the palette (indices past count give black).
void EightBitToRGB(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcRowBytes,
                   uint8_t* dst, uint32_t dstRowBytes, const Palette& palette);
// 1-bit rows (MSB first) to one index byte per pixel.
void UnpackBufferTo8Bit(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcRowBytes,
                        uint8_t* dst, uint32_t dstRowBytes);
// At most 256 colours; fills indices and the palette (count 256).
uint32_t QuantizeRGBTo8Bit(const uint8_t* rgb, uint32_t width, uint32_t height, uint32_t rowBytes,
                           uint8_t* dst, uint32_t dstRowBytes, Palette& palette);
void SplitRGBAToRGBPlusA(const uint8_t* rgba, uint32_t width, uint32_t height, uint32_t rowBytes,
                         uint8_t* rgb, uint32_t rgbRowBytes, uint8_t* alpha,
                         uint32_t alphaRowBytes);
// Colours as 0x00BBGGRR. True when the squared distance between the two
// colours is at least the tolerance, i.e. they differ at that tolerance.
bool ColorCompare(uint32_t colorA, uint32_t colorB, uint32_t tolerance);

// Resize by method code (see Resize.cpp for the filter behind each code).
// Returns true on success.
bool ResizeImage(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint32_t srcRowBytes,
                 uint8_t* dst, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstRowBytes,
                 uint32_t bytesPerPixel, uint32_t method);

}  // namespace qimg
