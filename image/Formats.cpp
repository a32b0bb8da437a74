#include "image/Formats.h"

#include <cctype>
#include <cmath>

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

namespace qimg {

namespace {

// --- readers

template <uint32_t (*Read)(Source&, uint32_t, Decoded&)>
uint32_t ByDepth(Source& source, uint32_t, uint32_t depth, Decoded& out) {
  return Read(source, depth, out);
}

uint32_t ReadJpegPath(Source& source, uint32_t code, uint32_t depth, Decoded& out) {
  if (code == kFileJPEG) SetJPGDCTScaleFactors(1, 1);
  return ReadJPG(source, depth, out);
}

uint32_t ReadTiffPath(Source& source, uint32_t code, uint32_t depth, Decoded& out) {
  const uint32_t r = ReadTIFF(source, depth, out);
  if (r == kOk && code == kFileTIFF1) {
    // 1-bit TIFFs show bit 0 white and 1 black whatever the file says.
    out.palette.entries[0] = {255, 255, 255, 0};
    out.palette.entries[1] = {0, 0, 0, 0};
    out.palette.count = 2;
  }
  return r;
}

uint32_t ReadPcdPath(Source& source, uint32_t, uint32_t, Decoded& out) {
  return ReadPCD(source, out);
}

uint32_t ReadDrawn(Source& source, uint32_t, uint32_t, Decoded& out) {
  return ReadMetafile(source, out);
}

// --- decode paths of probed files

uint32_t JpegPath(const Info& info) { return info.bitsPerPixel <= 8 ? kFileJPEGGrey : kFileJPEG; }

uint32_t BmpPath(const Info& info) {
  if (info.bitsPerPixel > 8) return kFileBMP;
  return info.bitsPerPixel == 1 ? kFileBMP1 : kFileBMP8;
}

uint32_t PcxPath(const Info& info) { return info.bitsPerPixel <= 8 ? kFilePCX8 : kFilePCX; }

uint32_t PngPath(const Info& info) {
  if (info.bitsPerPixel == 1) return kFilePNG1;
  if (info.bitsPerPixel > 8) return kFilePNG;
  if (info.bitsPerPixel == 8 && info.colorType == 6) return kFilePNG;
  if (info.colorType == 3 || info.colorType == 0) return kFilePNG8;
  return kFilePNG;
}

uint32_t TiffPath(const Info& info) {
  if (info.bitsPerPixel == 32) return kFileTIFF32;
  if (info.bitsPerPixel <= 8) return info.bitsPerPixel == 1 ? kFileTIFF1 : kFileTIFF8;
  return kFileTIFF;
}

uint32_t TgaPath(const Info& info) {
  if (info.bitsPerPixel == 32) return kFileTGA32;
  return info.bitsPerPixel <= 8 ? kFileTGA8 : kFileTGA;
}

uint32_t PsdPath(const Info& info) { return info.colorType <= 2 ? kFilePSD8 : kFilePSD; }

// --- writers

template <uint32_t (*Write)(Dest&, const WriteImage&)>
uint32_t Plain(Dest& dest, const WriteImage& image, const WriteOptions&) {
  return Write(dest, image);
}

uint32_t WriteJpeg(Dest& dest, const WriteImage& image, const WriteOptions& o) {
  return WriteJPG(dest, image, o.jpegQuality, o.jpegFlags, o.resolution);
}

uint32_t WriteBmp(Dest& dest, const WriteImage& image, const WriteOptions& o) {
  return WriteBMP(dest, image, 16777216, o.resolution);
}

uint32_t WritePcx(Dest& dest, const WriteImage& image, const WriteOptions& o) {
  return WritePCX(dest, image, o.resolution);
}

uint32_t WritePng(Dest& dest, const WriteImage& image, const WriteOptions& o) {
  return WritePNG(dest, image, o.resolution);
}

uint32_t WriteTiff(Dest& dest, const WriteImage& image, const WriteOptions& o) {
  return WriteTIFF(dest, image, o.tiffOption, o.resolution);
}

uint32_t WriteWmf(Dest& dest, const WriteImage& image, const WriteOptions&) {
  return WriteRGBToMetafile(dest, image, false);
}

uint32_t WriteEmf(Dest& dest, const WriteImage& image, const WriteOptions&) {
  return WriteRGBToMetafile(dest, image, true);
}

// --- resolution records. The image keeps unit 1 (none), 2 (inch) or 3 (cm).

Resolution JpegResolutionIn(const Info& i) {
  return {i.resX, i.resY, i.resUnit == 1 ? 2u : i.resUnit == 2 ? 3u : 1u};
}
ResolutionRecord JpegResolutionOut(const Resolution& r) {
  return {r.x, r.y, r.unit == 2 ? 1 : r.unit == 3 ? 2 : 0};
}

// BMP keeps pixels per metre.
Resolution BmpResolutionIn(const Info& i) {
  if (i.resUnit == 2) return {i.resX / 100, i.resY / 100, 3};
  return {i.resX, i.resY, 1};
}
ResolutionRecord BmpResolutionOut(const Resolution& r) {
  if (r.unit == 2) return {r.x * 39.37, r.y * 39.37, 0};
  if (r.unit == 3) return {r.x * 100, r.y * 100, 0};
  return {0, 0, 0};
}

// PNG keeps whole pixels per metre.
Resolution PngResolutionIn(const Info& i) {
  if (i.resUnit == 1) return {i.resX / 100, i.resY / 100, 3};
  return {i.resX, i.resY, 1};
}
ResolutionRecord PngResolutionOut(const Resolution& r) {
  if (r.unit == 2) return {std::trunc(r.x * 39.37), std::trunc(r.y * 39.37), 1};
  if (r.unit == 3) return {std::trunc(r.x * 100), std::trunc(r.y * 100), 1};
  return {0, 0, 0};
}

// TIFF's ResolutionUnit is numbered as the image's.
Resolution TiffResolutionIn(const Info& i) {
  return {i.resX, i.resY, (i.resUnit >= 1 && i.resUnit <= 3) ? uint32_t(i.resUnit) : 1};
}
ResolutionRecord TiffResolutionOut(const Resolution& r) {
  return {r.x, r.y, r.unit == 2 ? 2 : r.unit == 3 ? 3 : 1};
}

constexpr DecodePath kEnd{kFileNone, 24};

// clang-format off
constexpr Format kFormats[] = {
  {kFamilyPNG, {{{kFilePNG, 24}, {kFilePNG8, 8}, {kFilePNG1, 1}, kEnd}},
   SniffPNG, GetPNGDims, PngPath, ByDepth<ReadPNG>, WriteInput::kRGB, WritePng,
   {".png", nullptr}, PngResolutionIn, PngResolutionOut, false, false},
  {kFamilyJPEG, {{{kFileJPEG, 24}, {kFileJPEGGrey, 8}, kEnd, kEnd}},
   SniffJPG, GetJPGDims, JpegPath, ReadJpegPath, WriteInput::kRGB, WriteJpeg,
   {".jpeg", ".jpg"}, JpegResolutionIn, JpegResolutionOut, false, false},
  {kFamilyGIF, {{{kFileGIF, 8}, kEnd, kEnd, kEnd}},
   SniffGIF, GetGIFDims, nullptr, ByDepth<ReadGIF>, WriteInput::kIndexed, Plain<WriteGIF>,
   {".gif", nullptr}, nullptr, nullptr, false, false},
  {kFamilyTIFF, {{{kFileTIFF, 24}, {kFileTIFF8, 8}, {kFileTIFF32, 32}, {kFileTIFF1, 1}}},
   SniffTIFF, GetTIFFDims, TiffPath, ReadTiffPath, WriteInput::kRGB, WriteTiff,
   {".tif", ".tiff"}, TiffResolutionIn, TiffResolutionOut, false, true},
  {kFamilyBMP, {{{kFileBMP, 24}, {kFileBMP8, 8}, {kFileBMP1, 1}, kEnd}},
   SniffBMP, GetBMPDims, BmpPath, ByDepth<ReadBMP>, WriteInput::kRGB, WriteBmp,
   {".bmp", nullptr}, BmpResolutionIn, BmpResolutionOut, false, false},
  {kFamilyPSD, {{{kFilePSD, 24}, {kFilePSD8, 8}, kEnd, kEnd}},
   SniffPSD, GetPSDDims, PsdPath, ByDepth<ReadPSD>, WriteInput::kRGB, Plain<WritePSD>,
   {".psd", nullptr}, nullptr, nullptr, false, false},
  {kFamilyEMF, {{{kFileEMF, 24}, kEnd, kEnd, kEnd}},
   SniffEMF, GetMetafileDims, nullptr, ReadDrawn, WriteInput::kRGB, WriteEmf,
   {".emf", nullptr}, nullptr, nullptr, true, false},
  {kFamilyWMF, {{{kFileWMF, 24}, kEnd, kEnd, kEnd}},
   SniffWMF, GetMetafileDims, nullptr, ReadDrawn, WriteInput::kRGB, WriteWmf,
   {".wmf", nullptr}, nullptr, nullptr, true, false},
  {kFamilyPCD, {{{kFilePCD, 24}, kEnd, kEnd, kEnd}},
   SniffPCD, GetPCDDims, nullptr, ReadPcdPath, WriteInput::kNone, nullptr,
   {nullptr, nullptr}, nullptr, nullptr, false, false},
  {kFamilyPCX, {{{kFilePCX, 24}, {kFilePCX8, 8}, kEnd, kEnd}},
   SniffPCX, GetPCXDims, PcxPath, ByDepth<ReadPCX>, WriteInput::kRGB, WritePcx,
   {".pcx", nullptr}, nullptr, nullptr, false, false},
  {kFamilyTGA, {{{kFileTGA, 24}, {kFileTGA8, 8}, {kFileTGA32, 32}, kEnd}},
   SniffTGA, GetTGADims, TgaPath, ByDepth<ReadTGA>, WriteInput::kRGB, Plain<WriteTGA>,
   {".tga", nullptr}, nullptr, nullptr, false, false},
  {kFamilyWBMP, {{{kFileWBMP, 8}, kEnd, kEnd, kEnd}},
   SniffWBMP, GetWBMPDims, nullptr, ByDepth<ReadWBMP>, WriteInput::kTwoTone, Plain<WriteWBMP>,
   {".wbmp", ".wbm"}, nullptr, nullptr, false, false},
};
// clang-format on

bool HasPath(const Format& f, uint32_t code) {
  for (const DecodePath& p : f.paths)
    if (p.code == code && code != kFileNone) return true;
  return false;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

const Format* FormatsBegin() { return std::begin(kFormats); }
const Format* FormatsEnd() { return std::end(kFormats); }

const Format* FormatOfFamily(int family) {
  for (const Format& f : kFormats)
    if (f.family == family) return &f;
  return nullptr;
}

const Format* FormatOfCode(uint32_t code) {
  for (const Format& f : kFormats)
    if (HasPath(f, code)) return &f;
  return nullptr;
}

const Format* FormatOfBaseCode(uint32_t code) {
  for (const Format& f : kFormats)
    if (f.paths[0].code == code) return &f;
  return nullptr;
}

uint32_t FileTypeOfExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return kFileNone;
  const std::string ext = Lower(path.substr(dot));
  for (const Format& f : kFormats)
    for (const char* e : f.extensions)
      if (e && ext == e) return f.paths[0].code;
  return kFileNone;
}

uint32_t DecodeDepth(const Format& format, uint32_t code) {
  for (const DecodePath& p : format.paths)
    if (p.code == code) return p.depth;
  return 24;
}

}  // namespace qimg
