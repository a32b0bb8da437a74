// The single document: the main image, the ControlNet shadow, the slice square
// with its lock and merge state, the merge mask and brush, and every workflow
// operation. The view and the panes read its members directly and call its
// operations; it reports through IDocumentHost.
#pragma once

#include <QString>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "document/CampaignLedger.h"
#include "document/DocumentHost.h"
#include "document/MergeSession.h"
#include "document/RecoveryJournal.h"
#include "document/SettingsStore.h"
#include "document/UndoHistory.h"
#include "image/ISImageEx.h"
#include "image/kernels/ColourMatch.h"
#include "image/kernels/GeneralBrush.h"
#include "image/kernels/QuickBitmap.h"

class CQuiltorDoc {
 public:
  CQuiltorDoc(IDocumentHost& host, CQuiltorServices& services);
  // A clean end: unsaved work the user gave up leaves no recovery journal.
  virtual ~CQuiltorDoc();
  CQuiltorDoc(const CQuiltorDoc&) = delete;
  CQuiltorDoc& operator=(const CQuiltorDoc&) = delete;

  // --- slice placement and modes
  void CreateSlice(int size, int rotating, int zoom);
  void PlaceSlice(int x, int y, int width, int height);
  void PlaceRotatedSlice(int x, int y, int width, int height, int angle);
  void MoveSlice(int x, int y);
  void CentreSliceAt(int x, int y);
  void SetSliceAngle(int angle);
  void LockSlice();
  void CancelLock();
  void NewDocument();
  void ToggleShowFrame();

  // --- export and lock
  QString ExportAndLock();
  // The same files as Export and Lock, the square left free and nothing sent
  // to the clipboard. Returns the slice's file name, empty when none.
  QString ExportSlice();
  void ToggleAutoSendToClipboard();
  void OpenSliceFolder();

  // --- import
  void ImportFile(const QString& path);
  // A returned slice already read, for the square as placed: scaled back by
  // the zoom factor and merged as Import File merges it, but never asking.
  // Empty when merged; otherwise why not, and the document is unchanged.
  QString MergeReturnedPicture(CISImageEx& picture, const QString& path);

  // --- merge
  // false (and the document unchanged, the error logged) when memory ran out.
  bool BuildMerge();
  void PaintMask(int px, int py, int continuing);
  void UpdateMaskPreview();
  void FillMask(int value);
  void InvertMask();
  void RefreshMerge();
  void CancelMerge();
  void ApplyMerge();
  // The mouse button went up: the mask stroke since the press is one undo
  // step. A press (PaintMask with continuing 0) or any other step also ends
  // a stroke still open.
  void EndMaskStroke();

  // --- undo and redo. In a merge the steps are the merge's mask steps
  // (stroke, Fill, Fill Opacity, Invert); outside it the Apply Merges.
  bool CanUndo() const;
  bool CanRedo() const;
  QString UndoName() const;  // empty when there is nothing to undo
  QString RedoName() const;
  void Undo();
  void Redo();
  const CUndoHistory& MainHistory() const { return m_mainHistory; }
  const CUndoHistory& MaskHistory() const { return m_maskHistory; }

  // --- recovery after a crash. Asks about each journal a program that died
  // left (newest first) until one is recovered; true when one was.
  bool OfferRecovery();
  CRecoveryJournal& Journal() { return m_journal; }

  // Match Colours ("Settings"/"MatchColours", off by default): the returned
  // slice's Lab statistics are moved onto those of the square it replaces
  // before the blend. Setting it during a merge rebuilds the blend at once.
  bool MatchColoursOn() const;
  void SetMatchColours(bool on);
  // The Lab statistics of the square a returned slice will replace, measured
  // once for the lock (before img2img, so that the merge does not wait for
  // them) and kept until the merge ends or the picture under it changes.
  void ForgetReferenceColours() { m_mergeSession.ForgetReferenceColours(); }

  // --- main image load and save
  void LoadMainImage(const QString& path);
  bool OpenMainImage(const QString& path);
  bool SaveMainImage(const QString& path);

  // --- shadow image and small exports
  void OpenShadowImage();
  // false (and the shadow kept) when memory ran out.
  bool LoadShadowImage();
  void CopyMainToShadow();
  void RemoveShadowImage();
  void ExportSmall(int size);

  // --- the merge's brush and edge blur, as the Merger pane's sliders and the
  // console change them (limits in MergeLimits.h)
  // Moving: a slider is being dragged; the values go in and, during a merge,
  // the preview circle shows them. Done: the stamp is rebuilt and the preview
  // circle goes. false, and nothing changed, for a value outside the limits.
  enum class BrushStep { Moving, Done };
  bool SetBrush(int size, double softness, int opacity, BrushStep step);
  // Fill with the mask value an opacity percentage stands for.
  void FillMaskAtOpacity(int opacityPercent);
  // Typed: the edit box's number, kept as it is until the next merge rebuild.
  // Moving: the merge is rebuilt with it. Done: the mask preview as well.
  enum class EdgeBlurStep { Typed, Moving, Done };
  void SetEdgeBlur(int blur, EdgeBlurStep step);

  // --- the framework's side of File New, Open, Save and Save As: the
  // save-changes question, the path name, the title and the modified flag.
  bool FileNew();
  bool FileOpen(const QString& path);
  bool FileSave();
  bool FileSaveAs();
  bool SaveModified();  // false when the user cancelled
  void SetModifiedFlag(bool modified = true) {
    if (m_modified == modified) return;
    m_modified = modified;
    m_host.ModifiedChanged(modified);
  }
  bool IsModified() const { return m_modified; }
  const QString& GetPathName() const { return m_pathName; }
  void SetPathName(const QString& path);
  const QString& GetTitle() const { return m_title; }
  void SetTitle(const QString& title);

  // Bytes held by the merge's buffers (returned slice, overlay, masks, stroke
  // snapshot, feathered slice); 0 once File New or a new main image dropped them.
  size_t MergeBufferBytes() const;

  IDocumentHost& Host() { return m_host; }
  CQuiltorServices& Services() { return m_services; }

  // --- members read and written directly by the view and the panes
  CISImageEx m_mainImage;
  CISImageEx m_shadowImage;

 private:
  CMergeSession m_mergeSession{m_mainImage};

 public:
  // The merge's buffers under the names the view, the panes and the tests
  // read them by; the session owns them and keeps them consistent.
  CISImageEx& m_backupImage = m_mergeSession.Backup();
  // Where the backup lies in the main image (empty outside a merge).
  qkern::PixelRect BackupArea() const { return m_mergeSession.BackupArea(); }
  CISImageEx& m_sliceImage = m_mergeSession.Slice();
  CQuickBitmap& m_overlay = m_mergeSession.Overlay();
  const int& m_overlayX = m_mergeSession.OverlayX();
  const int& m_overlayY = m_mergeSession.OverlayY();
  CQuickBitmap8& m_mask = m_mergeSession.Mask();
  CQuickBitmap8& m_strokeSnapshot = m_mergeSession.StrokeSnapshot();
  CQuickBitmap8& m_blendMask = m_mergeSession.BlendMask();
  const int& m_lastDabX = m_mergeSession.LastDabX();
  const int& m_lastDabY = m_mergeSession.LastDabY();
  CGeneralBrush m_brush;
  int m_tool = 0;  // 0 eraser, 1 brush
  int m_brushPreview = 0;
  int m_sliceX = 0;
  int m_sliceY = 0;
  int m_sliceWidth = 512;
  int m_sliceHeight = 512;
  uint8_t m_rotating = 0;
  int m_angle = 0;
  int m_zoom = 1;
  uint8_t m_locked = 0;
  uint8_t m_merge = 0;
  int m_sliceCounter = 1;
  int m_sliceScreenLeft = 0;
  int m_sliceScreenTop = 0;
  int m_sliceScreenWidth = 512;
  int m_sliceScreenHeight = 512;
  int m_dragState = 0;  // 0 none, 1 moving, 2 rotating
  int m_dragAnchorX = 0;
  int m_dragAnchorY = 0;
  int m_startAngle = 0;
  QString m_sliceFolder;
  QString m_mainImagePath;
  QString m_shadowImagePath;
  int m_autoSend = 1;
  int m_showFrame = 0;
  int m_displayRefresh = 0;
  // The campaign's record beside the picture (the Slicer's history after a
  // restart, the coverage).
  CCampaignLedger m_ledger;

 private:
  void OpenLedger(const QString& picturePath);
  LedgerSlice LedgerSquare() const;  // the square as it is now
  void Log(const QString& text) { m_host.AddOutputLine(text); }
  // The slice values File New and a new background start again from.
  void ResetSliceState();
  void PlaceSquare(int x, int y, int width, int height, bool rotating, int angle);

  // --- the merge, held by m_mergeSession
  using PixelRect = qkern::PixelRect;
  MergePlace Place() const;
  MergeSettings CurrentMergeSettings() const;
  bool BuildMergeWith(bool sliceUnchanged);
  QString m_slicePath;              // the returned file being merged
  mutable int m_matchColours = -1;  // -1 until read from the settings
  // changed: the main-image pixels the merge step changed (empty: all).
  void FinishMerge(const PixelRect& changed);
  // Marks the display stale and, when it was current, reports the pixels
  // changed since, so that the view updates only those.
  void ReportMainChange(const PixelRect& changed);
  void TakeFileAsMainImage(CISImageEx& loaded, const QString& path);
  void MergeFile(CISImageEx& slice, const QString& path);
  // --- undo, redo and the recovery journal
  CUndoHistory m_mainHistory;
  CUndoHistory m_maskHistory;
  CRecoveryJournal m_journal;
  JournalBase m_journalBase;  // the file the document equals when unmodified
  PixelRect m_journalRegion;  // what the journal's records changed, together
  void ReplayIntoHistory(const JournalRecord& record);
  bool m_journalFailed = false;
  size_t UndoBudget() const;
  void PushStep(CUndoHistory& history, CUndoStep step);
  // Records the mask before a Fill or Invert changes all of it.
  void PushWholeMaskStep(const QString& name);
  // Apply Merge as a step: the main-image pixels under the overlay before it.
  void CommitMergeStep();
  void StepMask(bool undo);
  bool StrokeToUndo() const;  // an open stroke that painted something
  void StepMain(bool undo);
  void BlendMaskRect(const PixelRect& maskRect);
  void ClearHistory();
  void SetJournalBase(const QString& path);
  void JournalMainChange(uint8_t kind, const PixelRect& rect);
  JournalSlice CurrentSliceState() const;
  bool RecoverJournal(CJournalReader& reader, const QString& path, JournalRecord& first);

  static bool ScaleSmall(const CISImageEx& source, int size, CISImageEx& copy);

  IDocumentHost& m_host;
  CQuiltorServices& m_services;
  QString m_pathName;
  QString m_title;
  bool m_modified = false;

  // Reads a file as a 24-bit picture; false when it is not one.
  static bool ReadPicture(const QString& path, CISImageEx& picture);
  // Load Main Image's steps after the read: the picture taken over as the main
  // image, the backup, the path, the shadow reload and the refresh flag.
  void AdoptMainImage(CISImageEx& loaded, const QString& path);
  bool SaveNumbered(QString& path);
  QString ExportSquare(bool lock);
  // Cuts the slice square (clamped, or the rotated cut) out of source.
  // kISRefused for a square that can't be cut, kISOutOfMemory.
  uint32_t CutSlice(const CISImageEx& source, CISImageEx& picture) const;
  // "Error: Not enough memory to WHAT" in the log and a message box.
  void ReportOutOfMemory(const QString& what);
};
