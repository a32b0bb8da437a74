#include "image/codecs/PngFast.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace qimg {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxDimension = 1u << 24;  // as the libpng path's user limits
constexpr uint64_t kMaxDeflateRatio = 1100;
constexpr size_t kInputBytes = size_t{1} << 18;
constexpr size_t kRingBytes = size_t{4} << 20;
// Below this the filter thread costs more than it saves.
constexpr uint64_t kThreadBytes = uint64_t{4} << 20;
constexpr uint32_t kDone = 0xFFFFFFFFu;

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool IsCritical(const uint8_t* type) { return (type[0] & 0x20) == 0; }

inline uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return pb <= pc ? uint8_t(b) : uint8_t(c);
}

// Undoes one row's filter (3 bytes per pixel); false for an unknown filter.
bool Unfilter(const uint8_t* in, const uint8_t* prev, uint8_t* out, size_t n) {
  const uint8_t* f = in + 1;
  switch (in[0]) {
    case 0: std::memcpy(out, f, n); return true;
    case 1:
      for (size_t i = 0; i < n; ++i) out[i] = uint8_t(f[i] + (i >= 3 ? out[i - 3] : 0));
      return true;
    case 2:
      for (size_t i = 0; i < n; ++i) out[i] = uint8_t(f[i] + prev[i]);
      return true;
    case 3:
      for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(f[i] + (((i >= 3 ? out[i - 3] : 0) + prev[i]) >> 1));
      return true;
    case 4:
      for (size_t i = 0; i < 3 && i < n; ++i) out[i] = uint8_t(f[i] + prev[i]);
      for (size_t i = 3; i < n; ++i)
        out[i] = uint8_t(f[i] + Paeth(out[i - 3], prev[i], prev[i - 3]));
      return true;
    default: return false;
  }
}

// Rows pass from the inflating thread to the filtering one through a ring of
// row slots; each side waits on the other's counter.
struct Pipeline {
  uint8_t* block = nullptr;
  uint32_t height = 0;
  size_t rowBytes = 0;   // output row
  size_t slotBytes = 0;  // filter byte + row
  uint32_t slots = 0;
  std::unique_ptr<uint8_t[]> ring;
  std::unique_ptr<uint8_t[]> zeros;  // the row above the first
  std::atomic<uint32_t> produced{0};
  std::atomic<uint32_t> consumed{0};
  std::atomic<bool> badFilter{false};

  uint8_t* Slot(uint32_t y) { return ring.get() + size_t(y % slots) * slotBytes; }

  bool FilterRow(uint32_t y) {
    const uint8_t* prev = y ? block + size_t(y - 1) * rowBytes : zeros.get();
    return Unfilter(Slot(y), prev, block + size_t(y) * rowBytes, rowBytes);
  }

  // The filtering thread.
  void Consume() {
    for (uint32_t y = 0; y < height; ++y) {
      uint32_t have;
      while ((have = produced.load(std::memory_order_acquire)) <= y) produced.wait(have);
      if (have == kDone || !FilterRow(y)) {
        if (have != kDone) badFilter = true;
        consumed.store(kDone, std::memory_order_release);
        consumed.notify_one();
        return;
      }
      consumed.store(y + 1, std::memory_order_release);
      consumed.notify_one();
    }
  }

  // Producer side: waits until slot y is free again; false when the
  // filtering thread gave up.
  bool WaitForSlot(uint32_t y) {
    uint32_t done;
    while ((done = consumed.load(std::memory_order_acquire)) != kDone && y - done >= slots)
      consumed.wait(done);
    return done != kDone;
  }
  void Publish(uint32_t rows) {
    produced.store(rows, std::memory_order_release);
    produced.notify_one();
  }
};

struct ZStream {
  z_stream z{};
  bool live = false;
  ~ZStream() {
    if (live) inflateEnd(&z);
  }
};

// Reads one chunk header; false at the end of the file.
bool ChunkHeader(Source& s, uint32_t& length, uint8_t type[4]) {
  uint8_t h[8];
  if (!s.ReadExact(h, 8)) return false;
  length = Be32(h);
  std::memcpy(type, h + 4, 4);
  return length <= 0x7FFFFFFFu;
}

// Reads a chunk's data (discarding it) and checks its CRC.
bool SkipChunk(Source& s, const uint8_t type[4], uint32_t length, bool& crcOk) {
  uLong crc = crc32(0, type, 4);
  uint8_t buf[4096];
  while (length > 0) {
    uint32_t n = std::min<uint32_t>(length, sizeof buf);
    if (!s.ReadExact(buf, n)) return false;
    crc = crc32(crc, buf, n);
    length -= n;
  }
  uint8_t stored[4];
  if (!s.ReadExact(stored, 4)) return false;
  crcOk = Be32(stored) == uint32_t(crc);
  return true;
}

class FastReader {
 public:
  FastReader(Source& s, uint32_t w, uint32_t h) : s_(s), width_(w), height_(h) {}
  ~FastReader() { StopThread(); }
  // Decodes from the first IDAT (its header already read) to IEND.
  uint32_t Run(uint32_t firstLength, Block& block);

 private:
  void StopThread() {
    if (thread_.joinable()) {
      if (pipe_.produced.load() < height_) pipe_.Publish(kDone);
      thread_.join();
    }
  }
  uint32_t Inflate(uint32_t firstLength);
  uint32_t Fail(uint32_t code) {
    StopThread();
    return code;
  }

  Source& s_;
  uint32_t width_, height_;
  Pipeline pipe_;
  std::thread thread_;
  bool threaded_ = false;
};

uint32_t FastReader::Run(uint32_t firstLength, Block& block) {
  size_t rowBytes = size_t{width_} * 3;
  pipe_.block = block.get();
  pipe_.height = height_;
  pipe_.rowBytes = rowBytes;
  pipe_.slotBytes = rowBytes + 1;
  pipe_.slots = uint32_t(std::clamp<size_t>(kRingBytes / pipe_.slotBytes, 2, 256));
  pipe_.ring.reset(new (std::nothrow) uint8_t[pipe_.slots * pipe_.slotBytes]);
  pipe_.zeros.reset(new (std::nothrow) uint8_t[rowBytes]());
  if (!pipe_.ring || !pipe_.zeros) return kErrNoMemory;
  if (uint64_t{rowBytes} * height_ >= kThreadBytes) {
    try {
      thread_ = std::thread(&Pipeline::Consume, &pipe_);
      threaded_ = true;
    } catch (const std::system_error&) {
      threaded_ = false;  // filter on this thread instead
    }
  }
  uint32_t code = Inflate(firstLength);
  if (code != kOk) return Fail(code);
  StopThread();
  if (pipe_.badFilter || (threaded_ && pipe_.consumed.load() != height_)) return kErrFormat;
  return kOk;
}

uint32_t FastReader::Inflate(uint32_t firstLength) {
  ZStream zs;
  if (inflateInit(&zs.z) != Z_OK) return kErrNoMemory;
  zs.live = true;
  std::unique_ptr<uint8_t[]> input(new (std::nothrow) uint8_t[kInputBytes]);
  if (!input) return kErrNoMemory;

  uint32_t row = 0;    // row being inflated
  size_t rowFill = 0;  // bytes of it so far
  bool streamEnd = false;
  uint32_t length = firstLength;
  uint8_t type[4] = {'I', 'D', 'A', 'T'};
  if (threaded_ && !pipe_.WaitForSlot(0)) return kErrFormat;
  // IDAT chunks, consecutive.
  for (;;) {
    uLong crc = crc32(0, type, 4);
    uint32_t left = length;
    while (left > 0) {
      size_t n = std::min<size_t>(left, kInputBytes);
      if (!s_.ReadExact(input.get(), n)) return kErrTruncated;
      crc = crc32(crc, input.get(), uInt(n));
      left -= uint32_t(n);
      zs.z.next_in = input.get();
      zs.z.avail_in = uInt(n);
      // Data after the end of the stream is ignored, as libpng does.
      while (zs.z.avail_in > 0 && !streamEnd) {
        if (row >= height_) {
          // All rows are in: the rest of the stream up to its checksum is
          // inflated and dropped (libpng only warns about extra data).
          uint8_t sink[4096];
          zs.z.next_out = sink;
          zs.z.avail_out = sizeof sink;
          int r = inflate(&zs.z, Z_NO_FLUSH);
          if (r == Z_STREAM_END)
            streamEnd = true;
          else if (r != Z_OK && !(r == Z_BUF_ERROR && zs.z.avail_in == 0))
            return kErrFormat;
          continue;
        }
        uint8_t* slot = pipe_.Slot(row);
        zs.z.next_out = slot + rowFill;
        zs.z.avail_out = uInt(pipe_.slotBytes - rowFill);
        int r = inflate(&zs.z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END && !(r == Z_BUF_ERROR && zs.z.avail_in == 0))
          return kErrFormat;
        rowFill = pipe_.slotBytes - zs.z.avail_out;
        if (r == Z_STREAM_END) streamEnd = true;
        if (rowFill == pipe_.slotBytes) {
          if (threaded_) {
            pipe_.Publish(row + 1);
            if (row + 1 < height_ && !pipe_.WaitForSlot(row + 1)) return kErrFormat;
          } else if (!pipe_.FilterRow(row)) {
            return kErrFormat;
          }
          ++row;
          rowFill = 0;
        }
      }
    }
    uint8_t stored[4];
    if (!s_.ReadExact(stored, 4)) return kErrTruncated;
    if (Be32(stored) != uint32_t(crc)) return kErrFormat;
    if (!ChunkHeader(s_, length, type)) return kErrTruncated;
    if (std::memcmp(type, "IDAT", 4) != 0) break;
  }
  if (!streamEnd || row < height_) return kErrFormat;
  // Ancillary chunks up to IEND; any other critical chunk (another IDAT run
  // among them) makes the file corrupt.
  for (int guard = 0; guard < 100000; ++guard) {
    bool crcOk = false;
    if (std::memcmp(type, "IEND", 4) == 0) {
      if (length != 0) return kErrFormat;
      if (!SkipChunk(s_, type, 0, crcOk)) return kErrTruncated;
      return crcOk ? kOk : kErrFormat;
    }
    if (IsCritical(type)) return kErrFormat;
    if (!SkipChunk(s_, type, length, crcOk)) return kErrTruncated;
    if (!ChunkHeader(s_, length, type)) return kErrTruncated;
  }
  return kErrFormat;
}

}  // namespace

bool ReadPngRgb8(Source& source, Decoded& out, uint32_t& code) {
  auto decline = [&] {
    source.Seek(0);
    return false;
  };
  source.Seek(0);
  uint8_t head[8 + 8 + 13 + 4];
  if (!source.ReadExact(head, sizeof head) || std::memcmp(head, kSignature, 8) != 0 ||
      Be32(head + 8) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0)
    return decline();
  const uint8_t* d = head + 16;
  uint32_t width = Be32(d), height = Be32(d + 4);
  if (d[8] != 8 || d[9] != 2 || d[10] != 0 || d[11] != 0 || d[12] != 0) return decline();
  if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension)
    return decline();
  if (Be32(head + 29) != uint32_t(crc32(0, head + 12, 17))) return decline();
  // Ancillary chunks up to the first IDAT; anything critical but PLTE, or a
  // damaged critical chunk, is left to libpng.
  uint32_t length = 0;
  uint8_t type[4];
  for (int guard = 0;; ++guard) {
    if (guard > 100000 || !ChunkHeader(source, length, type)) return decline();
    if (std::memcmp(type, "IDAT", 4) == 0) break;
    if (IsCritical(type) && std::memcmp(type, "PLTE", 4) != 0) return decline();
    bool crcOk = false;
    if (!SkipChunk(source, type, length, crcOk) || (!crcOk && IsCritical(type))) return decline();
  }

  out = Decoded{};
  uint64_t size = BlockSize(width, height, 24);
  uint64_t stored = (uint64_t{width} * 3 + 1) * height;
  if (size == 0)
    code = kErrTooLarge;
  else if (source.Size() != 0 && stored / kMaxDeflateRatio > source.Size())
    code = kErrTruncated;
  else {
    Block block(AllocBlock(static_cast<size_t>(size)));
    if (!block) {
      code = kErrNoMemory;
    } else {
      FastReader reader(source, width, height);
      code = reader.Run(length, block);
      if (code == kOk) {
        out.pixels = std::move(block);
        out.width = width;
        out.height = height;
        out.bitsPerPixel = 24;
      }
    }
  }
  return true;
}

}  // namespace qimg
