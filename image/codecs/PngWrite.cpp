// PNG writing: our own chunk writer. Each row gets the filter whose output
// has the smallest sum of absolute values (the usual heuristic). A small
// picture is filtered whole and compressed in one libdeflate call. A larger
// one is filtered and compressed in bands on all cores, so that neither the
// filtered picture nor the whole stream is ever held: each band is a deflate
// segment of its own, primed with the 32 KB before it and ended on a byte
// boundary (a sync flush), the way parallel gzip tools join theirs, and the
// segments are written in order as IDAT chunks of one zlib stream.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "image/codecs/Png.h"
#include "image/lib/Progress.h"

namespace qimg {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kIdatChunk = size_t{1} << 20;
// Level 4 of libdeflate compresses photographs about as well as zlib's level
// 7 (what other tools use by default) at a fraction of the time.
constexpr int kDeflateLevel = 4;
// Below this many bytes a second filtering thread costs more than it saves.
constexpr size_t kParallelBytes = size_t{4} << 20;
// Filtered bytes up to which a picture is compressed in one piece, and the
// size of a band above that: a few bands in flight stay far below the 64 MB
// a save may add to the picture.
constexpr uint64_t kOneShotBytes = uint64_t{8} << 20;
constexpr size_t kBandBytes = size_t{4} << 20;
// More compressing threads than this gain little and hold more bands.
constexpr unsigned kMaxThreads = 4;

void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

bool WriteChunk(Dest& dest, const char* type, const uint8_t* data, size_t length) {
  uint8_t head[8];
  PutBe32(head, static_cast<uint32_t>(length));
  std::memcpy(head + 4, type, 4);
  uint32_t crc = libdeflate_crc32(0, head + 4, 4);
  if (length) crc = libdeflate_crc32(crc, data, length);
  uint8_t tail[4];
  PutBe32(tail, crc);
  return dest.Write(head, 8) && (length == 0 || dest.Write(data, length)) && dest.Write(tail, 4);
}

inline uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return pb <= pc ? uint8_t(b) : uint8_t(c);
}

// Sum of the filtered bytes taken as signed values, the usual cost estimate.
inline uint32_t Cost(const uint8_t* f, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += uint32_t(std::abs(int(int8_t(f[i]))));
  return sum;
}

// Filters one row (bpp 3) into out[0] = filter type, out[1..n] = bytes.
// scratch holds 4 * n bytes for the candidates.
void FilterRow(const uint8_t* row, const uint8_t* prev, size_t n, uint8_t* out, uint8_t* scratch) {
  constexpr size_t bpp = 3;
  uint8_t* sub = scratch;
  uint8_t* up = scratch + n;
  uint8_t* avg = scratch + 2 * n;
  uint8_t* paeth = scratch + 3 * n;
  if (!prev) {
    // The first row has no row above: only None and Sub make sense.
    for (size_t i = 0; i < bpp && i < n; ++i) sub[i] = row[i];
    for (size_t i = bpp; i < n; ++i) sub[i] = uint8_t(row[i] - row[i - bpp]);
    if (Cost(sub, n) < Cost(row, n)) {
      out[0] = 1;
      std::memcpy(out + 1, sub, n);
    } else {
      out[0] = 0;
      std::memcpy(out + 1, row, n);
    }
    return;
  }
  for (size_t i = 0; i < bpp && i < n; ++i) {
    sub[i] = row[i];
    up[i] = uint8_t(row[i] - prev[i]);
    avg[i] = uint8_t(row[i] - (prev[i] >> 1));
    paeth[i] = uint8_t(row[i] - prev[i]);
  }
  for (size_t i = bpp; i < n; ++i) {
    sub[i] = uint8_t(row[i] - row[i - bpp]);
    up[i] = uint8_t(row[i] - prev[i]);
    avg[i] = uint8_t(row[i] - ((row[i - bpp] + prev[i]) >> 1));
  }
  for (size_t i = bpp; i < n; ++i)
    paeth[i] = uint8_t(row[i] - Paeth(row[i - bpp], prev[i], prev[i - bpp]));
  const uint8_t* candidates[5] = {row, sub, up, avg, paeth};
  uint32_t best = Cost(row, n);
  int bestType = 0;
  for (int t = 1; t < 5; ++t) {
    uint32_t c = Cost(candidates[t], n);
    if (c < best) best = c, bestType = t;
  }
  out[0] = uint8_t(bestType);
  std::memcpy(out + 1, candidates[bestType], n);
}

// Filters rows [first, last) one after another into out.
void FilterInto(const WriteImage& image, uint8_t* out, uint32_t first, uint32_t last,
                uint8_t* scratch) {
  size_t n = size_t{image.width} * 3;
  for (uint32_t y = first; y < last; ++y) {
    const uint8_t* row = image.pixels + size_t{y} * image.rowBytes;
    const uint8_t* prev = y ? row - image.rowBytes : nullptr;
    FilterRow(row, prev, n, out + size_t{y - first} * (n + 1), scratch);
  }
}

void FilterRows(const WriteImage& image, uint8_t* filtered, uint32_t first, uint32_t last) {
  size_t n = size_t{image.width} * 3;
  std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[4 * n]);
  if (!scratch) return;  // caller checks the marker byte below
  FilterInto(image, filtered + size_t{first} * (n + 1), first, last, scratch.get());
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

struct Span {
  const uint8_t* data;
  size_t size;
};

// Writes the parts, joined, as IDAT chunks of at most kIdatChunk bytes.
bool WriteIdats(Dest& dest, std::initializer_list<Span> parts) {
  size_t total = 0;
  for (const Span& p : parts) total += p.size;
  const Span* part = parts.begin();
  size_t used = 0;  // of *part
  while (total > 0) {
    size_t length = std::min(total, kIdatChunk);
    uint8_t head[8];
    PutBe32(head, static_cast<uint32_t>(length));
    std::memcpy(head + 4, "IDAT", 4);
    uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (!dest.Write(head, 8)) return false;
    for (size_t left = length; left > 0;) {
      while (used == part->size) ++part, used = 0;
      size_t take = std::min(left, part->size - used);
      crc = libdeflate_crc32(crc, part->data + used, take);
      if (!dest.Write(part->data + used, take)) return false;
      used += take;
      left -= take;
    }
    uint8_t tail[4];
    PutBe32(tail, crc);
    if (!dest.Write(tail, 4)) return false;
    total -= length;
  }
  return true;
}

// The filtered picture and its compressed stream in one piece: the fastest
// way while both are small.
uint32_t WriteOneShot(Dest& dest, const WriteImage& image) {
  size_t n = size_t{image.width} * 3;
  size_t filteredSize = size_t{image.height} * (n + 1);
  Block filtered(AllocBlock(filteredSize));
  if (!filtered) return kErrNoMemory;
  // 0xFF is no filter type: a row left at it means its thread had no memory.
  filtered[0] = 0xFF;
  uint32_t split = image.height / 2;
  if (filteredSize >= kParallelBytes && split > 0) {
    filtered[size_t{split} * (n + 1)] = 0xFF;
    std::thread helper;
    try {
      helper = std::thread(FilterRows, std::cref(image), filtered.get(), split, image.height);
    } catch (...) {
      FilterRows(image, filtered.get(), split, image.height);
    }
    FilterRows(image, filtered.get(), 0, split);
    if (helper.joinable()) helper.join();
    if (filtered[size_t{split} * (n + 1)] == 0xFF) return kErrNoMemory;
  } else {
    FilterRows(image, filtered.get(), 0, image.height);
  }
  if (filtered[0] == 0xFF) return kErrNoMemory;

  std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kDeflateLevel));
  if (!compressor) return kErrNoMemory;
  size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filteredSize);
  Block compressed(AllocBlock(bound));
  if (!compressed) return kErrNoMemory;
  size_t packed = libdeflate_zlib_compress(compressor.get(), filtered.get(), filteredSize,
                                           compressed.get(), bound);
  filtered.reset();
  if (packed == 0) return kErrNoMemory;
  return WriteIdats(dest, {{compressed.get(), packed}}) ? kOk : kErrWrite;
}

// --- Bands

// Both zlib streams of one compressing thread: LZ77 with lazy matching that
// drops short matches (Z_FILTERED), and run-length only (Z_RLE). On filtered
// photographs the second is as small and three times as fast; on drawn or
// tiled pictures it is many times larger, so a sample of each band decides.
class Deflater {
 public:
  Deflater() = default;
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
  ~Deflater() {
    if (lzLive_) deflateEnd(&lz_);
    if (rleLive_) deflateEnd(&rle_);
  }
  bool Init() {
    lzLive_ = deflateInit2(&lz_, kZlibLevel, Z_DEFLATED, -15, 8, Z_FILTERED) == Z_OK;
    rleLive_ = deflateInit2(&rle_, kZlibLevel, Z_DEFLATED, -15, 8, Z_RLE) == Z_OK;
    sample_.reset(new (std::nothrow) uint8_t[kSampleBound]);
    return lzLive_ && rleLive_ && sample_;
  }
  // Compresses in[0, size) as a raw deflate segment after the dictionary;
  // the last segment ends the stream, the others end on a byte boundary.
  bool Compress(const uint8_t* dict, size_t dictBytes, const uint8_t* in, size_t size, bool last,
                uint8_t* out, size_t capacity, size_t& produced) {
    z_stream& z = RunLengthWins(dict, dictBytes, in, size) ? rle_ : lz_;
    if (!Start(z, dict, dictBytes)) return false;
    z.next_out = out;
    z.avail_out = 0;
    size_t left = capacity;
    for (;;) {
      if (z.avail_in == 0 && size > 0) {
        uInt take = uInt(std::min<size_t>(size, kPiece));
        z.next_in = const_cast<uint8_t*>(in);
        z.avail_in = take;
        in += take;
        size -= take;
      }
      if (z.avail_out == 0) {
        uInt give = uInt(std::min<size_t>(left, kPiece));
        if (give == 0) return false;
        z.avail_out = give;
        left -= give;
      }
      int flush = size > 0 || z.avail_in > 0 ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
      int r = deflate(&z, flush);
      if (r == Z_STREAM_END) break;
      if (r != Z_OK && r != Z_BUF_ERROR) return false;
      // A flush is complete when it leaves output space unused.
      if (flush == Z_SYNC_FLUSH && z.avail_out > 0) break;
    }
    produced = static_cast<size_t>(z.next_out - out);
    return true;
  }

 private:
  static constexpr size_t kSample = size_t{64} << 10;
  static constexpr size_t kSampleBound = kSample + kSample / 8 + 1024;
  static constexpr size_t kPiece = size_t{1} << 30;
  static constexpr int kZlibLevel = 4;

  static bool Start(z_stream& z, const uint8_t* dict, size_t dictBytes) {
    if (deflateReset(&z) != Z_OK) return false;
    return dictBytes == 0 || deflateSetDictionary(&z, dict, uInt(dictBytes)) == Z_OK;
  }
  // Size of the sample compressed by z, or SIZE_MAX on failure.
  size_t SampleSize(z_stream& z, const uint8_t* dict, size_t dictBytes, const uint8_t* in) {
    if (!Start(z, dict, dictBytes)) return SIZE_MAX;
    z.next_in = const_cast<uint8_t*>(in);
    z.avail_in = uInt(kSample);
    z.next_out = sample_.get();
    z.avail_out = uInt(kSampleBound);
    return deflate(&z, Z_FINISH) == Z_STREAM_END ? kSampleBound - z.avail_out : SIZE_MAX;
  }
  bool RunLengthWins(const uint8_t* dict, size_t dictBytes, const uint8_t* in, size_t size) {
    if (size < 4 * kSample) return false;
    size_t lz = SampleSize(lz_, dict, dictBytes, in);
    size_t rle = SampleSize(rle_, dict, dictBytes, in);
    return rle != SIZE_MAX && lz != SIZE_MAX && rle <= lz + lz / 64;
  }

  z_stream lz_{};
  z_stream rle_{};
  bool lzLive_ = false;
  bool rleLive_ = false;
  std::unique_ptr<uint8_t[]> sample_;
};

// One band in flight: its filtered rows (after the rows that prime it) and
// its compressed segment.
struct Segment {
  Block filtered;
  Block packed;
  size_t capacity = 0;
  size_t packedSize = 0;
  size_t rawSize = 0;
  uLong adler = 1;
  bool ready = false;
  bool ok = false;
};

// Filters and compresses bands on worker threads while the calling thread
// writes the finished ones in order. At most `ring` bands are in flight, so
// the memory held is that many bands whatever the picture's size.
class BandWriter {
 public:
  BandWriter(const WriteImage& image, uint32_t bandRows)
      : image_(image),
        rowBytes_(size_t{image.width} * 3 + 1),
        bandRows_(std::min(bandRows, image.height)),
        bands_((image.height - 1) / bandRows_ + 1),
        primeRows_(uint32_t((kWindow + rowBytes_ - 1) / rowBytes_)) {}
  BandWriter(const BandWriter&) = delete;
  BandWriter& operator=(const BandWriter&) = delete;
  ~BandWriter() { Stop(); }

  uint32_t Run(Dest& dest, unsigned threads);

 private:
  static constexpr size_t kWindow = 32768;

  bool Allocate(size_t slots);
  bool Produce(uint32_t band, Segment& segment, Deflater& deflater, uint8_t* scratch) const;
  void Work();
  void Stop();

  const WriteImage& image_;
  size_t rowBytes_;  // filter byte + row
  uint32_t bandRows_;
  uint32_t bands_;
  uint32_t primeRows_;
  std::vector<Segment> ring_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t next_ = 0;     // band the next worker takes
  uint32_t written_ = 0;  // bands written
  bool stop_ = false;
};

bool BandWriter::Allocate(size_t slots) {
  size_t raw = size_t{bandRows_} * rowBytes_;
  size_t filtered = raw + size_t{primeRows_} * rowBytes_;
  // Above zlib's bound for any strategy, sync flush markers included.
  size_t capacity = raw + raw / 8 + 4096;
  ring_.resize(slots);
  for (Segment& s : ring_) {
    s.filtered.reset(AllocBlock(filtered));
    s.packed.reset(AllocBlock(capacity));
    s.capacity = capacity;
    if (!s.filtered || !s.packed) return false;
  }
  return true;
}

bool BandWriter::Produce(uint32_t band, Segment& segment, Deflater& deflater,
                         uint8_t* scratch) const {
  uint32_t first = band * bandRows_;
  uint32_t last = first + std::min(bandRows_, image_.height - first);
  uint32_t prime = std::min(first, primeRows_);
  FilterInto(image_, segment.filtered.get(), first - prime, last, scratch);
  const uint8_t* in = segment.filtered.get() + size_t{prime} * rowBytes_;
  size_t dictBytes = std::min(size_t{prime} * rowBytes_, kWindow);
  segment.rawSize = size_t{last - first} * rowBytes_;
  segment.adler = adler32_z(adler32(0, nullptr, 0), in, segment.rawSize);
  return deflater.Compress(in - dictBytes, dictBytes, in, segment.rawSize, band + 1 == bands_,
                           segment.packed.get(), segment.capacity, segment.packedSize);
}

void BandWriter::Work() {
  Deflater deflater;
  std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[4 * (rowBytes_ - 1)]);
  bool ready = deflater.Init() && scratch;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock,
                  [&] { return stop_ || next_ >= bands_ || next_ < written_ + ring_.size(); });
    if (stop_ || next_ >= bands_) return;
    uint32_t band = next_++;
    Segment& segment = ring_[band % ring_.size()];
    lock.unlock();
    bool ok = ready && Produce(band, segment, deflater, scratch.get());
    lock.lock();
    segment.ok = ok;
    segment.ready = true;
    changed_.notify_all();
  }
}

void BandWriter::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

uint32_t BandWriter::Run(Dest& dest, unsigned threads) {
  threads = std::clamp(threads, 1u, bands_);
  if (!Allocate(threads == 1 ? 1 : threads + 2)) return kErrNoMemory;
  if (threads > 1) {
    for (unsigned t = 0; t < threads; ++t) {
      try {
        workers_.emplace_back(&BandWriter::Work, this);
      } catch (...) {
        break;  // fewer threads; none at all leaves the work to this one
      }
    }
  }
  Deflater own;
  std::unique_ptr<uint8_t[]> scratch;
  if (workers_.empty()) {
    scratch.reset(new (std::nothrow) uint8_t[4 * (rowBytes_ - 1)]);
    if (!own.Init() || !scratch) return kErrNoMemory;
  }
  // zlib header: deflate, 32 KB window, the "fast" level class, check bits.
  const uint8_t header[2] = {0x78, 0x5E};
  uLong adler = adler32(0, nullptr, 0);
  for (uint32_t band = 0; band < bands_; ++band) {
    Segment& segment = ring_[band % ring_.size()];
    if (workers_.empty()) {
      segment.ok = Produce(band, segment, own, scratch.get());
    } else {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return segment.ready; });
    }
    if (!segment.ok) return kErrNoMemory;
    adler = adler32_combine(adler, segment.adler, z_off_t(segment.rawSize));
    uint8_t trailer[4];
    PutBe32(trailer, uint32_t(adler));
    bool last = band + 1 == bands_;
    if (!WriteIdats(dest, {{header, band == 0 ? 2u : 0u},
                           {segment.packed.get(), segment.packedSize},
                           {trailer, last ? 4u : 0u}}))
      return kErrWrite;
    {
      std::lock_guard lock(mutex_);
      segment.ready = false;
      ++written_;
    }
    changed_.notify_all();
    ReportProgress(double(band + 1) / bands_);
  }
  return kOk;
}

}  // namespace

uint32_t WritePNG(Dest& dest, const WriteImage& image, const ResolutionRecord& res,
                  const PngBands& bands) {
  auto fail = [](uint32_t code) {
    SetLastError(code);
    return code;
  };
  if (!image.pixels || image.width == 0 || image.height == 0 || image.bitsPerPixel != 24 ||
      image.rowBytes < uint64_t{image.width} * 3 || image.width > 0x7FFFFFFFu ||
      image.height > 0x7FFFFFFFu)
    return fail(kErrParam);

  size_t n = size_t{image.width} * 3;
  uint64_t filteredSize = uint64_t{image.height} * (n + 1);
  uint32_t bandRows = bands.rows;
  if (bandRows == 0 && filteredSize > kOneShotBytes)
    bandRows = uint32_t(std::max<size_t>(1, kBandBytes / (n + 1)));

  uint8_t ihdr[13];
  PutBe32(ihdr, image.width);
  PutBe32(ihdr + 4, image.height);
  ihdr[8] = 8;   // bits per sample
  ihdr[9] = 2;   // RGB
  ihdr[10] = 0;  // deflate
  ihdr[11] = 0;  // adaptive filtering
  ihdr[12] = 0;  // not interlaced
  bool ok = dest.Write(kSignature, 8) && WriteChunk(dest, "IHDR", ihdr, 13);
  if (ok && res.x != 0 && res.y != 0) {
    auto clamp = [](double v) {
      if (!std::isfinite(v) || v <= 0) return uint32_t{0};
      return v >= 2147483647.0 ? uint32_t{2147483647} : static_cast<uint32_t>(v);
    };
    uint8_t phys[9];
    PutBe32(phys, clamp(res.x));
    PutBe32(phys + 4, clamp(res.y));
    phys[8] = res.unit == 1 ? 1 : 0;
    ok = WriteChunk(dest, "pHYs", phys, 9);
  }
  if (!ok) return fail(kErrWrite);
  uint32_t code;
  if (bandRows == 0 || bandRows == kPngWhole) {
    if (filteredSize >= kMaxBlockBytes) return fail(kErrTooLarge);
    code = WriteOneShot(dest, image);
  } else {
    unsigned threads = bands.threads;
    if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    code = BandWriter(image, bandRows).Run(dest, threads);
  }
  if (code != kOk) return fail(code);
  if (!WriteChunk(dest, "IEND", nullptr, 0) || dest.Failed()) return fail(kErrWrite);
  return fail(kOk);
}

}  // namespace qimg
