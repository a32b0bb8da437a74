#include "document/QuickImport.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <optional>

#include "document/QuiltorDoc.h"
#include "document/SettingsStore.h"

namespace {

// Calls visit(name, stat) for each entry of folder in the order the file
// system lists them, "." and ".." left out. Symbolic links are not followed,
// so a link back up the tree cannot make a search run forever.
template <class Visit>
void ListFolder(const QString& folder, Visit visit) {
  const QByteArray local = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
  DIR* dir = ::opendir(local.constData());
  if (!dir) return;
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    QByteArray full = local;
    if (!full.endsWith('/')) full += '/';
    full += name;
    struct stat st;
    if (::lstat(full.constData(), &st) != 0) continue;
    visit(QFile::decodeName(name), st);
  }
  ::closedir(dir);
}

void FindNewest(const QString& folder, std::optional<time_t>& best, QString& bestPath) {
  ListFolder(folder, [&](const QString& name, const struct stat& st) {
    const QString path = folder + QLatin1Char('/') + name;
    if (S_ISDIR(st.st_mode)) {
      FindNewest(path, best, bestPath);
    } else if (!best || st.st_mtime > *best) {
      best = st.st_mtime;
      bestPath = path;
    }
  });
}

}  // namespace

QString QuickImport(CQuiltorDoc& doc, CSettingsStore& settings, const QString& folderField) {
  QString folder = folderField;
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  if (!QFileInfo(folder).isDir()) {
    doc.Host().MessageBox(QStringLiteral("Path does not exist"), IDocumentHost::Buttons::Ok);
    return {};
  }
  WriteSetting(settings, Settings::kImportPath, folder);

  std::optional<time_t> best;
  QString bestName;
  ListFolder(folder, [&](const QString& name, const struct stat& st) {
    if (!name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) return;
    struct stat target = st;
    // A link to a picture counts as that picture.
    if (S_ISLNK(st.st_mode) && ::stat(QFile::encodeName(folder + name).constData(), &target) != 0)
      return;
    if (!S_ISREG(target.st_mode)) return;
    if (!best || target.st_mtime > *best) {
      best = target.st_mtime;
      bestName = name;
    }
  });
  if (!best) return {};
  const QString path = folder + bestName;
  doc.ImportFile(path);
  return path;
}

QString FindMostRecentSubfolder(CSettingsStore& settings, const QString& rootField) {
  QString root = rootField;
  if (root.isEmpty()) return {};
  if (root.endsWith(QLatin1Char('/'))) root.chop(1);
  WriteSetting(settings, Settings::kImportRoot, root);

  std::optional<time_t> best;
  QString bestPath;
  FindNewest(root, best, bestPath);
  if (!best) return {};
  const QString folder = bestPath.left(bestPath.lastIndexOf(QLatin1Char('/')));
  WriteSetting(settings, Settings::kImportPath, folder);
  return folder;
}
