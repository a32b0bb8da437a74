// Reading and writing image files: type detection by content and extension,
// decode paths and resolution records, all by the format table.
#include <algorithm>
#include <cmath>

#include "image/ISImageEx.h"

uint32_t CISImageEx::FileTypeFromExtension(const std::string& path) {
  return qimg::FileTypeOfExtension(path);
}

uint32_t CISImageEx::DetectFileType(qimg::Source& source, const std::string& path) {
  source.Seek(0);
  const qimg::Format* format = qimg::FormatOfFamily(qimg::GuessFileType(source));
  uint32_t code = format ? format->paths[0].code : kFileNone;
  if (!format) {
    code = FileTypeFromExtension(path);
    format = qimg::FormatOfBaseCode(code);
    // A drawing is not probed by its name alone.
    if (!format || format->drawn) {
      source.Seek(0);
      return code;
    }
  }
  source.Seek(0);
  qimg::Info info;
  if (format->pathOf && format->probe(source, info)) code = format->pathOf(info);
  source.Seek(0);
  return code;
}

void CISImageEx::ReadResolution(qimg::Source& source, uint32_t fileType) {
  qimg::Resolution read;
  qimg::Info info;
  source.Seek(0);
  const qimg::Format* format = qimg::FormatOfCode(fileType);
  if (format && format->resolutionIn && format->probe(source, info))
    read = format->resolutionIn(info);
  source.Seek(0);
  // Values far out of range would make the truncation undefined.
  auto whole = [](double v) {
    return std::isfinite(v) && std::fabs(v) < 2e9 ? std::trunc(v) : 0.0;
  };
  m_resolutionX = whole(read.x);
  m_resolutionY = whole(read.y);
  m_resolutionUnit = read.unit;
  m_lastReadX = read.x;
  m_lastReadY = read.y;
}

qimg::ResolutionRecord CISImageEx::ResolutionForWriter(uint32_t fileType) const {
  const qimg::Format* format = qimg::FormatOfBaseCode(fileType);
  if (!format || !format->resolutionOut) return {0, 0, 1};
  return format->resolutionOut({m_resolutionX, m_resolutionY, m_resolutionUnit});
}

uint32_t CISImageEx::Load(const std::string& path) {
  Clear();
  if (path.empty()) return kISEmptyPath;
  auto source = qimg::Source::OpenFile(path);
  if (!source) return kISRefused;
  return Load(*source, path);
}

namespace {
// The pixel aspect correction stretches at most this far; beyond it the
// resolution tags are taken as broken and the file is refused.
constexpr double kMaxAspectRatio = 8;
// The decoders' budget for the delivered picture: beyond a floor, no more
// bytes than this many per byte of file.
constexpr uint64_t kCorrectedFloorBytes = uint64_t{64} << 20;
constexpr uint64_t kMaxCorrectedPerFileByte = 4096;
}  // namespace

uint32_t CISImageEx::Load(qimg::Source& sourceRef, const std::string& path) {
  Clear();
  qimg::Source* source = &sourceRef;
  source->Seek(0);
  uint32_t code = DetectFileType(*source, path);
  if (code == kFileNone) return kISRefused;

  const qimg::Format& format = *qimg::FormatOfCode(code);
  qimg::Decoded decoded;
  uint32_t result;
  if (format.drawn) {
    result = format.read(*source, code, 24, decoded);
    if (result != qimg::kOk || !decoded.pixels) return result ? result : qimg::kErrFormat;
    AdoptDecoded(decoded);
    return result;
  }
  source->Seek(0);
  result = format.read(*source, code, qimg::DecodeDepth(format, code), decoded);
  if (result != qimg::kOk || !decoded.pixels) {
    Clear();
    return result ? result : qimg::kErrFormat;
  }
  ReadResolution(*source, code);
  AdoptDecoded(decoded);
  // The 24-bit picture Load delivers obeys the decoders' budget as well: a
  // tiny file must not grow into gigabytes through depth conversion or the
  // aspect correction below.
  const double budget = static_cast<double>(
      std::min(qimg::kMaxBlockBytes - 1,
               std::max(kCorrectedFloorBytes, kMaxCorrectedPerFileByte * source->Size())));
  auto refuse = [this] {
    Clear();
    qimg::SetLastError(qimg::kErrTooLarge);
    return static_cast<uint32_t>(qimg::kErrTooLarge);
  };
  if (m_bitsPerPixel != 24 && double(m_width) * m_height * 3 > budget) return refuse();

  // Pixel aspect correction for TIFFs with unequal resolutions. Bilevel and
  // grey TIFFs are included: fax pages (204 x 98 dpi, 1-bit) are the usual
  // case, and would otherwise show squashed to half their height. Palette
  // and bit depths are brought to RGB first, as indices cannot be resampled.
  if (format.correctAspect) {
    double rx = m_lastReadX, ry = m_lastReadY;
    if (rx != ry && rx != 0) {
      double ratio = ry / rx;
      double h = ratio != 0 ? std::trunc(m_height / ratio) : 0;
      if (ratio != 0 && std::fabs(1 - ratio) > 0.25 && h >= 1) {
        // The stretch is capped, and the corrected picture must fit the budget.
        if (ratio > kMaxAspectRatio || ratio < 1 / kMaxAspectRatio || h * m_width * 3 > budget)
          return refuse();
        if (m_bitsPerPixel != 24 && m_bitsPerPixel != 32) {
          CISImageEx rgb;
          if (ConvertTo24(rgb) == kISOk) TakeOver(rgb);
        }
        CISImageEx temp;
        if (temp.ResizeFrom(*this, m_width, static_cast<uint32_t>(h), 0) == kISOk) TakeOver(temp);
      }
    }
  }
  if (m_bitsPerPixel != 24) {
    CISImageEx temp;
    if (ConvertTo24(temp) == kISOk) TakeOver(temp);
  }
  return result;
}

namespace {
qimg::WriteImage ToWrite(const CISImageEx& im, qimg::Palette& palette) {
  palette.count = std::min(256u, im.m_paletteCount);
  std::copy(im.m_palette, im.m_palette + 256, palette.entries);
  return {im.Pixels(),   im.m_width,        im.m_height,
          im.RowBytes(), im.m_bitsPerPixel, im.m_bitsPerPixel <= 8 ? &palette : nullptr};
}
}  // namespace

uint32_t CISImageEx::ConvertForWriter(qimg::WriteInput input, CISImageEx& converted) const {
  switch (input) {
    case qimg::WriteInput::kRGB: return ConvertTo24(converted);
    case qimg::WriteInput::kTwoTone: {
      if (m_bitsPerPixel == 24) return ConvertToTwoTone(converted, m_wbmpThreshold);
      CISImageEx rgb;
      const uint32_t r = ConvertTo24(rgb);
      return r != kISOk ? r : rgb.ConvertToTwoTone(converted, m_wbmpThreshold);
    }
    case qimg::WriteInput::kIndexed: return ConvertTo8(converted);
    default: return kISRefused;
  }
}

uint32_t CISImageEx::Save(qimg::Dest& destination, uint32_t fileType) {
  if (!HasPixels()) return kISRefused;
  const qimg::Format* format = qimg::FormatOfBaseCode(fileType);
  if (!format || !format->write) return kISOk;  // no format: nothing written
  const CISImageEx* picture = this;
  CISImageEx converted;
  const bool ready = (format->writeInput == qimg::WriteInput::kRGB && m_bitsPerPixel == 24) ||
                     (format->writeInput == qimg::WriteInput::kIndexed && m_bitsPerPixel == 8);
  if (!ready) {
    const uint32_t r = ConvertForWriter(format->writeInput, converted);
    if (r != kISOk) return r;
    picture = &converted;
  }
  qimg::Palette palette;
  qimg::WriteOptions options;
  options.resolution = ResolutionForWriter(fileType);
  options.jpegQuality = int(m_jpegQuality);
  options.jpegFlags = m_jpegFlag ? 1 : 0;
  options.tiffOption = m_tiffOption;
  uint32_t r = format->write(destination, ToWrite(*picture, palette), options);
  if (r == qimg::kOk && destination.Failed()) r = qimg::kErrWrite;
  return r;
}

uint32_t CISImageEx::SaveFile(const std::string& path, uint32_t fileType, qimg::SaveMode mode,
                              const qimg::NextName& nextName) {
  if (!HasPixels()) return kISRefused;
  if (!qimg::IsWritable(fileType)) return qimg::kErrParam;  // no format: no file at all
  return qimg::SaveFile(
      path, mode, [&](qimg::Dest& dest) { return Save(dest, fileType); }, nextName);
}
