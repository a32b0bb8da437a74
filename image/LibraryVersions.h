// The codec libraries the image layer is built with, as the About box lists
// them: front ends show them without including or linking the libraries.
#pragma once

#include <string>
#include <vector>

namespace qimg {

struct LibraryVersion {
  std::string name;
  std::string version;
  std::string licence;  // the terms it is used under
};

// libpng, libjpeg-turbo, libtiff, giflib, zlib and libdeflate, in that
// order, with the versions their headers declare.
std::vector<LibraryVersion> LibraryVersions();

}  // namespace qimg
