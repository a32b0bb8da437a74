// The one table of file formats: for each, its codes, content sniff, header
// probe, reader, writer, extensions and resolution rules. Detection, loading,
// saving, the type probe and the resolution records all read it; adding a
// format is one entry here and one codec file pair in image/codecs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/lib/Imaging.h"

// File type codes shared by detection, reading and writing. A format has a
// base code (the one written, and the one that stands when its probe fails)
// and may have further codes for the decode paths of particular depths.
enum ImageFileType : uint32_t {
  kFileJPEG = 0,
  kFileJPEGGrey = 1,
  kFileBMP = 2,
  kFileBMP8 = 3,
  kFilePCX = 4,
  kFilePCX8 = 5,
  kFilePNG = 6,
  kFilePNG8 = 9,
  kFileTIFF = 10,
  kFileTIFF8 = 11,
  kFileTIFF32 = 13,
  kFileTGA = 14,
  kFileTGA8 = 15,
  kFileTGA32 = 16,
  kFileWMF = 17,
  kFileEMF = 18,
  kFilePSD = 19,
  kFilePSD8 = 20,
  kFileWBMP = 21,
  kFileTIFF1 = 22,
  kFilePNG1 = 23,
  kFileBMP1 = 24,
  kFilePCD = 25,
  kFileGIF = 26,
  kFileNone = 27,
};

namespace qimg {

// A resolution as the image keeps it: unit 1 none, 2 inch, 3 centimetre.
struct Resolution {
  double x = 300;
  double y = 300;
  uint32_t unit = 1;
};

// What a writer needs besides the picture.
struct WriteOptions {
  ResolutionRecord resolution{0, 0, 1};  // in the format's own numbering
  int jpegQuality = 96;
  uint32_t jpegFlags = 0;
  uint32_t tiffOption = 1;
};

// The picture a writer is handed: what the image converts to before writing.
enum class WriteInput {
  kNone,     // the format is read only
  kRGB,      // 24-bit R,G,B
  kTwoTone,  // 8-bit indices 0 and 1 by a brightness threshold
  kIndexed,  // 8-bit indices, at most 256 colours
};

// One decode path: a code and the depth its reader is asked for.
struct DecodePath {
  uint32_t code = kFileNone;
  uint32_t depth = 24;
};

struct Format {
  FileFamily family;
  // Decode paths; the first is the base code. Unused slots hold kFileNone.
  std::array<DecodePath, 4> paths;
  bool (*sniff)(const uint8_t* head, size_t n);
  // Dimensions, depth and resolution from the header; null when the format
  // has a single decode path and keeps no resolution.
  bool (*probe)(Source& source, Info& info);
  // The decode path a probed file takes.
  uint32_t (*pathOf)(const Info& info);
  uint32_t (*read)(Source& source, uint32_t code, uint32_t depth, Decoded& out);
  WriteInput writeInput;
  // Gets the whole converted picture and a destination stream; a writer may
  // encode it band by band as it goes.
  uint32_t (*write)(Dest& dest, const WriteImage& image, const WriteOptions& options);
  std::array<const char*, 2> extensions;  // lower case with the dot; null when unused
  // The file's resolution record to the image's, and back (null: the file
  // keeps none).
  Resolution (*resolutionIn)(const Info& info);
  ResolutionRecord (*resolutionOut)(const Resolution& resolution);
  bool drawn;          // a metafile: taken as drawn, with no resolution or correction
  bool correctAspect;  // unequal resolutions stretch the picture to square pixels
};

// In sniffing order: signatures first, then the weak ones (TGA and WBMP have
// no magic number and only pass plausibility checks).
const Format* FormatsBegin();
const Format* FormatsEnd();
struct FormatList {
  const Format* begin() const { return FormatsBegin(); }
  const Format* end() const { return FormatsEnd(); }
};
inline FormatList Formats() { return {}; }

const Format* FormatOfFamily(int family);
// The format that has this code among its decode paths, or null.
const Format* FormatOfCode(uint32_t code);
// The format whose base code this is, or null.
const Format* FormatOfBaseCode(uint32_t code);
// Base code of the format a file name's extension names, or kFileNone.
uint32_t FileTypeOfExtension(const std::string& path);
uint32_t DecodeDepth(const Format& format, uint32_t code);
inline bool IsWritable(uint32_t code) {
  const Format* f = FormatOfBaseCode(code);
  return f && f->write;
}

}  // namespace qimg
