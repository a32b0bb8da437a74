#include "document/UserDiffData.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString WithoutTrailingSlash(QString path) {
  if (path.endsWith(u'/') && path.size() > 1) path.chop(1);
  return path;
}

void MakeFolder(const QString& path) {
  if (!QFileInfo(path).isDir()) QDir().mkdir(path);
}
}  // namespace

CUserDiffData::CUserDiffData(const QString& applicationFolder, const QString& subFolder)
    : m_applicationFolder(applicationFolder), m_subFolder(subFolder) {
  if (m_subFolder.endsWith(u'/')) m_subFolder.chop(1);
  EnsureFolders();
}

QString CUserDiffData::GetDocumentsFolder() {
  if (!m_documentsFolder.isEmpty()) return m_documentsFolder;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && (QFileInfo(documents).isDir() || QDir().mkpath(documents)))
    return documents;
  // Without a documents folder the user's home stands in for it.
  QString home = QDir::homePath();
  m_documentsFolder = home.isEmpty() ? QStringLiteral("/") : home;
  return m_documentsFolder;
}

QString CUserDiffData::GetPath() {
  const QString documents = WithoutTrailingSlash(GetDocumentsFolder());
  // The root folder "/" would otherwise give "//Quiltor".
  const QString base = documents == u'/' ? QString() : documents;
  QString path = base + u'/' + m_applicationFolder;
  if (!m_subFolder.isEmpty()) path += u'/' + m_subFolder;
  return path;
}

QString CUserDiffData::EnsureFolders() {
  const QString path = GetPath();
  if (QFileInfo::exists(path)) return path;
  const QString documents = WithoutTrailingSlash(GetDocumentsFolder());
  const QString base = (documents == u'/' ? QString() : documents) + u'/' + m_applicationFolder;
  MakeFolder(base);
  if (!m_subFolder.isEmpty()) {
    const qsizetype slash = m_subFolder.indexOf(u'/');
    if (slash >= 0) MakeFolder(base + u'/' + m_subFolder.left(slash));
    MakeFolder(path);
  }
  return path;
}
