#include <sys/mman.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/lib/Imaging.h"

namespace qimg {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
std::atomic<int> g_allocationsBeforeFailure{-1};
std::atomic<bool> g_noAtomicClaim{false};
}  // namespace

void FailAllocationAfter(int skip) { g_allocationsBeforeFailure = skip < 0 ? -1 : skip; }

bool AllocationRefused() {
  int left = g_allocationsBeforeFailure.load();
  while (left >= 0) {
    if (g_allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) return left == 0;
  }
  return false;
}

void SetNoAtomicClaim(bool on) { g_noAtomicClaim = on; }
bool NoAtomicClaim() { return g_noAtomicClaim; }

uint8_t* AllocBlock(std::size_t bytes) {
  if (bytes == 0 || bytes >= kMaxBlockBytes || AllocationRefused()) return nullptr;
  if (bytes < kHugePage) return static_cast<uint8_t*>(std::malloc(bytes));
  // Round up so the tail also lands in a huge page; first touch of 4 KiB pages
  // costs several times more than the decode writes themselves.
  const std::size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  void* p = nullptr;
  if (posix_memalign(&p, kHugePage, rounded) != 0) return nullptr;
  madvise(p, rounded, MADV_HUGEPAGE);
  return static_cast<uint8_t*>(p);
}

void FreeBlock(uint8_t* block) { std::free(block); }

std::size_t BlockSize(uint32_t width, uint32_t height, uint32_t bitsPerPixel) {
  if (width == 0 || height == 0) return 0;
  const std::size_t row =
      bitsPerPixel == 1 ? (std::size_t{width} + 7) / 8 : std::size_t{width} * (bitsPerPixel / 8);
  if (row > kMaxRowBytes || row > SIZE_MAX / height) return 0;  // would wrap around
  const std::size_t size = row * height;
  return size >= kMaxBlockBytes ? 0 : size;
}

}  // namespace qimg
