// GIF over giflib. Reading composes the first frame on the logical screen,
// which is first filled with the background colour; frames are clipped to the
// screen and indices past the palette become the background. A transparent
// index keeps its palette colour: alpha is dropped and the colour kept, as for
// every other format.
#include "image/codecs/Gif.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace qimg {

namespace {

// A screen bigger than this needs a file of plausible size behind it: a tiny
// frame on a huge screen would otherwise make us allocate and fill gigabytes.
constexpr uint64_t kScreenFloorBytes = uint64_t{64} << 20;
constexpr uint64_t kMaxScreenPerFileByte = 4096;

int ReadFunc(GifFileType* gif, GifByteType* buf, int n) {
  if (n <= 0) return 0;
  return static_cast<int>(static_cast<Source*>(gif->UserData)->Read(buf, size_t(n)));
}

int WriteFunc(GifFileType* gif, const GifByteType* buf, int n) {
  if (n <= 0) return 0;
  return static_cast<Dest*>(gif->UserData)->Write(buf, size_t(n)) ? n : 0;
}

struct Decoder {
  GifFileType* gif = nullptr;
  ~Decoder() {
    int err = 0;
    if (gif) DGifCloseFile(gif, &err);
  }
};

struct Encoder {
  GifFileType* gif = nullptr;
  ColorMapObject* map = nullptr;
  ~Encoder() {
    int err = 0;
    if (gif) EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
  }
  // Closing writes the trailer; returns false when that fails.
  bool Close() {
    int err = 0;
    GifFileType* g = gif;
    gif = nullptr;
    return EGifCloseFile(g, &err) == GIF_OK;
  }
};

bool Open(Source& source, Decoder& d) {
  source.Seek(0);
  int err = 0;
  d.gif = DGifOpen(&source, ReadFunc, &err);
  return d.gif != nullptr && d.gif->SWidth > 0 && d.gif->SHeight > 0;
}

// Skips extensions up to the first image descriptor; remembers the
// transparent index of a graphic control block. False at the end or on error.
bool FindFirstImage(GifFileType* gif, int& transparent) {
  transparent = -1;
  for (int guard = 0; guard < 100000; ++guard) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) != GIF_OK) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) == GIF_OK;
    if (type == TERMINATE_RECORD_TYPE) return false;
    if (type != EXTENSION_RECORD_TYPE) continue;
    int code = 0;
    GifByteType* ext = nullptr;
    if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
      GraphicsControlBlock gcb;
      if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
    }
    while (ext) {
      if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return false;
    }
  }
  return false;
}

uint32_t Decode(Source& source, Decoded& out, Block& block) {
  Decoder d;
  if (!Open(source, d)) return kErrFormat;
  GifFileType* gif = d.gif;
  uint32_t sw = uint32_t(gif->SWidth), sh = uint32_t(gif->SHeight);
  uint64_t size = BlockSize(sw, sh, 8);
  if (size == 0) return kErrTooLarge;
  if (size > kScreenFloorBytes && size / kMaxScreenPerFileByte > source.Size())
    return kErrTruncated;
  int transparent = -1;  // not used: the transparent index shows its own colour
  if (!FindFirstImage(gif, transparent)) return kErrTruncated;
  const GifImageDesc& desc = gif->Image;
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  if (!map || map->ColorCount <= 0 || map->ColorCount > 256 || !map->Colors) return kErrFormat;
  uint32_t colours = uint32_t(map->ColorCount);
  uint32_t background =
      uint32_t(gif->SBackGroundColor) < colours ? uint32_t(gif->SBackGroundColor) : 0;

  block.reset(AllocBlock(static_cast<size_t>(size)));
  if (!block) return kErrNoMemory;
  std::memset(block.get(), int(background), static_cast<size_t>(size));
  if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0) return kErrFormat;
  uint32_t fw = uint32_t(desc.Width), fh = uint32_t(desc.Height);
  std::unique_ptr<GifPixelType[]> line(new (std::nothrow) GifPixelType[fw]);
  if (!line) return kErrNoMemory;
  uint32_t left = uint32_t(desc.Left), top = uint32_t(desc.Top);
  // Interlaced frames arrive in four passes of rows.
  static const uint32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  int passes = desc.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    uint32_t start = desc.Interlace ? kStart[pass] : 0, step = desc.Interlace ? kStep[pass] : 1;
    for (uint32_t row = start; row < fh; row += step) {
      if (DGifGetLine(gif, line.get(), int(fw)) != GIF_OK) return kErrTruncated;
      uint32_t y = top + row;
      if (y >= sh || left >= sw) continue;
      uint8_t* dst = block.get() + size_t{y} * sw + left;
      uint32_t n = std::min(fw, sw - left);
      for (uint32_t x = 0; x < n; ++x) {
        uint32_t v = line[x];
        dst[x] = uint8_t(v < colours ? v : background);
      }
    }
  }
  out.width = sw;
  out.height = sh;
  out.bitsPerPixel = 8;
  out.palette = Palette{};
  for (uint32_t i = 0; i < colours; ++i)
    out.palette.entries[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
  out.palette.count = colours;
  return kOk;
}

}  // namespace

bool SniffGIF(const uint8_t* head, size_t n) {
  return n >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
}

bool GetGIFDims(Source& source, Info& info) {
  Decoder d;
  if (!Open(source, d)) return false;
  info = Info{};
  info.width = uint32_t(d.gif->SWidth);
  info.height = uint32_t(d.gif->SHeight);
  const ColorMapObject* map = d.gif->SColorMap;
  int transparent = -1;
  if (!map && FindFirstImage(d.gif, transparent)) map = d.gif->Image.ColorMap;
  info.bitsPerPixel = map ? uint32_t(map->BitsPerPixel) : 8;
  return true;
}

uint32_t ReadGIF(Source& source, uint32_t bitsPerPixel, Decoded& out) {
  out = Decoded{};
  uint32_t code = kErrParam;
  Block block;
  if (bitsPerPixel == 8) code = Decode(source, out, block);
  if (code == kOk)
    out.pixels = std::move(block);
  else
    out = Decoded{};
  SetLastError(code);
  return code;
}

uint32_t WriteGIF(Dest& dest, const WriteImage& image) {
  auto fail = [](uint32_t code) {
    SetLastError(code);
    return code;
  };
  if (!image.pixels || !image.palette || image.bitsPerPixel != 8 || image.width == 0 ||
      image.height == 0 || image.width > 65535 || image.height > 65535 ||
      image.rowBytes < image.width)
    return fail(kErrParam);
  uint32_t count = std::clamp<uint32_t>(image.palette->count, 2, 256);
  int bits = 1;
  while ((1u << bits) < count) ++bits;
  Encoder e;
  e.map = GifMakeMapObject(1 << bits, nullptr);
  if (!e.map) return fail(kErrNoMemory);
  for (int i = 0; i < (1 << bits); ++i) {
    const PaletteEntry& p = image.palette->entries[i < 256 ? i : 0];
    e.map->Colors[i] = {p.red, p.green, p.blue};
  }
  int err = 0;
  e.gif = EGifOpen(&dest, WriteFunc, &err);
  if (!e.gif) return fail(kErrNoMemory);
  if (EGifPutScreenDesc(e.gif, int(image.width), int(image.height), bits, 0, e.map) != GIF_OK ||
      EGifPutImageDesc(e.gif, 0, 0, int(image.width), int(image.height), false, nullptr) != GIF_OK)
    return fail(kErrWrite);
  // EGifPutLine masks the row in place, so it gets a copy.
  std::unique_ptr<GifPixelType[]> line(new (std::nothrow) GifPixelType[image.width]);
  if (!line) return fail(kErrNoMemory);
  for (uint32_t y = 0; y < image.height; ++y) {
    std::memcpy(line.get(), image.pixels + size_t{y} * image.rowBytes, image.width);
    if (EGifPutLine(e.gif, line.get(), int(image.width)) != GIF_OK) return fail(kErrWrite);
  }
  if (!e.Close() || dest.Failed()) return fail(kErrWrite);
  return fail(kOk);
}

}  // namespace qimg
