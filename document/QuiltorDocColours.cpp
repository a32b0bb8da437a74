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
    m_matchColours = ReadSetting(m_services.settings, Settings::kMatchColours, 0) ? 1 : 0;
  return m_matchColours == 1;
}

void CQuiltorDoc::SetMatchColours(bool on) {
  m_matchColours = on ? 1 : 0;
  WriteSetting(m_services.settings, Settings::kMatchColours, m_matchColours);
  RefreshMerge();
}

bool CQuiltorDoc::MatchSliceColours(CISImageEx& matched) const {
  if (!m_sliceImage.HasPixels() || m_sliceImage.m_bitsPerPixel != 24 ||
      !m_backupImage.HasPixels() || m_backupImage.m_bitsPerPixel != 24)
    return false;
  CISImageEx square;
  if (m_rotating) {
    // What the slice was made from: the upright cut of the turned square.
    if (!CutSlice(m_backupImage, square)) return false;
  } else {
    // The pixels the overlay covers, as far as they lie inside the image.
    const int64_t bw = m_backupImage.m_width, bh = m_backupImage.m_height;
    const int64_t x0 = std::clamp<int64_t>(m_sliceX, 0, bw);
    const int64_t y0 = std::clamp<int64_t>(m_sliceY, 0, bh);
    const int64_t x1 = std::clamp<int64_t>(int64_t{m_sliceX} + m_sliceImage.m_width, 0, bw);
    const int64_t y1 = std::clamp<int64_t>(int64_t{m_sliceY} + m_sliceImage.m_height, 0, bh);
    if (x1 <= x0 || y1 <= y0) return false;
    if (square.Create(static_cast<uint32_t>(x1 - x0), static_cast<uint32_t>(y1 - y0), 24) !=
            kISOk ||
        !square.HasPixels())
      return false;
    const size_t rowBytes = static_cast<size_t>(x1 - x0) * 3;
    for (int64_t y = y0; y < y1; ++y)
      std::memcpy(square.Pixels() + static_cast<size_t>(y - y0) * rowBytes,
                  m_backupImage.Pixels() + (static_cast<size_t>(y) * bw + x0) * 3, rowBytes);
  }
  if (matched.CopyFrom(m_sliceImage) != kISOk || !matched.HasPixels()) return false;
  MatchColours(matched.Pixels(), size_t{matched.m_width} * matched.m_height, square.Pixels(),
               size_t{square.m_width} * square.m_height);
  return true;
}
