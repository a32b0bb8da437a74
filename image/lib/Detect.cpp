#include "image/codecs/Bmp.h"
#include "image/codecs/Gif.h"
#include "image/codecs/Jpeg.h"
#include "image/codecs/Metafile.h"
#include "image/codecs/Pcd.h"
#include "image/codecs/Pcx.h"
#include "image/codecs/Png.h"
#include "image/codecs/Psd.h"
#include "image/codecs/Tga.h"
#include "image/codecs/Tiff.h"
#include "image/codecs/Wbmp.h"
#include "image/lib/Imaging.h"

namespace qimg {

namespace {
struct SniffEntry {
  int family;
  bool (*sniff)(const uint8_t*, size_t);
};
// Order matters: signatures first, then the weak ones (TGA and WBMP have no
// magic number and only pass plausibility checks).
constexpr SniffEntry kSniffers[] = {
    {kFamilyPNG, SniffPNG},   {kFamilyJPEG, SniffJPG}, {kFamilyGIF, SniffGIF},
    {kFamilyTIFF, SniffTIFF}, {kFamilyBMP, SniffBMP},  {kFamilyPSD, SniffPSD},
    {kFamilyEMF, SniffEMF},   {kFamilyWMF, SniffWMF},  {kFamilyPCD, SniffPCD},
    {kFamilyPCX, SniffPCX},   {kFamilyTGA, SniffTGA},  {kFamilyWBMP, SniffWBMP},
};
constexpr size_t kHeadBytes = 4096;  // PhotoCD's signature sits at 2048
}  // namespace

int GuessFileType(Source& source) {
  uint8_t head[kHeadBytes];
  size_t n = source.Read(head, sizeof head);
  if (n == 0) return kFamilyUnknown;
  for (const SniffEntry& e : kSniffers)
    if (e.sniff(head, n)) return e.family;
  return kFamilyUnknown;
}

}  // namespace qimg
