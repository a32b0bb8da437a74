// The document's side of a batch import: a returned picture merged without
// the question a single import asks when its size does not fit.
#include "document/QuiltorDoc.h"

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
