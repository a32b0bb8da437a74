// Laying a returned slice over the main image, painting the merge mask, and
// applying or cancelling the merge: the document's side of CMergeSession.
#include <cstdint>

#include "document/QuiltorDoc.h"

MergePlace CQuiltorDoc::Place() const {
  return {m_rotating != 0, m_angle, m_sliceX, m_sliceY, m_sliceWidth, m_sliceHeight, m_zoom};
}

MergeSettings CQuiltorDoc::CurrentMergeSettings() const {
  return {Place(), m_services.edgeBlur, MatchColoursOn()};
}

bool CQuiltorDoc::BuildMerge() {
  if (BuildMergeWith(false)) return true;
  ReportOutOfMemory(QStringLiteral("merge ") + m_slicePath);
  return false;
}

bool CQuiltorDoc::BuildMergeWith(bool sliceUnchanged) {
  PixelRect changed;
  switch (m_mergeSession.Rebuild(CurrentMergeSettings(), sliceUnchanged, changed)) {
    case CMergeSession::Build::kNothing: return true;
    case CMergeSession::Build::kOutOfMemory: return false;
    case CMergeSession::Build::kBuilt: break;
  }
  FinishMerge(changed);
  return true;
}

void CQuiltorDoc::ReportMainChange(const PixelRect& r) {
  const bool report = m_displayRefresh == 0 && !r.IsEmpty();
  m_displayRefresh = 1;
  if (report) m_host.MainImageChanged(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
}

void CQuiltorDoc::FinishMerge(const PixelRect& changed) {
  ReportMainChange(changed);
  m_merge = 1;
  m_locked = 1;
  m_host.Repaint();
  SetModifiedFlag(true);
}

void CQuiltorDoc::PaintMask(int px, int py, int continuing) {
  if (!m_mask.HasPixels()) {
    m_displayRefresh = 1;
    return;
  }
  // Only a change made while the flag was clear can be reported as the whole
  // change since then.
  const bool reportChange = m_displayRefresh == 0;
  m_brushPreview = 0;
  if (!m_brush.m_stamp) m_brush.Build();
  if (m_mergeSession.NeedsNewStroke(continuing != 0)) {
    EndMaskStroke();  // a press without the release before it
    const int side = m_brush.m_stamp ? m_brush.m_stampSide : 0;
    if (!m_mergeSession.BeginStroke(px, py, side, m_merge == 1)) return;
  }
  PixelRect changed;
  m_mergeSession.PaintStroke(m_brush, m_tool, px, py, changed);
  m_displayRefresh = 1;
  if (reportChange) {
    m_host.MainImageChanged(changed.IsEmpty()
                                ? QRect()
                                : QRect(changed.left, changed.top, changed.right - changed.left,
                                        changed.bottom - changed.top));
  }
}

void CQuiltorDoc::UpdateMaskPreview() {
  CISImageEx* preview = m_host.MaskPreviewImage();
  if (!preview) return;
  preview->Clear();
  if (m_blendMask.HasPixels()) {
    const int w = m_blendMask.m_width, h = m_blendMask.m_height;
    if (preview->Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24) == kISOk) {
      const uint8_t* src = m_blendMask.m_pixels.get();
      uint8_t* dst = preview->Pixels();
      const size_t count = static_cast<size_t>(w) * h;
      for (size_t i = 0; i < count; ++i) dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = src[i];
      const int pw = m_host.MaskPreviewWidth(), ph = m_host.MaskPreviewHeight();
      if (pw > 0 && ph > 0)
        preview->Resize(static_cast<uint32_t>(pw), static_cast<uint32_t>(ph), 16);
    }
  }
  m_host.RedrawMaskPreview();
}

void CQuiltorDoc::FillMask(int value) {
  // The Merger's Fill fills with 255, its Fill Opacity with the brush opacity.
  PushWholeMaskStep(value >= 255 ? QStringLiteral("Fill") : QStringLiteral("Fill Opacity"));
  m_mergeSession.FillMask(value);
  RefreshMerge();
  UpdateMaskPreview();
}

void CQuiltorDoc::InvertMask() {
  PushWholeMaskStep(QStringLiteral("Invert"));
  m_mergeSession.InvertMask();
  RefreshMerge();
  UpdateMaskPreview();
}

void CQuiltorDoc::RefreshMerge() {
  if (m_mainImage.HasPixels() && m_backupImage.HasPixels() && m_merge == 1 && m_locked == 1 &&
      !BuildMergeWith(true))
    ReportOutOfMemory(QStringLiteral("merge ") + m_slicePath);
}

void CQuiltorDoc::CancelMerge() {
  if (!m_backupImage.HasPixels() || m_merge != 1) {
    Log(QStringLiteral("Not in Merge Mode"));
    m_merge = 0;
    m_locked = m_locked ? 0 : 1;
    m_displayRefresh = 1;
    m_host.Repaint();
    return;
  }
  m_mergeSession.Cancel();
  EndMaskStroke();
  m_maskHistory.Clear();
  m_host.UndoHistoryChanged();
  m_displayRefresh = 1;
  m_merge = 0;
  m_locked = 1;
  Log(QStringLiteral("Cancel Merge"));
  m_host.Repaint();
}

void CQuiltorDoc::ApplyMerge() {
  if (m_merge != 1) {
    Log(QStringLiteral("Not in Merge"));
    return;
  }
  CommitMergeStep();
  m_merge = 0;
  m_locked = 0;
  ForgetReferenceColours();  // the merged pixels are the next square's
  m_host.Repaint();
  SetModifiedFlag(true);
}
