// The undo and redo lists. A step keeps only the rectangle of one plane (the
// main image or the merge mask) that it changed, holding the pixels of the
// state it is not in: undo and redo swap them with the plane, so a step costs
// one copy of its rectangle whichever way it last went.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

struct CUndoStep {
  QString name;
  // Plane pixels, right and bottom exclusive.
  int left = 0, top = 0, right = 0, bottom = 0;
  int bytesPerPixel = 1;
  std::vector<uint8_t> pixels;  // rows of the rectangle, tightly packed

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  // Exchanges the step's pixels with the plane's; false (nothing touched)
  // when the rectangle does not lie inside a plane of that size.
  bool SwapWith(uint8_t* plane, int planeWidth, int planeHeight);
  // Fills the step from the plane's rectangle; false when it lies outside.
  bool CopyFrom(const uint8_t* plane, int planeWidth, int planeHeight);
};

class CUndoHistory {
 public:
  // A new step: the redo list goes, then the oldest steps while the lists
  // hold more than budget bytes (the new step too if it alone is too big).
  void Push(CUndoStep step, size_t budget);
  void Clear();

  bool CanUndo() const { return !m_undo.empty(); }
  bool CanRedo() const { return !m_redo.empty(); }
  const CUndoStep* NextUndo() const { return m_undo.empty() ? nullptr : &m_undo.back(); }
  const CUndoStep* NextRedo() const { return m_redo.empty() ? nullptr : &m_redo.back(); }
  // Moves the newest step to the other list and returns it there; the caller
  // swaps its pixels. Null when the list is empty.
  CUndoStep* MoveToRedo();
  CUndoStep* MoveToUndo();

  size_t Bytes() const { return m_bytes; }
  size_t UndoCount() const { return m_undo.size(); }
  size_t RedoCount() const { return m_redo.size(); }

 private:
  // Drops the oldest undo steps until the lists hold at most budget bytes;
  // only Push calls it, right after it emptied the redo list.
  void Trim(size_t budget);

  std::deque<CUndoStep> m_undo;   // oldest first
  std::vector<CUndoStep> m_redo;  // the next redo last
  size_t m_bytes = 0;
};
