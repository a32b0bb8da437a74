#include "document/UndoHistory.h"

#include <algorithm>
#include <cstring>

namespace {
bool Inside(const CUndoStep& s, int planeWidth, int planeHeight) {
  return s.left >= 0 && s.top >= 0 && s.right > s.left && s.bottom > s.top &&
         s.right <= planeWidth && s.bottom <= planeHeight && s.bytesPerPixel > 0;
}
}  // namespace

bool CUndoStep::SwapWith(uint8_t* plane, int planeWidth, int planeHeight) {
  if (!plane || !Inside(*this, planeWidth, planeHeight)) return false;
  const size_t rowBytes = static_cast<size_t>(Width()) * bytesPerPixel;
  if (pixels.size() != rowBytes * static_cast<size_t>(Height())) return false;
  const size_t stride = static_cast<size_t>(planeWidth) * bytesPerPixel;
  uint8_t* own = pixels.data();
  for (int y = top; y < bottom; ++y, own += rowBytes) {
    uint8_t* row =
        plane + static_cast<size_t>(y) * stride + static_cast<size_t>(left) * bytesPerPixel;
    std::swap_ranges(row, row + rowBytes, own);
  }
  return true;
}

bool CUndoStep::CopyFrom(const uint8_t* plane, int planeWidth, int planeHeight) {
  if (!plane || !Inside(*this, planeWidth, planeHeight)) return false;
  const size_t rowBytes = static_cast<size_t>(Width()) * bytesPerPixel;
  const size_t stride = static_cast<size_t>(planeWidth) * bytesPerPixel;
  pixels.resize(rowBytes * static_cast<size_t>(Height()));
  uint8_t* own = pixels.data();
  for (int y = top; y < bottom; ++y, own += rowBytes)
    std::memcpy(own,
                plane + static_cast<size_t>(y) * stride + static_cast<size_t>(left) * bytesPerPixel,
                rowBytes);
  return true;
}

void CUndoHistory::Push(CUndoStep step, size_t budget) {
  for (const CUndoStep& s : m_redo) m_bytes -= s.pixels.size();
  m_redo.clear();
  m_bytes += step.pixels.size();
  m_undo.push_back(std::move(step));
  Trim(budget);
}

void CUndoHistory::Trim(size_t budget) {
  // Push has just emptied the redo list, so the undo steps hold every byte.
  while (m_bytes > budget && !m_undo.empty()) {
    m_bytes -= m_undo.front().pixels.size();
    m_undo.pop_front();
  }
}

void CUndoHistory::Clear() {
  m_undo.clear();
  m_redo.clear();
  m_bytes = 0;
}

CUndoStep* CUndoHistory::MoveToRedo() {
  if (m_undo.empty()) return nullptr;
  m_redo.push_back(std::move(m_undo.back()));
  m_undo.pop_back();
  return &m_redo.back();
}

CUndoStep* CUndoHistory::MoveToUndo() {
  if (m_redo.empty()) return nullptr;
  m_undo.push_back(std::move(m_redo.back()));
  m_redo.pop_back();
  return &m_undo.back();
}
