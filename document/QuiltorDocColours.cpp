// Match Colours: the returned slice's colours moved onto those of the square
// it replaces, so that a slice whose colours img2img shifted does not show as
// a patch.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "document/QuiltorDoc.h"
#include "image/kernels/ColourMatch.h"

bool CQuiltorDoc::MatchColoursOn() const {
  if (m_matchColours < 0)
    m_matchColours = ReadSetting(m_services.settings, Settings::kMatchColours) ? 1 : 0;
  return m_matchColours == 1;
}

void CQuiltorDoc::SetMatchColours(bool on) {
  m_matchColours = on ? 1 : 0;
  WriteSetting(m_services.settings, Settings::kMatchColours, m_matchColours);
  RefreshMerge();
}

CQuiltorDoc::ReferenceColours CQuiltorDoc::ReferenceKey() const {
  ReferenceColours key;
  key.rotating = m_rotating ? 1 : 0;
  key.angle = m_rotating ? m_angle : 0;
  key.sliceX = m_sliceX;
  key.sliceY = m_sliceY;
  key.sliceWidth = m_sliceWidth;
  key.sliceHeight = m_sliceHeight;
  return key;
}

bool CQuiltorDoc::MeasureSquareColours(const CISImageEx& image, CLabStats& stats) const {
  if (!image.HasPixels() || image.m_bitsPerPixel != 24) return false;
  if (m_rotating) {
    // What the slice is made from: the upright cut of the turned square.
    CISImageEx square;
    if (CutSlice(image, square) != kISOk) return false;
    stats = MeasureLab(square.Pixels(), size_t{square.m_width} * square.m_height);
    return true;
  }
  // The pixels the overlay covers, as far as they lie inside the image.
  const int64_t w = image.m_width, h = image.m_height;
  const int64_t x0 = std::clamp<int64_t>(m_sliceX, 0, w);
  const int64_t y0 = std::clamp<int64_t>(m_sliceY, 0, h);
  const int64_t x1 = std::clamp<int64_t>(int64_t{m_sliceX} + m_sliceWidth, 0, w);
  const int64_t y1 = std::clamp<int64_t>(int64_t{m_sliceY} + m_sliceHeight, 0, h);
  if (x1 <= x0 || y1 <= y0) return false;
  const size_t stride = static_cast<size_t>(w) * 3;
  stats = MeasureLabRows(
      image.Pixels() + static_cast<size_t>(y0) * stride + static_cast<size_t>(x0) * 3,
      static_cast<size_t>(x1 - x0), static_cast<size_t>(y1 - y0), stride);
  return true;
}

void CQuiltorDoc::NoteReferenceColours(const CISImageEx& image) {
  ReferenceColours key = ReferenceKey();
  key.imageWidth = image.m_width;
  key.imageHeight = image.m_height;
  key.valid = MeasureSquareColours(image, key.stats);
  m_referenceColours = key;
}

bool CQuiltorDoc::SquareColours(CLabStats& stats) const {
  const ReferenceColours key = ReferenceKey();
  ReferenceColours& held = m_referenceColours;
  const bool same = held.valid && held.rotating == key.rotating && held.angle == key.angle &&
                    held.sliceX == key.sliceX && held.sliceY == key.sliceY &&
                    held.sliceWidth == key.sliceWidth && held.sliceHeight == key.sliceHeight &&
                    held.imageWidth == m_backupImage.m_width &&
                    held.imageHeight == m_backupImage.m_height;
  if (!same) {
    held = key;
    held.imageWidth = m_backupImage.m_width;
    held.imageHeight = m_backupImage.m_height;
    held.valid = MeasureSquareColours(m_backupImage, held.stats);
    if (!held.valid) return false;
  }
  stats = held.stats;
  return true;
}

bool CQuiltorDoc::FillOverlayColours(CQuickBitmap& target, bool match) {
  const int w = static_cast<int>(m_sliceImage.m_width), h = static_cast<int>(m_sliceImage.m_height);
  CLabStats square;
  if (!match || m_sliceImage.m_bitsPerPixel != 24 || !SquareColours(square))
    return target.SetFromRGB(m_sliceImage.Pixels(), w, h);
  if (!m_sliceImage.HasPixels() || !target.SizeForOverwrite(w, h) || !target.HasPixels())
    return false;
  MatchIntoRgba(m_sliceImage.Pixels(), target.m_pixels.get(), size_t(w) * size_t(h), square,
                m_colourScratch);
  return true;
}
