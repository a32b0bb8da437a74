// The one in-memory raster image. Every image the application keeps is 24-bit
// RGB (rows top to bottom, 3 * width bytes per row, no padding); depths 1, 8
// and 32 occur only while files are read and written.
#pragma once

#include <cstdint>
#include <string>

#include "image/Formats.h"
#include "image/SaveFile.h"
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
  // Writes the whole file at path through qimg::SaveFile: a temporary file
  // in the same folder becomes the file only when complete, and nothing is
  // left behind on failure. Returns the Save result, or qimg::kErrOpen /
  // kErrWrite; with SaveMode::kNoReplace qimg::kErrExists when a file of
  // that name exists (or appears meanwhile) and nextName offers no other.
  uint32_t SaveFile(const std::string& path, uint32_t fileType,
                    qimg::SaveMode mode = qimg::SaveMode::kReplace,
                    const qimg::NextName& nextName = {});
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
  // The picture a format's writer takes, when this one is not it already.
  uint32_t ConvertForWriter(qimg::WriteInput input, CISImageEx& converted) const;
  double m_lastReadX = 0;  // resolution as read, before truncation
  double m_lastReadY = 0;
};
