#include "document/QuiltorDoc.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdint>

#include "document/MergeLimits.h"
#include "document/UserDiffData.h"

CQuiltorDoc::CQuiltorDoc(IDocumentHost& host, CQuiltorServices& services)
    : m_host(host), m_services(services) {
  m_title = QStringLiteral("Untitled");  // as after File New
  m_brush.m_brushSize = MergeLimits::kBrushSize.start;
  m_brush.m_softness = MergeLimits::kSoftness.start;
  m_brush.m_opacity = MergeLimits::kOpacity.start;
  m_brush.Build();
  m_autoSend = ReadSetting(m_services.settings, Settings::kAutoSendToClipboard);
  CUserDiffData folders(QStringLiteral("Quiltor"), QStringLiteral("slices"));
  m_sliceFolder = ReadSetting(m_services.settings, Settings::kSlicePath, folders.GetPath());
}

// --- slice placement and modes

void CQuiltorDoc::CreateSlice(int size, int rotating, int zoom) {
  if (!m_mainImage.HasPixels()) return;
  if (m_merge) {
    // Yes keeps the blend already in the main image, which applies the merge.
    if (m_host.MessageBox(QStringLiteral("Apply current merge?"), IDocumentHost::Buttons::YesNo) !=
        IDocumentHost::Answer::Yes)
      return;
    CommitMergeStep();
  } else if (m_locked) {
    Log(QStringLiteral("Error: Currently in Lock mode"));
    return;
  }
  m_sliceWidth = m_sliceHeight = size;
  m_sliceScreenLeft = m_sliceScreenTop = 0;
  m_sliceScreenWidth = m_sliceScreenHeight = size;
  m_sliceX = (static_cast<int>(m_mainImage.m_width) - size) / 2;
  m_sliceY = (static_cast<int>(m_mainImage.m_height) - size) / 2;
  m_locked = 0;
  m_merge = 0;
  m_rotating = rotating ? 1 : 0;
  if (!m_rotating) m_angle = 0;
  m_zoom = zoom;
  m_host.Repaint();
}

void CQuiltorDoc::PlaceSlice(int x, int y, int width, int height) {
  PlaceSquare(x, y, width, height, false, 0);
}

void CQuiltorDoc::PlaceRotatedSlice(int x, int y, int width, int height, int angle) {
  PlaceSquare(x, y, width, height, true, angle);
}

void CQuiltorDoc::PlaceSquare(int x, int y, int width, int height, bool rotating, int angle) {
  if (!m_mainImage.HasPixels()) return;
  if (m_locked) {
    Log(QStringLiteral("Error: In lock/merge mode"));
    return;
  }
  m_sliceX = x;
  m_sliceY = y;
  m_sliceWidth = width;
  m_sliceHeight = height;
  m_merge = 0;
  m_rotating = rotating ? 1 : 0;
  m_angle = angle;
  if (rotating) m_startAngle = angle;
  m_zoom = width == 256 ? 2 : width == 128 ? 4 : 1;
  m_host.Repaint();
}

void CQuiltorDoc::MoveSlice(int x, int y) {
  if (m_locked || m_merge) return;
  m_sliceX = x < 0 ? 0 : x;
  m_sliceY = y < 0 ? 0 : y;
  // An image narrower than the square still ends at main width - slice width,
  // which is then negative.
  const int64_t w = m_mainImage.m_width, h = m_mainImage.m_height;
  if (int64_t{m_sliceX} + m_sliceWidth > w) m_sliceX = static_cast<int>(w - m_sliceWidth);
  if (int64_t{m_sliceY} + m_sliceHeight > h) m_sliceY = static_cast<int>(h - m_sliceHeight);
}

void CQuiltorDoc::CentreSliceAt(int x, int y) {
  if (m_locked || m_merge) return;
  // Any int may arrive here (console, history names); MoveSlice clamps further.
  auto corner = [](int centre, int side) {
    return static_cast<int>(std::clamp<int64_t>(int64_t{centre} - side / 2, INT32_MIN, INT32_MAX));
  };
  MoveSlice(corner(x, m_sliceWidth), corner(y, m_sliceHeight));
}

void CQuiltorDoc::SetSliceAngle(int angle) {
  if (m_locked || m_merge) return;
  if (angle < 0) angle += 360;
  if (angle > 360) angle -= 360;
  m_angle = angle;
}

void CQuiltorDoc::LockSlice() {
  if (!m_locked) {
    m_locked = 1;
    Log(QStringLiteral("Lock current place"));
    if (MatchColoursOn())
      m_mergeSession.SetReferenceColours(CMergeSession::MeasureReference(m_mainImage, Place()));
  }
  m_host.Repaint();
}

void CQuiltorDoc::CancelLock() {
  if (m_locked) {
    m_locked = 0;
    Log(QStringLiteral("Lock mode cancelled"));
  }
  m_host.Repaint();
}

void CQuiltorDoc::NewDocument() {
  m_mainImage.Clear();
  m_shadowImage.Clear();
  m_mergeSession.DropAll();
  ResetSliceState();
  ClearHistory();
  SetJournalBase(QString());
  m_ledger.Close();
  m_host.Repaint();
}

size_t CQuiltorDoc::MergeBufferBytes() const { return m_mergeSession.BufferBytes(); }

void CQuiltorDoc::ResetSliceState() {
  m_sliceCounter = 1;
  m_dragState = 0;
  m_merge = 0;
  m_rotating = 0;
  m_locked = 0;
  m_sliceX = m_sliceY = 0;
  m_sliceScreenLeft = m_sliceScreenTop = 0;
  m_angle = m_startAngle = 0;
  m_zoom = 1;
}

void CQuiltorDoc::ToggleShowFrame() {
  m_showFrame = m_showFrame ? 0 : 1;
  m_host.Repaint();
}

// --- the merge's brush and edge blur

bool CQuiltorDoc::SetBrush(int size, double softness, int opacity, BrushStep step) {
  if (!MergeLimits::kBrushSize.Holds(size) || !MergeLimits::kSoftness.Holds(softness) ||
      !MergeLimits::kOpacity.Holds(opacity))
    return false;
  m_brush.m_brushSize = size;
  m_brush.m_softness = softness;
  m_brush.m_opacity = opacity;
  if (step == BrushStep::Done) {
    m_brushPreview = 0;
    m_brush.Build();
    m_host.Repaint();
  } else if (m_merge == 1) {
    m_brushPreview = 1;
    m_host.Repaint();
  }
  return true;
}

void CQuiltorDoc::FillMaskAtOpacity(int opacityPercent) {
  FillMask(FillOpacityValue(opacityPercent));
}

void CQuiltorDoc::SetEdgeBlur(int blur, EdgeBlurStep step) {
  m_services.edgeBlur = blur;
  if (step == EdgeBlurStep::Typed) return;
  RefreshMerge();
  if (step == EdgeBlurStep::Done) UpdateMaskPreview();
}

// --- the framework's document state

void CQuiltorDoc::SetPathName(const QString& path) {
  m_pathName = path;
  SetTitle(QFileInfo(path).fileName());
}

void CQuiltorDoc::SetTitle(const QString& title) {
  m_title = title;
  m_host.TitleChanged(title);
}

void CQuiltorDoc::ReportOutOfMemory(const QString& what) {
  const QString text = QStringLiteral("Error: Not enough memory to ") + what;
  Log(text);
  m_host.MessageBox(text, IDocumentHost::Buttons::Ok);
}
