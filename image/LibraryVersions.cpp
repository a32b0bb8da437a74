#include "image/LibraryVersions.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
// clang-format on

#include <gif_lib.h>
#include <libdeflate.h>
#include <png.h>
#include <tiffvers.h>
#include <zlib.h>

namespace qimg {

std::vector<LibraryVersion> LibraryVersions() {
  // libtiff's string carries a copyright line after the version.
  std::string tiff = TIFFLIB_VERSION_STR;
  tiff = tiff.substr(0, tiff.find('\n'));
  return {
      {"libpng", PNG_LIBPNG_VER_STRING, "libpng licence"},
      {"libjpeg-turbo, JPEG library", std::to_string(JPEG_LIB_VERSION), "IJG and BSD-3-Clause"},
      {"libtiff", tiff, "libtiff licence"},
      {"giflib",
       std::to_string(GIFLIB_MAJOR) + '.' + std::to_string(GIFLIB_MINOR) + '.' +
           std::to_string(GIFLIB_RELEASE),
       "MIT"},
      {"zlib", ZLIB_VERSION, "zlib licence"},
      {"libdeflate", LIBDEFLATE_VERSION_STRING, "MIT"},
  };
}

}  // namespace qimg
