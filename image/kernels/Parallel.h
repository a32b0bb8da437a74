// Splits independent rows or columns of a kernel over the machine's cores.
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

namespace qkern {

// Threads worth starting for `work` units of roughly equal cost; starting a
// thread costs tens of microseconds, so small jobs stay on the caller.
inline int ThreadsFor(int64_t work, int64_t minWorkPerThread = 1 << 20) {
  static const int cores = [] {
    unsigned n = std::thread::hardware_concurrency();
    return int(std::clamp(n, 1u, 8u));
  }();
  int64_t wanted = work / std::max<int64_t>(1, minWorkPerThread);
  return int(std::clamp<int64_t>(wanted, 1, cores));
}

// Calls fn(begin, end, part) on disjoint parts 0 .. threads - 1 of [0, count)
// with up to `threads` threads, the caller taking part 0. When a thread cannot
// be started its part runs on the caller, so nothing is skipped and nothing
// is thrown.
template <class Fn>
void ParallelParts(int count, int threads, Fn&& fn) {
  threads = std::clamp(threads, 1, std::max(1, count));
  if (threads == 1) {
    if (count > 0) fn(0, count, 0);
    return;
  }
  auto bound = [count, threads](int t) { return int(int64_t(count) * t / threads); };
  std::vector<std::thread> pool;
  try {
    pool.reserve(size_t(threads - 1));
  } catch (...) {
  }
  for (int t = 1; t < threads; ++t) {
    try {
      pool.emplace_back([&fn, t, b = bound(t), e = bound(t + 1)] { fn(b, e, t); });
    } catch (...) {
      fn(bound(t), bound(t + 1), t);
    }
  }
  fn(0, bound(1), 0);
  for (auto& th : pool) th.join();
}

// The same without the part number.
template <class Fn>
void ParallelFor(int count, int threads, Fn&& fn) {
  ParallelParts(count, threads, [&fn](int begin, int end, int) { fn(begin, end); });
}

}  // namespace qkern
