#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "image/lib/Imaging.h"
#include "image/lib/Progress.h"

namespace qimg {

namespace {
constexpr size_t kReadAhead = size_t{1} << 18;

bool ReadFully(int fd, uint64_t offset, uint8_t* dst, size_t n, size_t& got) {
  got = 0;
  while (got < n) {
    ssize_t r = pread(fd, dst + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return true;
}
}  // namespace

Source::~Source() {
  if (fd_ >= 0) close(fd_);
}

std::unique_ptr<Source> Source::OpenFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  std::unique_ptr<Source> s(new Source());
  s->fd_ = fd;
  s->size_ = static_cast<uint64_t>(st.st_size);
  s->path_ = path;
  s->buffer_ = std::make_unique<uint8_t[]>(kReadAhead);
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return s;
}

std::unique_ptr<Source> Source::FromMemory(const void* data, size_t size) {
  std::unique_ptr<Source> s(new Source());
  s->memory_ = static_cast<const uint8_t*>(data);
  s->size_ = size;
  return s;
}

size_t Source::Read(void* buffer, size_t n) {
  if (position_ >= size_ || n == 0) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - position_));
  uint8_t* out = static_cast<uint8_t*>(buffer);
  if (memory_) {
    std::memcpy(out, memory_ + position_, n);
    position_ += n;
    return n;
  }
  size_t done = 0;
  while (done < n) {
    if (position_ >= bufferStart_ && position_ < bufferStart_ + bufferFill_) {
      size_t off = static_cast<size_t>(position_ - bufferStart_);
      size_t take = std::min(n - done, bufferFill_ - off);
      std::memcpy(out + done, buffer_.get() + off, take);
      done += take;
      position_ += take;
      continue;
    }
    // A long read reports how far it is; a cancelled one ends here.
    if (!ReportProgress(double(position_) / double(size_))) return done;
    size_t got = 0;
    if (n - done >= kReadAhead) {
      // Large reads go straight into the caller's memory.
      if (!ReadFully(fd_, position_, out + done, n - done, got)) return done;
      done += got;
      position_ += got;
      break;
    }
    if (!ReadFully(fd_, position_, buffer_.get(), kReadAhead, got) || got == 0) return done;
    bufferStart_ = position_;
    bufferFill_ = got;
  }
  return done;
}

bool Source::Seek(uint64_t position) {
  if (position > size_) return false;
  position_ = position;
  return true;
}

}  // namespace qimg
