// Export and Lock: the slice file, its shadow twin and the clipboard picture.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "document/QuiltorDoc.h"
#include "image/kernels/Compositing.h"

namespace {
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Largest slice side accepted. The Slicer's squares are at most 2048; a side
// from a hand-edited history name must not make a huge allocation.
constexpr int kMaxSliceSide = 16384;

int ClampToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
}  // namespace

bool CQuiltorDoc::CutSlice(const CISImageEx& source, CISImageEx& picture) const {
  if (!source.HasPixels() || source.m_bitsPerPixel != 24) return false;
  const int width = m_sliceWidth;
  const int height = m_rotating ? m_sliceWidth : m_sliceHeight;
  if (width < 1 || height < 1 || width > kMaxSliceSide || height > kMaxSliceSide) return false;
  if (picture.Create(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24) != kISOk ||
      !picture.HasPixels())
    return false;
  const int sw = static_cast<int>(source.m_width), sh = static_cast<int>(source.m_height);
  const uint8_t* src = source.Pixels();
  uint8_t* dst = picture.Pixels();
  if (m_rotating) {
    const int cx = ClampToInt(int64_t{m_sliceX} + m_sliceWidth / 2);
    const int cy = ClampToInt(int64_t{m_sliceY} + m_sliceHeight / 2);
    const double theta = m_angle * 3.14159265358979323846 / 180.0;
    ExtractRotatedSquare(src, sw, sh, cx, cy, width, theta, dst);
    return true;
  }
  // Beyond an edge of the picture its edge column or row repeats (a place
  // read back from a history name may lie partly outside it).
  const size_t srcRow = size_t{3} * static_cast<size_t>(sw);
  const size_t dstRow = size_t{3} * static_cast<size_t>(width);
  const int64_t x0 = m_sliceX;
  const int left = static_cast<int>(std::clamp<int64_t>(-x0, 0, width));
  const int64_t firstInside = std::max<int64_t>(x0, 0);
  const int inside =
      static_cast<int>(std::clamp<int64_t>(int64_t{sw} - firstInside, 0, width - left));
  for (int i = 0; i < height; ++i) {
    const int64_t y = std::clamp<int64_t>(int64_t{m_sliceY} + i, 0, sh - 1);
    const uint8_t* row = src + static_cast<size_t>(y) * srcRow;
    uint8_t* out = dst + static_cast<size_t>(i) * dstRow;
    for (int j = 0; j < left; ++j) std::memcpy(out + size_t{3} * j, row, 3);
    if (inside > 0)
      std::memcpy(out + size_t{3} * left, row + size_t{3} * static_cast<size_t>(firstInside),
                  size_t{3} * inside);
    const uint8_t* last = row + srcRow - 3;
    for (int j = left + inside; j < width; ++j) std::memcpy(out + size_t{3} * j, last, 3);
  }
  return true;
}

QString CQuiltorDoc::ExportAndLock() {
  if (!m_mainImage.HasPixels()) return {};
  if (m_sliceFolder.isEmpty()) {
    Log(QStringLiteral("Error: Slice path is empty"));
    return {};
  }
  if (m_locked) {
    Log(QStringLiteral("Error: Currentlyy in Lock mode."));
    return {};
  }
  if (m_merge) {
    Log(QStringLiteral("Error: No slice defined - use Add slice button."));
    return {};
  }
  if (m_sliceX < 0) m_sliceX = 0;
  if (m_sliceY < 0) m_sliceY = 0;

  // One level only: a missing parent makes the creation fail.
  if (!QFileInfo(m_sliceFolder).isDir() && !QDir().mkdir(m_sliceFolder)) {
    m_host.MessageBox(QStringLiteral("Can't create directory: ") + m_sliceFolder,
                      IDocumentHost::Buttons::Ok);
    return {};
  }
  WriteSetting(m_services.settings, Settings::kSlicePath, m_sliceFolder);

  CISImageEx picture;
  const bool cut = CutSlice(m_mainImage, picture);
  // The main image's square is what the backup will hold when the slice
  // comes back; measuring it now spares the merge the wait (a rotating
  // square: the upright cut just made).
  ReferenceColours reference = ReferenceKey();
  if (cut && MatchColoursOn()) {
    reference.imageWidth = m_mainImage.m_width;
    reference.imageHeight = m_mainImage.m_height;
    if (m_rotating) {
      reference.stats = MeasureLab(picture.Pixels(), size_t{picture.m_width} * picture.m_height);
      reference.valid = picture.HasPixels();
    } else {
      reference.valid = MeasureSquareColours(m_mainImage, reference.stats);
    }
  }
  if (m_sliceFolder.endsWith(u'/') && m_sliceFolder.size() > 1) m_sliceFolder.chop(1);
  const QString name =
      m_rotating ? QString::asprintf("rotate_%03d_(%d,%d,%d,%d,%d).png", m_sliceCounter, m_sliceX,
                                     m_sliceY, m_sliceWidth, m_sliceHeight, m_angle)
                 : QString::asprintf("slice_%03d_(%d,%d,%d,%d).png", m_sliceCounter, m_sliceX,
                                     m_sliceY, m_sliceWidth, m_sliceHeight);
  const QString folder = m_sliceFolder == u'/' ? QString() : m_sliceFolder;
  const QString path = folder + u'/' + name;

  if (cut && m_zoom > 1) {
    CISImageEx enlarged;
    if (enlarged.ResizeFrom(picture, picture.m_width * static_cast<uint32_t>(m_zoom),
                            picture.m_height * static_cast<uint32_t>(m_zoom), 17) == kISOk &&
        enlarged.HasPixels())
      picture.TakeOver(enlarged);
  }
  // A slice that was not written is not locked and keeps its number.
  if (!cut || picture.SaveFile(LocalPath(path), kFilePNG) != kISOk) {
    Log(QStringLiteral("Error: Can't write slice: ") + path);
    return {};
  }
  m_locked = 1;
  Log(QStringLiteral("Exported Slice: ") + path);
  if (reference.valid) m_referenceColours = reference;

  if (m_shadowImage.HasPixels()) {
    const QString shadowPath =
        folder + u'/' + QString::asprintf("ControlNet_Slice_%03d.png", m_sliceCounter);
    CISImageEx shadow;
    if (CutSlice(m_shadowImage, shadow) &&
        shadow.SaveFile(LocalPath(shadowPath), kFilePNG) == kISOk)
      Log(QStringLiteral("Exported CN: ") + shadowPath);
    else
      Log(QStringLiteral("Error: Can't write slice: ") + shadowPath);
  }
  if (m_autoSend == 1 && m_host.SetClipboardImage(picture))
    Log(QStringLiteral("Send DIB to Clipboard"));
  Log(QStringLiteral("In Lock mode - waiting for Drag & Drop to merge"));
  ++m_sliceCounter;
  m_host.Repaint();
  return name;
}

void CQuiltorDoc::ToggleAutoSendToClipboard() {
  m_autoSend = m_autoSend ? 0 : 1;
  WriteSetting(m_services.settings, Settings::kAutoSendToClipboard, m_autoSend);
}

void CQuiltorDoc::OpenSliceFolder() {
  if (m_sliceFolder.isEmpty())
    Log(QStringLiteral("Error: Slice path is empty"));
  else
    m_host.OpenFolder(m_sliceFolder);
}
