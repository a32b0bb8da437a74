// The two pane dialogs as templates: every control with its id, caption and
// rectangle in dialog units, and the conversion of dialog units to pixels
// with the dialog font's base units. Widget-free, so it is tested on its own.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <span>

// Horizontal base unit: the average width of the 52 letters, rounded as the
// platform does; vertical: the font's height. A dialog unit is a quarter of
// the first and an eighth of the second.
struct DialogBaseUnits {
  int x = 6;
  int y = 13;
};

DialogBaseUnits BaseUnitsOf(const QFont& font);
// a × b / c rounded half away from zero, as the platform's MulDiv.
int MulDiv(int a, int b, int c);
// Each of x, y, width and height is converted on its own, as a dialog
// template's controls are created.
QRect DialogToPixels(const QRect& dialogUnits, DialogBaseUnits units);
QSize DialogToPixels(const QSize& dialogUnits, DialogBaseUnits units);
// The font both templates name, "MS Shell Dlg" at 8 points (a sans-serif
// stand-in where the family is missing).
QFont PaneFont();

enum class ControlKind {
  Label,
  Button,
  ColorButton,
  Edit,
  ListBox,
  BarSlider,
  TrackSlider,
  Frame,
  CheckBox
};

struct TemplateControl {
  int id;  // kNoId for labels
  ControlKind kind;
  const char* caption;
  int x, y, width, height;  // dialog units
  const char* objectName;
};

inline constexpr int kNoId = -1;

namespace SlicerId {
inline constexpr int k256x2 = 1014;
inline constexpr int k128x4 = 1015;
inline constexpr int k512 = 1000;
inline constexpr int k1024 = 1002;
inline constexpr int k2048 = 1012;
inline constexpr int kRotating512 = 1010;
inline constexpr int kRotating1024 = 1011;
inline constexpr int kSliceFolder = 1004;
inline constexpr int kSliceFolderBrowse = 1005;
inline constexpr int kExportAndLock = 1003;
inline constexpr int kLock = 1007;
inline constexpr int kCancelLock = 1006;
inline constexpr int kImportFolder = 1008;
inline constexpr int kImportFolderBrowse = 1009;
inline constexpr int kQuickImport = 1013;
inline constexpr int kAutoImport = 1019;
inline constexpr int kSendToSd = 1020;
inline constexpr int kImportRoot = 1016;
inline constexpr int kImportRootBrowse = 1017;
inline constexpr int kFindMostRecent = 1018;
inline constexpr int kHistory = 1001;
}  // namespace SlicerId

namespace MergerId {
inline constexpr int kBrushSize = 1008;
inline constexpr int kSoftness = 1009;
inline constexpr int kOpacity = 1010;
inline constexpr int kFill = 1002;
inline constexpr int kFillOpacity = 1005;
inline constexpr int kInvert = 1003;
inline constexpr int kEdgeBlur = 1006;
inline constexpr int kEdgeBlurEdit = 1004;
inline constexpr int kMatchColours = 1011;
inline constexpr int kApplyMerge = 1001;
inline constexpr int kCancelMerge = 1000;
inline constexpr int kPreviewPlaceholder = 1015;
inline constexpr int kPreview = 123456;
}  // namespace MergerId

// Dialog 312 (Slicer) and 310 (Merger), controls from top to bottom.
std::span<const TemplateControl> SlicerTemplate();
std::span<const TemplateControl> MergerTemplate();
inline constexpr QSize kSlicerTemplateSize{144, 580};
inline constexpr QSize kMergerTemplateSize{165, 371};
