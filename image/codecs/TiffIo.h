// libtiff plumbing shared by the TIFF reader and writer: open options with
// our limits and silent per-handle error handlers, and a TIFF handle owner.
#pragma once

#include <tiffio.h>

#include <cstdarg>
#include <memory>

namespace qimg::tiffio {

// No single libtiff allocation (strip buffers, tag arrays) may pass this.
constexpr tmsize_t kMaxSingleAlloc = tmsize_t{256} << 20;

// libtiff would print to standard error; a failed call's result code says enough.
inline int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
using Options = std::unique_ptr<TIFFOpenOptions, OptionsDeleter>;

inline Options MakeOptions() {
  Options opts(TIFFOpenOptionsAlloc());
  if (!opts) return opts;
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), kMaxSingleAlloc);
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), Quiet, nullptr);
  return opts;
}

struct HandleDeleter {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using Handle = std::unique_ptr<TIFF, HandleDeleter>;

}  // namespace qimg::tiffio
