// info and convert: the image files as the document reads and writes them.
#include <cmath>
#include <cstdio>

#include "image/ISImageEx.h"
#include "tools/cli/Commands.h"

int CmdInfo(const Args& args) {
  if (args.size() != 1) {
    std::fputs("usage: quiltor-cli info FILE\n", stderr);
    return 2;
  }
  const std::string& path = args[0];
  CISImageEx image;
  uint32_t result = image.Load(path);
  if (result != kISOk || !image.HasPixels()) {
    std::fprintf(stderr, "error: cannot load %s (result %u: %s)\n", path.c_str(), result,
                 qimg::ErrorText(result));
    return 1;
  }
  uint32_t type = kFileNone;
  if (auto source = qimg::Source::OpenFile(path)) type = image.DetectFileType(*source, path);
  std::printf("type=%u size=%ux%u resolution=%.0fx%.0f unit=%u\n", type, image.m_width,
              image.m_height, image.m_resolutionX, image.m_resolutionY, image.m_resolutionUnit);
  return 0;
}

int CmdConvert(const Args& args) {
  if (args.size() != 2) {
    std::fputs("usage: quiltor-cli convert IN OUT\n", stderr);
    return 2;
  }
  const std::string &in = args[0], &out = args[1];
  uint32_t type = CISImageEx::FileTypeFromExtension(out);
  if (type == kFileNone) {
    std::fprintf(stderr, "error: %s: the extension names no image type (type %u)\n", out.c_str(),
                 type);
    return 1;
  }
  CISImageEx image;
  uint32_t result = image.Load(in);
  if (result != kISOk || !image.HasPixels()) {
    std::fprintf(stderr, "error: cannot load %s (result %u: %s)\n", in.c_str(), result,
                 qimg::ErrorText(result));
    return 1;
  }
  result = image.SaveFile(out, type);
  if (result != kISOk) {
    std::fprintf(stderr, "error: cannot write %s (result %u: %s)\n", out.c_str(), result,
                 qimg::ErrorText(result));
    return 1;
  }
  return 0;
}
