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
  const bool readable = incoming.Load(QFile::encodeName(path).toStdString()) == kISOk &&
                        incoming.HasPixels() && incoming.m_bitsPerPixel == 24;

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
                         incoming.m_height / static_cast<uint32_t>(m_zoom), 17) != kISOk)
    reduced.Clear();
  CISImageEx& slice = m_zoom > 1 && reduced.HasPixels() ? reduced : incoming;

  if (static_cast<int64_t>(slice.m_width) == m_sliceWidth) {
    if (m_merge == 1) {
      RestoreMainFromBackup();
      Log(QStringLiteral("Replace last Merge with new slice"));
    } else {
      CopyMainToBackup();
    }
    EndMaskStroke();
    m_maskHistory.Clear();  // the new slice starts with a new mask
    m_sliceImage.TakeOver(slice);
    m_mask.Release();
    Log(QStringLiteral("Load & Merge Slice: ") + path);
    BuildMerge();
    m_host.UndoHistoryChanged();
    UpdateMaskPreview();
    return;
  }

  const IDocumentHost::Answer answer =
      m_host.MessageBox(QStringLiteral("This file size doesn't correspond to the slice size.\r\n"
                                       "Do you want to load it as a new background?"),
                        IDocumentHost::Buttons::YesNoCancel);
  // No or Cancel: the drop never happened; a merge under way keeps its blend.
  if (answer != IDocumentHost::Answer::Yes) return;

  ResetSliceState();
  TakeFileAsMainImage(incoming, path);
}
