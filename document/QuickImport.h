// The Slicer's Quick Import and "Find Most Recent subfolder", as free
// functions so that the pane and the console share them.
#pragma once

#include <QString>

class CQuiltorDoc;
class CSettingsStore;

enum class QuickImportResult;

// Imports the newest PNG of the img2img folder into the document.
QuickImportResult QuickImport(CQuiltorDoc& doc, CSettingsStore& settings,
                              const QString& folderField);
// The folder of the most recently modified file under the root, or empty.
QString FindMostRecentSubfolder(CSettingsStore& settings, const QString& rootField);
