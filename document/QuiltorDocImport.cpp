// A file coming in from outside the File menu: a drop or Quick Import. It
// becomes the main image, the returned slice of the square, or, when it does
// not fit the square, a new background if the user wants.
#include <QFile>
#include <QFileInfo>

#include "document/QuiltorDoc.h"

void CQuiltorDoc::TakeFileAsMainImage(CISImageEx& loaded, const QString& path) {
  Log(QStringLiteral("Load BG: %1 (%2,%3)")
          .arg(path, QString::number(loaded.m_width), QString::number(loaded.m_height)));
  AdoptMainImage(loaded, path);
  SetPathName(path);
  SetTitle(QFileInfo(path).fileName());
  m_host.Repaint();
}

void CQuiltorDoc::ImportFile(const QString& path) {
  // The file is read before anything is touched, so that an unreadable file
  // neither empties the document nor undoes a merge under way.
  CISImageEx incoming;
  const uint32_t read = incoming.Load(QFile::encodeName(path).toStdString());
  if (read == qimg::kErrNoMemory || read == kISOutOfMemory) {
    ReportOutOfMemory(QStringLiteral("read ") + path);
    return;
  }
  const bool readable = read == kISOk && incoming.HasPixels() && incoming.m_bitsPerPixel == 24;

  if (!m_mainImage.HasPixels()) {
    if (!readable) {
      Log(QStringLiteral("Error: Can't read image: ") + path);
      return;
    }
    TakeFileAsMainImage(incoming, path);
    return;
  }
  if (m_merge == 1 && !m_backupImage.HasPixels()) {
    Log(QStringLiteral("Error: No Slice defined or Locked. Add Slice first."));
    return;
  }
  if (!readable) {
    Log(QStringLiteral("Error: Can't read image: ") + path);
    return;
  }

  // The file as read stays for the case that it becomes the new background.
  CISImageEx reduced;
  if (m_zoom > 1 &&
      reduced.ResizeFrom(incoming, incoming.m_width / static_cast<uint32_t>(m_zoom),
                         incoming.m_height / static_cast<uint32_t>(m_zoom), 17) != kISOk) {
    ReportOutOfMemory(QStringLiteral("merge ") + path);
    return;
  }
  CISImageEx& slice = m_zoom > 1 ? reduced : incoming;

  if (static_cast<int64_t>(slice.m_width) == m_sliceWidth) {
    MergeFile(slice, path);
    return;
  }

  const IDocumentHost::Answer answer =
      m_host.MessageBox(QStringLiteral("This file size doesn't correspond to the slice size.\r\n"
                                       "Do you want to load it as a new background?"),
                        IDocumentHost::Buttons::YesNoCancel);
  // No or Cancel: the drop never happened; a merge under way keeps its blend.
  if (answer != IDocumentHost::Answer::Yes) return;
  // The new background replaces the picture as File Open would: unsaved work
  // is offered for saving first, and Cancel leaves everything as it was.
  if (!SaveModified()) return;
  SetModifiedFlag(false);

  ResetSliceState();
  TakeFileAsMainImage(incoming, path);
}

// The returned slice laid over the square. Its overlay and masks are made
// aside first: without the memory for them the document stays as it was,
// a merge under way included.
void CQuiltorDoc::MergeFile(CISImageEx& slice, const QString& path) {
  if (m_merge != 1) m_mergeSession.BeginMerge();
  CMergeSession::Prepared prepared;
  if (!m_mergeSession.PrepareSlice(slice, CurrentMergeSettings(), prepared)) {
    ReportOutOfMemory(QStringLiteral("merge ") + path);
    return;
  }
  if (m_merge == 1) Log(QStringLiteral("Replace last Merge with new slice"));
  EndMaskStroke();
  m_maskHistory.Clear();  // the new slice starts with a new mask
  m_slicePath = path;
  Log(QStringLiteral("Load & Merge Slice: ") + path);
  FinishMerge(m_mergeSession.CommitSlice(prepared));
  m_host.UndoHistoryChanged();
  UpdateMaskPreview();
}
