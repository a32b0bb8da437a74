// The document's side of the whole-picture work: a returned picture merged
// without the question a single import asks when its size does not fit, and
// the campaign ledger kept beside the picture.
#include "document/QuiltorDoc.h"

void CQuiltorDoc::OpenLedger(const QString& picturePath) {
  m_ledger.Open(picturePath, static_cast<int>(m_mainImage.m_width),
                static_cast<int>(m_mainImage.m_height), [this](const QString& line) { Log(line); });
  m_host.LedgerOpened(m_ledger.HistoryNames());
}

LedgerSlice CQuiltorDoc::LedgerSquare() const {
  LedgerSlice s;
  s.rotating = m_rotating != 0;
  s.x = m_sliceX;
  s.y = m_sliceY;
  s.width = m_sliceWidth;
  s.height = m_sliceHeight;
  s.angle = m_rotating ? m_angle : 0;
  s.zoom = m_zoom;
  return s;
}

QString CQuiltorDoc::MergeReturnedPicture(CISImageEx& picture, const QString& path) {
  if (!m_mainImage.HasPixels()) return QStringLiteral("there is no picture");
  if (!picture.HasPixels() || picture.m_bitsPerPixel != 24)
    return QStringLiteral("not a readable picture");
  const int64_t expected = int64_t{m_sliceWidth} * m_zoom;
  if (static_cast<int64_t>(picture.m_width) != expected)
    return QStringLiteral("its width %1 does not fit the square's %2")
        .arg(picture.m_width)
        .arg(expected);
  if (m_zoom > 1) {
    CISImageEx reduced;
    if (reduced.ResizeFrom(picture, picture.m_width / static_cast<uint32_t>(m_zoom),
                           picture.m_height / static_cast<uint32_t>(m_zoom), 17) != kISOk)
      return QStringLiteral("not enough memory");
    picture.TakeOver(reduced);
  }
  MergeFile(picture, path);
  if (m_merge != 1 || m_slicePath != path) return QStringLiteral("not enough memory");
  return {};
}
