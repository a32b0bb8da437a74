// resize: the two resamplers of the image buffer from the console.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/ISImageEx.h"
#include "tools/cli/Commands.h"

namespace {

// A side from the command line: digits only, 1 .. 1 << 20.
bool ParseSide(const std::string& text, uint32_t& side) {
  if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
  if (value == 0 || value > (1ul << 20)) return false;
  side = uint32_t(value);
  return true;
}

const char* ResultText(uint32_t code) {
  switch (code) {
    case kISOutOfMemory: return "out of memory";
    case kISRefused: return "no image or request refused";
    default: return qimg::ErrorText(code);
  }
}

}  // namespace

int CmdResize(const Args& args) {
  if (args.size() != 4 && args.size() != 5) {
    std::fputs("usage: quiltor-cli resize IN OUT WIDTH HEIGHT [bilinear|0|16|17]\n", stderr);
    return 2;
  }
  const std::string &in = args[0], &out = args[1];
  uint32_t width = 0, height = 0;
  if (!ParseSide(args[2], width) || !ParseSide(args[3], height)) {
    std::fprintf(stderr, "error: bad size %s x %s (whole numbers 1 to 1048576)\n", args[2].c_str(),
                 args[3].c_str());
    return 1;
  }
  const std::string method = args.size() == 5 ? args[4] : "bilinear";
  if (method != "bilinear" && method != "0" && method != "16" && method != "17") {
    std::fprintf(stderr, "error: unknown method %s (bilinear, 0, 16 or 17)\n", method.c_str());
    return 1;
  }
  const uint32_t type = CISImageEx::FileTypeFromExtension(out);
  if (type == kFileNone) {
    std::fprintf(stderr, "error: %s: the extension names no image type\n", out.c_str());
    return 1;
  }
  CISImageEx image;
  uint32_t result = image.Load(in);
  if (result != kISOk || !image.HasPixels()) {
    std::fprintf(stderr, "error: cannot load %s (result %u: %s)\n", in.c_str(), result,
                 ResultText(result));
    return 1;
  }
  result = method == "bilinear" ? image.ResizeBilinear(width, height)
                                : image.Resize(width, height, uint32_t(std::stoul(method)));
  if (result != kISOk) {
    std::fprintf(stderr, "error: cannot resize %s to %ux%u (result %u: %s)\n", in.c_str(), width,
                 height, result, ResultText(result));
    return 1;
  }
  result = image.SaveFile(out, type);
  if (result != kISOk) {
    std::fprintf(stderr, "error: cannot write %s (result %u: %s)\n", out.c_str(), result,
                 ResultText(result));
    return 1;
  }
  return 0;
}
