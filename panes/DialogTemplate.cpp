#include "panes/DialogTemplate.h"

#include <QFontMetrics>
#include <cstdlib>

namespace {

using K = ControlKind;

constexpr TemplateControl kSlicer[] = {
    {kNoId, K::Label, "Zooming", 7, 7, 28, 8, "zoomingLabel"},
    {SlicerId::k256x2, K::Button, "256x2", 7, 19, 50, 14, "slice256x2"},
    {SlicerId::k128x4, K::Button, "128x4", 59, 19, 50, 14, "slice128x4"},
    {kNoId, K::Label, "Normal", 7, 37, 23, 8, "normalLabel"},
    {SlicerId::k512, K::ColorButton, "512", 7, 49, 50, 14, "slice512"},
    {SlicerId::k1024, K::Button, "1024", 7, 67, 50, 14, "slice1024"},
    {SlicerId::k2048, K::Button, "2048", 6, 85, 50, 14, "slice2048"},
    {kNoId, K::Label, "Rotating", 7, 104, 28, 8, "rotatingLabel"},
    {SlicerId::kRotating512, K::Button, "512", 7, 116, 50, 14, "rotating512"},
    {SlicerId::kRotating1024, K::Button, "1024", 7, 134, 50, 14, "rotating1024"},
    {kNoId, K::Label, "Slice folder", 7, 157, 36, 8, "sliceFolderLabel"},
    {SlicerId::kSliceFolder, K::Edit, "", 7, 170, 101, 14, "sliceFolder"},
    {SlicerId::kSliceFolderBrowse, K::Button, "...", 109, 170, 17, 14, "sliceFolderBrowse"},
    {SlicerId::kExportAndLock, K::ColorButton, "Export && Lock", 7, 189, 62, 20, "exportAndLock"},
    // Send to Stable Diffusion under Export && Lock; the controls below it moved down by 17.
    {SlicerId::kSendToSd, K::Button, "Send to Stable Diffusion", 7, 211, 105, 14, "sendToSd"},
    {SlicerId::kLock, K::Button, "Lock", 7, 228, 63, 14, "lock"},
    {SlicerId::kCancelLock, K::Button, "Cancel Lock", 7, 245, 63, 14, "cancelLock"},
    {kNoId, K::Label, "Quick Import", 7, 265, 42, 8, "quickImportLabel"},
    {kNoId, K::Label, "Img2img folder", 8, 278, 48, 8, "importFolderLabel"},
    {SlicerId::kImportFolder, K::Edit, "", 7, 290, 101, 14, "importFolder"},
    {SlicerId::kImportFolderBrowse, K::Button, "...", 109, 289, 17, 14, "importFolderBrowse"},
    {SlicerId::kQuickImport, K::ColorButton, "Quick Import", 7, 309, 66, 19, "quickImport"},
    // Auto Import under Quick Import; the controls below it moved down by 14.
    {SlicerId::kAutoImport, K::CheckBox, "Auto Import", 7, 331, 80, 10, "autoImport"},
    {kNoId, K::Label, "Img2img root (*if using subfolders)", 9, 347, 112, 8, "importRootLabel"},
    {SlicerId::kImportRoot, K::Edit, "", 7, 358, 101, 14, "importRoot"},
    {SlicerId::kImportRootBrowse, K::Button, "...", 109, 358, 17, 14, "importRootBrowse"},
    {SlicerId::kFindMostRecent, K::Button, "Find Most Recent subfolder", 7, 375, 105, 14,
     "findMostRecent"},
    {kNoId, K::Label, "Slice history:", 7, 397, 42, 8, "historyLabel"},
    {SlicerId::kHistory, K::ListBox, "", 7, 409, 98, 113, "history"},
};

constexpr TemplateControl kMerger[] = {
    {kNoId, K::Label, "Brush Size", 7, 7, 34, 8, "brushSizeLabel"},
    {MergerId::kBrushSize, K::BarSlider, "", 7, 16, 87, 15, "brushSize"},
    {kNoId, K::Label, "Softness", 7, 33, 29, 8, "softnessLabel"},
    {MergerId::kSoftness, K::BarSlider, "", 7, 43, 87, 15, "softness"},
    {kNoId, K::Label, "Opacity", 7, 59, 26, 8, "opacityLabel"},
    {MergerId::kOpacity, K::BarSlider, "", 7, 70, 87, 15, "opacity"},
    {MergerId::kFill, K::Button, "Fill", 7, 91, 50, 14, "fill"},
    {MergerId::kFillOpacity, K::Button, "Fill Opacity", 57, 91, 50, 14, "fillOpacity"},
    {MergerId::kInvert, K::Button, "Invert", 108, 91, 50, 14, "invert"},
    {kNoId, K::Label, "Edge Blur", 7, 121, 31, 8, "edgeBlurLabel"},
    {MergerId::kEdgeBlur, K::TrackSlider, "", 7, 132, 87, 15, "edgeBlur"},
    {MergerId::kEdgeBlurEdit, K::Edit, "", 95, 132, 20, 14, "edgeBlurValue"},
    {MergerId::kMatchColours, K::CheckBox, "Match Colours", 7, 151, 80, 10, "matchColours"},
    {MergerId::kApplyMerge, K::ColorButton, "Apply Merge", 7, 168, 68, 20, "applyMerge"},
    {MergerId::kCancelMerge, K::Button, "Cancel Merge", 7, 193, 68, 14, "cancelMerge"},
    {MergerId::kPreviewPlaceholder, K::Frame, "", 7, 222, 151, 124, "previewPlaceholder"},
};

}  // namespace

std::span<const TemplateControl> SlicerTemplate() { return kSlicer; }
std::span<const TemplateControl> MergerTemplate() { return kMerger; }

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const long long product = static_cast<long long>(a) * b;
  const long long half = std::llabs(static_cast<long long>(c)) / 2;
  const bool negative = (product < 0) != (c < 0);
  const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(c));
  return static_cast<int>(negative ? -magnitude : magnitude);
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogBaseUnits units;
  units.x = (letters / 26 + 1) / 2;
  units.y = metrics.height();
  if (units.x < 1) units.x = 1;
  if (units.y < 1) units.y = 1;
  return units;
}

QRect DialogToPixels(const QRect& r, DialogBaseUnits u) {
  return QRect(MulDiv(r.x(), u.x, 4), MulDiv(r.y(), u.y, 8), MulDiv(r.width(), u.x, 4),
               MulDiv(r.height(), u.y, 8));
}

QSize DialogToPixels(const QSize& s, DialogBaseUnits u) {
  return QSize(MulDiv(s.width(), u.x, 4), MulDiv(s.height(), u.y, 8));
}

QFont PaneFont() {
  QFont font(QStringLiteral("MS Shell Dlg"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}
