// The Slicer pane's folder logic, outside the widgets so that the pane and the
// console share it.
#pragma once

#include <QString>

class CQuiltorDoc;
class CSettingsStore;

// Imports the newest "*.png" directly in folderField (the img2img folder
// field) into doc. Shows "Path does not exist" when the folder is missing;
// stores the folder with a final separator as "ImportPath". Returns the
// imported file, or an empty string when there was none.
QString QuickImport(CQuiltorDoc& doc, CSettingsStore& settings, const QString& folderField);

// Finds the folder of the most recently modified file anywhere under
// rootField (the img2img root field) and stores it as "ImportPath"; stores the
// root as "ImportRoot". Both are written without a final separator. Returns
// the folder, or an empty string when no file was found.
QString FindMostRecentSubfolder(CSettingsStore& settings, const QString& rootField);
