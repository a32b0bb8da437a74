// Undo and redo of the merge's mask steps and of Apply Merge, the recovery
// journal of the main image's changes, and recovery after a crash.
#include <QFileInfo>
#include <algorithm>

#include "document/QuiltorDoc.h"
#include "image/kernels/MergeKernels.h"

namespace {
const QString kStrokeStep = QStringLiteral("Mask Stroke");
const QString kApplyStep = QStringLiteral("Apply Merge");
}  // namespace

CQuiltorDoc::~CQuiltorDoc() { m_journal.End(); }

bool CQuiltorDoc::StrokeToUndo() const {
  return m_mergeSession.StrokeOpen() && !m_mergeSession.StrokeRect().IsEmpty();
}

size_t CQuiltorDoc::UndoBudget() const {
  const int mb = ReadSetting(m_services.settings, Settings::kUndoBudgetMB);
  return static_cast<size_t>(std::max(mb, 0)) << 20;
}

// Both lists share the budget; the one that grows gives up its oldest steps.
void CQuiltorDoc::PushStep(CUndoHistory& history, CUndoStep step) {
  const CUndoHistory& other = &history == &m_mainHistory ? m_maskHistory : m_mainHistory;
  const size_t budget = UndoBudget();
  history.Push(std::move(step), budget > other.Bytes() ? budget - other.Bytes() : 0);
  m_host.UndoHistoryChanged();
}

void CQuiltorDoc::ClearHistory() {
  m_mergeSession.ForgetStroke();
  m_mainHistory.Clear();
  m_maskHistory.Clear();
  m_host.UndoHistoryChanged();
}

void CQuiltorDoc::EndMaskStroke() {
  if (!m_mergeSession.StrokeOpen()) return;
  if (m_merge != 1) {
    m_mergeSession.ForgetStroke();
    return;
  }
  CUndoStep step;
  step.name = kStrokeStep;
  if (m_mergeSession.CloseStroke(step)) PushStep(m_maskHistory, std::move(step));
}

void CQuiltorDoc::PushWholeMaskStep(const QString& name) {
  EndMaskStroke();
  if (m_merge != 1 || !m_mask.HasPixels()) return;
  CUndoStep step;
  step.name = name;
  step.right = m_mask.m_width;
  step.bottom = m_mask.m_height;
  if (step.CopyFrom(m_mask.m_pixels.get(), m_mask.m_width, m_mask.m_height))
    PushStep(m_maskHistory, std::move(step));
}

void CQuiltorDoc::CommitMergeStep() {
  m_ledger.NoteMerged(LedgerSquare(), m_slicePath);
  EndMaskStroke();
  m_maskHistory.Clear();
  CUndoStep step;
  step.name = kApplyStep;
  const CMergeSession::ApplyRecord record = m_mergeSession.RecordApply(step);
  m_mergeSession.DropBackup();  // the blend stays: the merge has ended
  switch (record) {
    case CMergeSession::ApplyRecord::kOffPicture:  // nothing of it lies on the picture
      return;
    case CMergeSession::ApplyRecord::kLost:
      // Without the pixels before it, no earlier step can be undone exactly.
      ClearHistory();
      return;
    case CMergeSession::ApplyRecord::kRecorded: break;
  }
  const PixelRect area{step.left, step.top, step.right, step.bottom};
  PushStep(m_mainHistory, std::move(step));
  JournalMainChange(JournalRecord::kApply, area);
}

bool CQuiltorDoc::CanUndo() const {
  if (m_merge == 1) return m_maskHistory.CanUndo() || StrokeToUndo();
  return m_mainHistory.CanUndo();
}

bool CQuiltorDoc::CanRedo() const {
  if (m_merge == 1) return !m_mergeSession.StrokeOpen() && m_maskHistory.CanRedo();
  return m_mainHistory.CanRedo();
}

QString CQuiltorDoc::UndoName() const {
  if (m_merge == 1 && StrokeToUndo()) return kStrokeStep;
  const CUndoStep* s = m_merge == 1 ? m_maskHistory.NextUndo() : m_mainHistory.NextUndo();
  return s ? s->name : QString();
}

QString CQuiltorDoc::RedoName() const {
  if (!CanRedo()) return {};
  const CUndoStep* s = m_merge == 1 ? m_maskHistory.NextRedo() : m_mainHistory.NextRedo();
  return s ? s->name : QString();
}

void CQuiltorDoc::Undo() {
  if (m_merge == 1) {
    EndMaskStroke();
    StepMask(true);
  } else {
    m_maskHistory.Clear();  // steps of a merge that has ended
    StepMain(true);
  }
}

void CQuiltorDoc::Redo() {
  if (m_merge == 1) {
    EndMaskStroke();
    StepMask(false);
  } else {
    m_maskHistory.Clear();
    StepMain(false);
  }
}

// Blends the overlay again over the mask pixels of maskRect, which gives the
// main image and the blend mask exactly what painting the mask gave.
void CQuiltorDoc::BlendMaskRect(const PixelRect& r) {
  PixelRect changed;
  if (!m_mergeSession.BlendMaskArea(r, changed)) {
    m_mergeSession.MarkMaskChanged();
    RefreshMerge();
    return;
  }
  ReportMainChange(changed);
  m_host.Repaint();
}

void CQuiltorDoc::StepMask(bool undo) {
  CUndoStep* step = undo ? m_maskHistory.MoveToRedo() : m_maskHistory.MoveToUndo();
  if (!step) return;
  const QString name = step->name;
  const PixelRect r{step->left, step->top, step->right, step->bottom};
  if (!step->SwapWith(m_mask.m_pixels.get(), m_mask.m_width, m_mask.m_height)) {
    // The mask is not the one the step was taken from.
    ClearHistory();
    return;
  }
  BlendMaskRect(r);
  UpdateMaskPreview();
  Log((undo ? QStringLiteral("Undo: ") : QStringLiteral("Redo: ")) + name);
  m_host.UndoHistoryChanged();
}

void CQuiltorDoc::StepMain(bool undo) {
  CUndoStep* step = undo ? m_mainHistory.MoveToRedo() : m_mainHistory.MoveToUndo();
  if (!step) return;
  const QString name = step->name;
  const PixelRect r{step->left, step->top, step->right, step->bottom};
  if (!step->SwapWith(m_mainImage.Pixels(), static_cast<int>(m_mainImage.m_width),
                      static_cast<int>(m_mainImage.m_height))) {
    ClearHistory();
    return;
  }
  // The backup catches up with the main image before the next merge.
  m_mergeSession.NoteMainChanged(r);
  ForgetReferenceColours();
  const bool reportChange = m_displayRefresh == 0;
  m_displayRefresh = 1;
  if (reportChange)
    m_host.MainImageChanged(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
  m_host.Repaint();
  SetModifiedFlag(true);
  JournalMainChange(undo ? JournalRecord::kUndo : JournalRecord::kRedo, r);
  Log((undo ? QStringLiteral("Undo: ") : QStringLiteral("Redo: ")) + name);
  m_host.UndoHistoryChanged();
}

// --- the recovery journal

void CQuiltorDoc::SetJournalBase(const QString& path) {
  m_journal.End();
  m_journalFailed = false;
  m_journalRegion = {};
  m_journalBase = {};
  if (path.isEmpty() || !StatJournalFile(path, m_journalBase.fileSize, m_journalBase.fileTimeNs))
    return;
  m_journalBase.imagePath = QFileInfo(path).absoluteFilePath();
}

JournalSlice CQuiltorDoc::CurrentSliceState() const {
  JournalSlice s;
  s.folder = m_sliceFolder;
  s.counter = m_sliceCounter;
  s.x = m_sliceX;
  s.y = m_sliceY;
  s.width = m_sliceWidth;
  s.height = m_sliceHeight;
  s.rotating = m_rotating;
  s.angle = m_angle;
  s.zoom = m_zoom;
  return s;
}

void CQuiltorDoc::JournalMainChange(uint8_t kind, const PixelRect& r) {
  // Work on a picture that has no file behind it can't be replayed.
  if (m_journalBase.imagePath.isEmpty() || m_journalFailed || !m_mainImage.HasPixels()) return;
  JournalBase base = m_journalBase;
  base.documentPath = m_pathName;
  base.width = m_mainImage.m_width;
  base.height = m_mainImage.m_height;
  if (!m_journal.IsOpen()) {
    m_journalRegion = {};
    if (!m_journal.Begin(base)) {
      m_journalFailed = true;
      Log(QStringLiteral("Error: Can't write the recovery journal in ") + m_journal.Folder());
      return;
    }
  }
  if (!m_journal.Append(kind, r.left, r.top, r.right, r.bottom, CurrentSliceState(),
                        m_mainImage.Pixels(), static_cast<int>(m_mainImage.m_width))) {
    // A journal with a gap would replay wrongly: none at all until the next save.
    m_journal.End();
    m_journalFailed = true;
    Log(QStringLiteral("Error: Can't write the recovery journal in ") + m_journal.Folder());
    return;
  }
  m_journalRegion.Include(r);
  // Past twice the picture, every change so far is rewritten as one record
  // of the region it touched; a failed rewrite leaves the journal as it was.
  const int64_t pictureBytes = int64_t{3} * m_mainImage.m_width * m_mainImage.m_height;
  if (m_journal.Size() > 2 * pictureBytes)
    m_journal.Compact(base, m_journalRegion.left, m_journalRegion.top, m_journalRegion.right,
                      m_journalRegion.bottom, CurrentSliceState(), m_mainImage.Pixels(),
                      static_cast<int>(m_mainImage.m_width));
}

bool CQuiltorDoc::OfferRecovery() {
  const QStringList orphans = CRecoveryJournal::Orphans(m_journal.Folder());
  for (const QString& path : orphans) {
    CJournalReader reader;
    JournalRecord first;
    // A journal cut before its first record holds no work.
    if (!reader.Open(path) || !reader.Next(first)) {
      CRecoveryJournal::Discard(path);
      continue;
    }
    const JournalBase& base = reader.Base();
    const QString name =
        QFileInfo(base.documentPath.isEmpty() ? base.imagePath : base.documentPath).fileName();
    if (m_host.MessageBox(
            QStringLiteral("Quiltor closed without saving. Recover the unsaved work on %1?")
                .arg(name),
            IDocumentHost::Buttons::YesNo) != IDocumentHost::Answer::Yes) {
      CRecoveryJournal::Discard(path);
      continue;
    }
    return RecoverJournal(reader, path, first);
  }
  return false;
}

bool CQuiltorDoc::RecoverJournal(CJournalReader& reader, const QString& path,
                                 JournalRecord& record) {
  const JournalBase base = reader.Base();
  const QString name = QFileInfo(base.imagePath).fileName();
  int64_t size = -1, timeNs = 0;
  CISImageEx loaded;
  const bool same = StatJournalFile(base.imagePath, size, timeNs) && size == base.fileSize &&
                    timeNs == base.fileTimeNs;
  if (!same || !ReadPicture(base.imagePath, loaded) || loaded.m_width != base.width ||
      loaded.m_height != base.height) {
    const QString text =
        QStringLiteral(
            "%1 has changed since the work was done; the unsaved work was not recovered.")
            .arg(name);
    Log(text);
    m_host.MessageBox(text, IDocumentHost::Buttons::Ok);
    CRecoveryJournal::Discard(path);
    return false;
  }
  if (!SaveModified()) return false;
  Log(QStringLiteral("Load BG: %1 (%2,%3)")
          .arg(base.imagePath)
          .arg(loaded.m_width)
          .arg(loaded.m_height));
  AdoptMainImage(loaded, base.imagePath);
  const int w = static_cast<int>(m_mainImage.m_width);
  int count = 0;
  do {
    ReplayIntoHistory(record);
    const PixelRect area{record.left, record.top, record.right, record.bottom};
    const auto mainView =
        qkern::PixelView::Packed(m_mainImage.Pixels(), w, m_mainImage.m_height, 3);
    qkern::CopyPixels(
        qkern::ConstPixelView::Packed(record.pixels.data(), area.Width(), area.Height(), 3),
        mainView.Crop(area));
    m_mergeSession.NoteMainChanged(area);
    m_journalRegion.Include(area);
    ++count;
    const JournalSlice& s = record.slice;
    m_sliceFolder = s.folder;
    m_sliceCounter = s.counter;
    m_sliceX = s.x;
    m_sliceY = s.y;
    m_sliceWidth = s.width;
    m_sliceHeight = s.height;
    m_rotating = s.rotating ? 1 : 0;
    m_angle = s.angle;
    m_zoom = s.zoom;
  } while (reader.Next(record));
  m_merge = 0;
  m_locked = 0;
  if (base.documentPath.isEmpty()) {
    m_pathName.clear();
    SetTitle(name);
  } else {
    SetPathName(base.documentPath);
  }
  SetModifiedFlag(true);
  // Further changes continue the same journal, cut after its last good record.
  if (!m_journal.Adopt(path, reader.GoodEnd())) m_journalFailed = true;
  Log(QStringLiteral("Recovered %1 %2 on %3")
          .arg(count)
          .arg(count == 1 ? QStringLiteral("change") : QStringLiteral("changes"), name));
  m_displayRefresh = 1;
  m_host.Repaint();
  return true;
}

// A recovered change enters the undo history as the step it was: an Apply
// Merge (or the compacted changes) as a new step holding the pixels before
// it, an undo or redo as a move of the matching step. Where the history
// can't follow (steps the program had dropped for the budget) it starts
// again from there.
void CQuiltorDoc::ReplayIntoHistory(const JournalRecord& record) {
  const int w = static_cast<int>(m_mainImage.m_width), h = static_cast<int>(m_mainImage.m_height);
  if (record.kind == JournalRecord::kApply || record.kind == JournalRecord::kCompact) {
    CUndoStep step;
    step.name =
        record.kind == JournalRecord::kApply ? kApplyStep : QStringLiteral("Recovered Work");
    step.bytesPerPixel = 3;
    step.left = record.left;
    step.top = record.top;
    step.right = record.right;
    step.bottom = record.bottom;
    if (step.CopyFrom(m_mainImage.Pixels(), w, h)) PushStep(m_mainHistory, std::move(step));
    return;
  }
  const bool undo = record.kind == JournalRecord::kUndo;
  const CUndoStep* next = undo ? m_mainHistory.NextUndo() : m_mainHistory.NextRedo();
  if (!next || next->left != record.left || next->top != record.top ||
      next->right != record.right || next->bottom != record.bottom) {
    ClearHistory();
    return;
  }
  CUndoStep* step = undo ? m_mainHistory.MoveToRedo() : m_mainHistory.MoveToUndo();
  step->SwapWith(m_mainImage.Pixels(), w, h);
}
