// Command ids shared by menus, toolbars, context menus, prompts and tests.
// Every QAction carries its id as data, so anything can find it by id.
#pragma once

namespace Cmd {
// File
inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileSave = 57603;
inline constexpr int kFileSaveAs = 57604;
inline constexpr int kFilePrint = 57607;
inline constexpr int kFilePrintDirect = 57608;
inline constexpr int kFilePrintPreview = 57609;
inline constexpr int kFileMruFirst = 57616;  // 57616..57631, the recent files
inline constexpr int kFileMruLast = 57631;
inline constexpr int kAppExit = 57665;
inline constexpr int kExport512 = 32781;
inline constexpr int kExport1024 = 32782;
// CN Shadow
inline constexpr int kOpenShadow = 32776;
inline constexpr int kRemoveShadow = 32777;
inline constexpr int kCopyMainToShadow = 32783;
// Edit
inline constexpr int kEditUndo = 57643;
inline constexpr int kEditRedo = 57644;
inline constexpr int kExportAndLock = 32786;
inline constexpr int kQuickImport = 32787;
inline constexpr int kApplyMerge = 32788;
inline constexpr int kCancelMerge = 32789;
inline constexpr int kCancelLock = 32790;
// View
inline constexpr int kViewToolbars = 59392;
inline constexpr int kViewStatusBar = 59393;
inline constexpr int kEraser = 32771;
inline constexpr int kBrush = 32772;
inline constexpr int kShowFrame = 32775;
inline constexpr int kMagnify = 32785;
inline constexpr int kZoomIn = 32800;
inline constexpr int kZoomOut = 32801;
inline constexpr int kZoomFit = 32802;
inline constexpr int kZoomActual = 32803;
inline constexpr int kZoomToSlice = 32804;
inline constexpr int kZoomToSliceWhenMerging = 32805;
// Application looks 205..219 (see the look table of the main frame)
inline constexpr int kLookWin2000 = 205;
inline constexpr int kLookOfficeXP = 206;
inline constexpr int kLookWindowsXP = 207;
inline constexpr int kLookOffice2003 = 208;
inline constexpr int kLookVS2005 = 209;
inline constexpr int kLookVS2008 = 210;
inline constexpr int kLookOffice2007Blue = 215;
inline constexpr int kLookOffice2007Black = 216;
inline constexpr int kLookOffice2007Silver = 217;
inline constexpr int kLookOffice2007Aqua = 218;
inline constexpr int kLookWindows7 = 219;
inline constexpr int kLookFirst = 205;
inline constexpr int kLookLast = 219;
// Tools
inline constexpr int kAutoSendToClipboard = 32774;
inline constexpr int kOpenSliceFolder = 32784;
inline constexpr int kAutoImport = 32792;
inline constexpr int kSendToSd = 32793;
inline constexpr int kSdSettings = 32794;
inline constexpr int kImportReturnedSlices = 32795;
inline constexpr int kExportSliceGrid = 32796;
inline constexpr int kShowCoverage = 32797;
// Help
inline constexpr int kAppAbout = 57664;
inline constexpr int kHomePage = 32791;
// Output pane context menu
inline constexpr int kOutputCopy = 57634;
inline constexpr int kOutputClear = 57632;
inline constexpr int kOutputHide = 149;
// Toolbar customisation: not built on this platform (no customisation dialog).
inline constexpr int kCustomize = 126;
}  // namespace Cmd

// Pane ids (QDockWidget object names are built from them).
namespace PaneId {
inline constexpr int kSlicer = 133;
inline constexpr int kOutput = 149;
inline constexpr int kMerger = 150;
}  // namespace PaneId

// Resource ids of menus, toolbars and cursors.
namespace ResId {
inline constexpr int kMainMenu = 128;
inline constexpr int kViewContextMenu = 119;  // registered as "Edit"
inline constexpr int kOutputContextMenu = 182;
inline constexpr int kStandardToolbar = 129;
inline constexpr int kMergerToolbar = 183;
inline constexpr int kCursorBrush = 316;
inline constexpr int kCursorEraser = 317;
inline constexpr int kCursorPainting = 318;
}  // namespace ResId
