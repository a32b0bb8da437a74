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
}  // namespace

uint32_t CQuiltorDoc::CutSlice(const CISImageEx& source, CISImageEx& picture) const {
  return CMergeSession::CutSquare(source, Place(), picture);
}

QString CQuiltorDoc::ExportAndLock() { return ExportSquare(true); }

QString CQuiltorDoc::ExportSlice() { return ExportSquare(false); }

QString CQuiltorDoc::ExportSquare(bool lock) {
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

  if (m_sliceFolder.endsWith(u'/') && m_sliceFolder.size() > 1) m_sliceFolder.chop(1);
  const QString folder = m_sliceFolder == u'/' ? QString() : m_sliceFolder;
  const bool withShadow = m_shadowImage.HasPixels();
  auto slicePath = [&](int counter) {
    return folder + u'/' +
           (m_rotating ? QString::asprintf("rotate_%03d_(%d,%d,%d,%d,%d).png", counter, m_sliceX,
                                           m_sliceY, m_sliceWidth, m_sliceHeight, m_angle)
                       : QString::asprintf("slice_%03d_(%d,%d,%d,%d).png", counter, m_sliceX,
                                           m_sliceY, m_sliceWidth, m_sliceHeight));
  };
  auto shadowPathOf = [&](int counter) {
    return folder + u'/' + QString::asprintf("ControlNet_Slice_%03d.png", counter);
  };
  // The counter starts at 1 with every run and File New: it moves past the
  // numbers whose files are already in the folder, so no export replaces one.
  auto taken = [](const QString& p) { return QFileInfo::exists(p) || QFileInfo(p).isSymLink(); };
  int counter = m_sliceCounter;
  while (taken(slicePath(counter)) || (withShadow && taken(shadowPathOf(counter)))) ++counter;

  // Everything the export needs is made before anything is written, so that
  // running out of memory leaves the folder and the document as they were.
  CISImageEx picture, shadow;
  const uint32_t cut = CutSlice(m_mainImage, picture);
  bool outOfMemory = cut == kISOutOfMemory;
  // The main image's square is what the backup will hold when the slice
  // comes back; measuring it now spares the merge the wait (a rotating
  // square: the upright cut just made).
  CMergeSession::ReferenceColours reference;
  if (lock && cut == kISOk && MatchColoursOn())
    reference = CMergeSession::MeasureReference(m_mainImage, Place(), &picture);
  if (cut == kISOk && m_zoom > 1) {
    CISImageEx enlarged;
    if (enlarged.ResizeFrom(picture, picture.m_width * static_cast<uint32_t>(m_zoom),
                            picture.m_height * static_cast<uint32_t>(m_zoom), 17) == kISOk &&
        enlarged.HasPixels())
      picture.TakeOver(enlarged);
    else
      outOfMemory = true;
  }
  if (!outOfMemory && cut == kISOk && withShadow)
    outOfMemory = CutSlice(m_shadowImage, shadow) == kISOutOfMemory;
  if (outOfMemory) {
    ReportOutOfMemory(QStringLiteral("export ") + slicePath(counter));
    return {};
  }

  // A slice that was not written is not locked and keeps its number; a name
  // that appeared meanwhile moves the counter on.
  uint32_t written = cut;
  if (written == kISOk)
    written = picture.SaveFile(LocalPath(slicePath(counter)), kFilePNG, qimg::SaveMode::kNoReplace,
                               [&] { return LocalPath(slicePath(++counter)); });
  const QString path = slicePath(counter);
  if (written != kISOk) {
    Log(QStringLiteral("Error: Can't write slice: ") + path);
    return {};
  }
  m_sliceCounter = counter;
  if (lock) m_locked = 1;
  Log(QStringLiteral("Exported Slice: ") + path);
  LedgerSlice noted = LedgerSquare();
  noted.file = QFileInfo(path).fileName();
  m_ledger.NoteExport(noted);
  if (reference.valid) m_mergeSession.SetReferenceColours(reference);

  if (withShadow) {
    const QString shadowPath = shadowPathOf(m_sliceCounter);
    if (shadow.HasPixels() &&
        shadow.SaveFile(LocalPath(shadowPath), kFilePNG, qimg::SaveMode::kNoReplace) == kISOk)
      Log(QStringLiteral("Exported CN: ") + shadowPath);
    else
      Log(QStringLiteral("Error: Can't write slice: ") + shadowPath);
  }
  if (lock && m_autoSend == 1 && m_host.SetClipboardImage(picture))
    Log(QStringLiteral("Send DIB to Clipboard"));
  if (lock) Log(QStringLiteral("In Lock mode - waiting for Drag & Drop to merge"));
  ++m_sliceCounter;
  m_host.Repaint();
  return QFileInfo(path).fileName();
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
