#include "panes/PaneLayout.h"

#include <QStringView>
#include <algorithm>
#include <climits>

#include "panes/DialogTemplate.h"

namespace {

// left and right (exclusive) of a control that keeps its top and height.
void SetSpan(ControlRects& rects, int id, int left, int right) {
  auto it = rects.find(id);
  if (it == rects.end()) return;
  QRect& r = it->second;
  r = QRect(left, r.top(), std::max(0, right - left), r.height());
}

void SetRight(ControlRects& rects, int id, int right) {
  auto it = rects.find(id);
  if (it != rects.end()) SetSpan(rects, id, it->second.left(), right);
}

int LeftOr(const ControlRects& rects, int id, int fallback) {
  auto it = rects.find(id);
  return it == rects.end() ? fallback : it->second.left();
}

// The "..." button keeps its width with its right edge at right; the field
// keeps its left edge and ends where the button begins.
void LayoutFolderField(ControlRects& rects, int field, int button, int right) {
  auto b = rects.find(button);
  if (b == rects.end()) return;
  const int width = b->second.width();
  SetSpan(rects, button, right - width, right);
  SetRight(rects, field, right - width);
}

}  // namespace

int SlicerMinimumHeight(int historyTop, int rowHeight, int frameWidth) {
  return std::max(0, historyTop) + kHistoryMinimumRows * std::max(1, rowHeight) +
         2 * std::max(0, frameWidth);
}

void LayoutSlicer(ControlRects& rects, int cx, int cy) {
  using namespace SlicerId;
  int m = LeftOr(rects, k512, 10);
  SetRight(rects, k256x2, (cx - 10) / 2);
  SetSpan(rects, k128x4, (cx - 10) / 2, cx - 10);
  SetSpan(rects, k512, m, cx - m);
  for (int id : {k1024, k2048, kRotating512, kRotating1024, kExportAndLock, kSendToSd, kQuickImport,
                 kAutoImport, kFindMostRecent, kLock})
    SetRight(rects, id, cx - m);
  m = LeftOr(rects, kCancelLock, m);
  SetSpan(rects, kCancelLock, m, cx - m);
  LayoutFolderField(rects, kSliceFolder, kSliceFolderBrowse, cx - m);
  LayoutFolderField(rects, kImportFolder, kImportFolderBrowse, cx - m);
  LayoutFolderField(rects, kImportRoot, kImportRootBrowse, cx - m);
  auto history = rects.find(kHistory);
  if (history != rects.end()) {
    const int top = history->second.top();
    history->second = QRect(0, top, std::max(0, cx), std::max(0, cy - top));
  }
}

void LayoutMerger(ControlRects& rects, int cx) {
  using namespace MergerId;
  const int m = LeftOr(rects, kCancelMerge, 10);
  SetSpan(rects, kCancelMerge, m, cx - m);
  SetRight(rects, kApplyMerge, cx - m);
  SetRight(rects, kMatchColours, cx - m);
  int editWidth = 0;
  if (auto edit = rects.find(kEdgeBlurEdit); edit != rects.end()) {
    editWidth = edit->second.width();
    SetSpan(rects, kEdgeBlurEdit, cx - m - editWidth, cx - m);
  }
  SetSpan(rects, kEdgeBlur, m, cx - m - editWidth - m / 2);
  for (int id : {kBrushSize, kSoftness, kOpacity}) SetSpan(rects, id, m, cx - m);
  SetSpan(rects, kFill, m, cx / 3 - m / 6);
  SetSpan(rects, kFillOpacity, m / 2 + cx / 3, m / 2 + cx / 3 + cx / 3);
  SetSpan(rects, kInvert, 2 * (cx / 3 + m / 2), cx - m);
  if (auto preview = rects.find(kPreview); preview != rects.end()) {
    const int side = std::max(0, cx - 2 * m);
    preview->second = QRect(m, preview->second.top(), side, side);
  }
}

int ParseLeadingInteger(QStringView text) {
  qsizetype i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long value = 0;
  const long long limit = negative ? static_cast<long long>(INT_MAX) + 1 : INT_MAX;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    value = std::min(limit, value * 10 + (text[i].unicode() - u'0'));
  return static_cast<int>(negative ? -value : value);
}
