// The one in-memory raster image. Every image the application keeps is 24-bit
// RGB (rows top to bottom, 3 * width bytes per row, no padding); depths 1, 8
// and 32 occur only while files are read and written.
#pragma once

#include <cstdint>
#include <string>

#include "image/lib/Imaging.h"

// Result codes of the image operations. Any other non-zero value is an
// imaging-layer code (qimg::ErrorCode).
enum ISResult : uint32_t {
  kISOk = 0,
  kISOutOfMemory = 1,
  kISEmptyPath = 2,
  kISRefused = 5,  // no image, empty source or request refused
  kISNot32Bit = 28,
};

// File type codes shared by detection, reading and writing.
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

class CISImageEx {
 public:
  CISImageEx() = default;
  virtual ~CISImageEx();
  virtual void Clear();

  CISImageEx(const CISImageEx&) = delete;
  CISImageEx& operator=(const CISImageEx&) = delete;

  bool HasPixels() const { return Pixels() != nullptr; }
  uint32_t RowBytes() const;
  uint8_t* Pixels() { return m_decoderOwned ? m_decoderBlock : m_ownBlock; }
  const uint8_t* Pixels() const { return m_decoderOwned ? m_decoderBlock : m_ownBlock; }

  uint32_t Create(uint32_t width, uint32_t height, uint32_t bitsPerPixel);
  uint32_t CopyFrom(const CISImageEx& source);
  uint32_t TakeOver(CISImageEx& source);
  uint32_t ResizeFrom(const CISImageEx& source, uint32_t width, uint32_t height, uint32_t method);
  uint32_t Resize(uint32_t width, uint32_t height, uint32_t method);
  uint32_t ResizeBilinear(uint32_t width, uint32_t height);
  uint32_t ConvertTo24(CISImageEx& destination) const;
  uint32_t ConvertTo8(CISImageEx& destination) const;
  uint32_t ConvertToTwoTone(CISImageEx& destination, uint32_t threshold) const;
  uint32_t SplitAlpha(CISImageEx& colour, CISImageEx& alpha) const;

  // Files.
  uint32_t Load(const std::string& path);
  // The same from an open source; path only serves the extension fallback.
  uint32_t Load(qimg::Source& source, const std::string& path);
  uint32_t Save(qimg::Dest& destination, uint32_t fileType);
  // Writes the whole file at path through a temporary file in the same folder
  // that is renamed into place only when complete; nothing is left behind on
  // failure. Returns the Save result, or qimg::kErrOpen / kErrWrite.
  // A symbolic link at path is written through: its target is replaced.
  uint32_t SaveFile(const std::string& path, uint32_t fileType);
  // The same, but never replaces a file: qimg::kErrExists when one of that
  // name exists (or appears meanwhile). The name is claimed in one step
  // (renameat2 with RENAME_NOREPLACE, else a hard link, else creating it with
  // O_EXCL and writing into it).
  uint32_t SaveFileNew(const std::string& path, uint32_t fileType);
  static uint32_t FileTypeFromExtension(const std::string& path);
  uint32_t DetectFileType(qimg::Source& source, const std::string& path);
  void ReadResolution(qimg::Source& source, uint32_t fileType);
  qimg::ResolutionRecord ResolutionForWriter(uint32_t fileType) const;

  // Adopts a block from a decoder (released with qimg::FreeBlock).
  void AdoptDecoded(qimg::Decoded& decoded);

  // Fields, in the order of the image's record.
  uint32_t m_width = 0;
  uint32_t m_height = 0;
  uint32_t m_bitsPerPixel = 0;
  uint32_t m_paletteCount = 0;
  qimg::PaletteEntry m_palette[256] = {};
  bool m_decoderOwned = true;
  uint8_t* m_ownBlock = nullptr;
  uint8_t* m_decoderBlock = nullptr;
  uint32_t m_wbmpThreshold = 128;
  bool m_jpegFlag = false;
  double m_resolutionX = 300;
  double m_resolutionY = 300;
  uint32_t m_resolutionUnit = 1;
  uint32_t m_tiffOption = 1;
  uint32_t m_jpegQuality = 96;

 private:
  void ReleaseBlock();
  // Encodes into a fresh temporary file in folder and fsyncs it.
  uint32_t SaveTemporary(const std::string& folder, uint32_t fileType, std::string& temp);
  bool m_ownHuge = false;  // how the own block was allocated
  double m_lastReadX = 0;  // resolution as read, before truncation
  double m_lastReadY = 0;
};
