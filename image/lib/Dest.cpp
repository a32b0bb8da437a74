#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "image/lib/Imaging.h"

namespace qimg {

namespace {
constexpr size_t kWriteBuffer = size_t{1} << 20;

bool WriteFully(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}
}  // namespace

Dest::~Dest() { Close(); }

std::unique_ptr<Dest> Dest::OpenFile(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::unique_ptr<Dest> d(new Dest());
  d->fd_ = fd;
  d->buffer_ = std::make_unique<uint8_t[]>(kWriteBuffer);
  return d;
}

std::unique_ptr<Dest> Dest::ToMemory() {
  std::unique_ptr<Dest> d(new Dest());
  d->isMemory_ = true;
  return d;
}

bool Dest::Flush() {
  if (fd_ < 0 || bufferFill_ == 0) return !failed_;
  if (!WriteFully(fd_, buffer_.get(), bufferFill_)) failed_ = true;
  bufferFill_ = 0;
  return !failed_;
}

bool Dest::Write(const void* data, size_t n) {
  if (failed_) return false;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (isMemory_) {
    if (position_ == memory_.size()) {
      memory_.append(reinterpret_cast<const char*>(p), n);
    } else {
      if (position_ + n > memory_.size()) memory_.resize(position_ + n);
      std::memcpy(memory_.data() + position_, p, n);
    }
    position_ += n;
    return true;
  }
  if (fd_ < 0) return failed_ = true, false;
  if (bufferFill_ + n > kWriteBuffer) {
    if (!Flush()) return false;
    if (n >= kWriteBuffer) {
      if (!WriteFully(fd_, p, n)) return failed_ = true, false;
      position_ += n;
      return true;
    }
  }
  std::memcpy(buffer_.get() + bufferFill_, p, n);
  bufferFill_ += n;
  position_ += n;
  return true;
}

bool Dest::Seek(uint64_t position) {
  if (failed_) return false;
  if (isMemory_) {
    if (position > memory_.size()) memory_.resize(position);
    position_ = position;
    return true;
  }
  if (!Flush()) return false;
  if (lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) return failed_ = true, false;
  position_ = position;
  return true;
}

bool Dest::Close() {
  if (isMemory_) return !failed_;
  if (fd_ < 0) return !failed_;
  Flush();
  if (close(fd_) != 0) failed_ = true;
  fd_ = -1;
  return !failed_;
}

}  // namespace qimg
