// The merge of a returned slice into the main image: the backup of the main
// image, the slice, its overlay (upright or turned), the painted mask, the
// blend weights, the open mask stroke and the reference colours, kept
// consistent behind a few operations. The main image is the document's; the
// session writes only blends of the overlay into it and puts back the backup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "document/UndoHistory.h"
#include "image/ISImageEx.h"
#include "image/kernels/ColourMatch.h"
#include "image/kernels/GeneralBrush.h"
#include "image/kernels/MergeKernels.h"
#include "image/kernels/PixelRect.h"
#include "image/kernels/PixelView.h"
#include "image/kernels/QuickBitmap.h"

// Where the slice square lies, as the merge and its cut read it.
struct MergePlace {
  bool rotating = false;
  int angle = 0, x = 0, y = 0, width = 0, height = 0, zoom = 1;
};

// What a build depends on besides the slice: the place, the edge blur and
// the Match Colours rule.
struct MergeSettings {
  MergePlace place;
  int edgeBlur = 0;
  bool matchColours = false;
};

class CMergeSession {
 public:
  using PixelRect = qkern::PixelRect;

  explicit CMergeSession(CISImageEx& main) : m_main(main) {}
  CMergeSession(const CMergeSession&) = delete;
  CMergeSession& operator=(const CMergeSession&) = delete;

  // Cuts the square (clamped at the picture's edges, or the turned cut) out
  // of source. kISRefused for a square that can't be cut, kISOutOfMemory.
  static uint32_t CutSquare(const CISImageEx& source, const MergePlace& place, CISImageEx& picture);

  // --- the backup. Held only while a merge is open: the main image as it
  // was before the merge over BackupArea() (main-image coordinates), the
  // part the merge can read (the overlay and the square inside the picture).
  // The main image differs from it only inside the blended region.
  PixelRect BackupArea() const;
  // Backup and merge buffers go (before the main image is replaced, so that
  // the old and the new picture are not held together with a backup).
  void DropAll();
  // The merge has ended (applied, or the main image changed outside it): the
  // backup goes; the main image keeps what it holds.
  void DropBackup();
  // A merge starts: the next slice takes the backup of its own area from the
  // main image as it is now.
  void BeginMerge() { DropBackup(); }
  // The main image changed inside rect outside a merge (undo, recovery): a
  // backup still held no longer describes it.
  void NoteMainChanged(const PixelRect& rect) {
    if (!rect.IsEmpty()) DropBackup();
  }
  // Cancel: the main image as the backup holds it; the backup goes.
  void Cancel();

  // --- building the overlay
  enum class Build { kNothing, kBuilt, kOutOfMemory };
  // The overlay again for new settings or a new mask. sliceUnchanged: the
  // merged slice in place; its pixels then change only where their weight
  // does. changed: the main-image pixels that changed (empty: all).
  Build Rebuild(const MergeSettings& settings, bool sliceUnchanged, PixelRect& changed);
  // A new slice's overlay and mask, made aside so that a merge that can't be
  // built changes nothing.
  struct Prepared;
  // Takes slice over as the merged slice and prepares its overlay; false
  // (the slice given back, nothing changed) without the memory.
  bool PrepareSlice(CISImageEx& slice, const MergeSettings& settings, Prepared& prepared);
  // Takes the prepared buffers over and blends; returns the pixels that
  // changed (empty: all).
  PixelRect CommitSlice(Prepared& prepared);

  // --- the mask
  // Fill with a value, or invert; the next rebuild blends the whole overlay.
  void FillMask(int value);
  void InvertMask();
  void MarkMaskChanged() { m_maskChanged = true; }
  // Blends the overlay again over the mask pixels of maskRect (after an undo
  // step): changed gets the main-image pixels. False when the buffers do not
  // fit together; the caller then rebuilds.
  bool BlendMaskArea(const PixelRect& maskRect, PixelRect& changed);
  // A stroke starts at a press, or when the snapshot no longer fits the mask.
  bool NeedsNewStroke(bool continuing) const;
  // The mask as the press found it; recordable: the stroke becomes an undo
  // step. False without the memory.
  bool BeginStroke(int px, int py, int side, bool recordable);
  // The brush from the last dab to (px, py): changed gets the main-image
  // pixels it blended.
  void PaintStroke(const CGeneralBrush& brush, int tool, int px, int py, PixelRect& changed);
  // Closes the open stroke; true with the mask as the press found it under
  // the stroke's rectangle in step.
  bool CloseStroke(CUndoStep& step);
  void ForgetStroke() { m_strokeOpen = false; }
  bool StrokeOpen() const { return m_strokeOpen; }
  const PixelRect& StrokeRect() const { return m_strokeRect; }

  // --- Apply: the main-image pixels under the overlay before the merge.
  enum class ApplyRecord { kOffPicture, kLost, kRecorded };
  ApplyRecord RecordApply(CUndoStep& step) const;
  // The blend stays in the main image: the backup catches up with it.
  PixelRect OverlayAreaInMain() const;

  // --- the reference colours: the Lab statistics of the square a returned
  // slice replaces, measured once for the lock.
  struct ReferenceColours {
    bool valid = false;
    int rotating = 0, angle = 0, sliceX = 0, sliceY = 0, sliceWidth = 0, sliceHeight = 0;
    uint32_t imageWidth = 0, imageHeight = 0;
    CLabStats stats;
  };
  // The statistics of image's square; an upright cut of a turned square
  // already made (the export's) is measured instead of cutting again.
  static ReferenceColours MeasureReference(const CISImageEx& image, const MergePlace& place,
                                           const CISImageEx* upright = nullptr);
  void SetReferenceColours(const ReferenceColours& reference) { m_reference = reference; }
  void ForgetReferenceColours() { m_reference.valid = false; }

  // Drops every buffer and record of a merge; the backup stays.
  void Release();
  // Bytes held by the slice, overlay, masks, stroke snapshot and feathered slice.
  size_t BufferBytes() const;

  // --- the buffers, for the readers that show or test them
  CISImageEx& Backup() { return m_backup; }
  CISImageEx& Slice() { return m_slice; }
  CQuickBitmap& Overlay() { return m_overlay; }
  CQuickBitmap8& Mask() { return m_mask; }
  CQuickBitmap8& BlendMask() { return m_blendMask; }
  CQuickBitmap8& StrokeSnapshot() { return m_snapshot; }
  const int& OverlayX() const { return m_ox; }
  const int& OverlayY() const { return m_oy; }
  const int& LastDabX() const { return m_lastDabX; }
  const int& LastDabY() const { return m_lastDabY; }

 private:
  // What the overlay was last built from. A rebuild for a new edge blur or
  // mask of the same slice and place only redoes the feather.
  struct OverlaySource {
    bool valid = false;
    MergePlace place;
    uint32_t imageWidth = 0, imageHeight = 0, backgroundWidth = 0, backgroundHeight = 0;
    int overlayWidth = 0, overlayHeight = 0, feather = 0;
    bool matched = false;
  };
  OverlaySource SourceFor(const MergeSettings& settings) const;
  bool SameSource(const OverlaySource& current) const;
  bool MainAndBackupComparable() const;
  // The backup's pixels at main-image (x, y), which lies inside BackupArea().
  const uint8_t* BackupAt(int x, int y) const;
  // The part of the main image an overlay at (ox, oy) of ow x oh over place
  // reads from the backup: the overlay and the upright square, in the picture.
  PixelRect ReadArea(const MergePlace& place, int ox, int oy, int ow, int oh) const;
  // The backup for area: the held one where it covers area, else a new one
  // in prepared (the picture before the merge, made from the main image and
  // the held backup). False without the memory.
  bool BackupFor(const PixelRect& area, Prepared& b) const;
  bool LayersFit() const;  // overlay, mask and blend mask of one size over a comparable backup
  bool Prepare(Prepared& b, const OverlaySource& source, bool freshMask);
  PixelRect Commit(Prepared& b, bool sameSlice);
  void Refeather(int oldFeather, int newFeather, bool blend);
  void RestoreMainFromBackup();
  void BlendOverlayArea(const PixelRect& overlayPart);
  PixelRect BlendWholeOverlay();
  void BlendFeatherBands(int ramp);
  // The overlay's columns and rows inside the main image, overlay coordinates.
  PixelRect OverlayPartInsideMain() const;
  qkern::MaskLayers LayersView();
  // The square's colours before the merge, from the main image or backup.
  bool SquareColours(const MergePlace& place, const CISImageEx& backup, const PixelRect& area,
                     CLabStats& stats);
  bool FillOverlayColours(CQuickBitmap& target, const MergePlace& place, bool match,
                          const CISImageEx& backup, const PixelRect& area);

  CISImageEx& m_main;
  CISImageEx m_backup;
  int m_backupX = 0, m_backupY = 0;  // the backup's top-left in the main image
  PixelRect m_blended;               // where the main image differs from the backup
  CISImageEx m_slice;                // the returned slice being merged
  CQuickBitmap m_overlay;
  CQuickBitmap m_feathered;  // a turning slice with the feather, as sampled
  int m_ox = 0, m_oy = 0;
  CQuickBitmap8 m_mask, m_snapshot, m_blendMask;
  OverlaySource m_source;
  bool m_maskChanged = false;  // since the last blend of the whole overlay
  ReferenceColours m_reference;
  std::vector<uint16_t> m_colourScratch;  // the slice's Lab values between two passes
  bool m_strokeOpen = false;
  PixelRect m_strokeRect;  // mask pixels the open stroke touched
  int m_lastDabX = 0, m_lastDabY = 0;
};

struct CMergeSession::Prepared {
  OverlaySource source;
  CQuickBitmap overlay, feathered;
  CQuickBitmap8 blendMask, mask;
  CISImageEx main;    // the backup's copy when the main image can't take a blend
  CISImageEx backup;  // a backup taken for this overlay's area
  PixelRect backupArea;
  CISImageEx previousSlice;
  int ox = 0, oy = 0;
  bool newBlendMask = false, newMask = false;
};
