#include "image/Formats.h"
#include "image/lib/Imaging.h"

namespace qimg {

namespace {
constexpr size_t kHeadBytes = 4096;  // PhotoCD's signature sits at 2048
}  // namespace

int GuessFileType(Source& source) {
  uint8_t head[kHeadBytes];
  size_t n = source.Read(head, sizeof head);
  if (n == 0) return kFamilyUnknown;
  for (const Format& f : Formats())
    if (f.sniff(head, n)) return f.family;
  return kFamilyUnknown;
}

}  // namespace qimg
