// The application's own folder under the user's documents folder, created on
// demand. Made on the stack, asked for the path and dropped.
#pragma once

#include <QString>

class CUserDiffData {
 public:
  // The sub-folder may be a relative path ("a/b"); one trailing "/" is dropped.
  CUserDiffData(const QString& applicationFolder, const QString& subFolder);
  virtual ~CUserDiffData() = default;

  QString GetDocumentsFolder();
  QString GetPath();
  // GetPath after creating the application folder, the first level of a
  // nested sub-folder and the full path where missing (failures ignored).
  QString EnsureFolders();

 private:
  QString m_applicationFolder;
  QString m_subFolder;
  QString m_documentsFolder;  // set only by the fallback
};
