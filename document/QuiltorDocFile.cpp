// Main image load, incremental save and the framework's File New, Open, Save
// and Save As.
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "document/QuiltorDoc.h"
#include "image/lib/Progress.h"

namespace {
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool FileExists(const QString& path) {
  struct stat st;
  return ::lstat(LocalPath(path).c_str(), &st) == 0;
}

// Splits a path into the stem and the extension after its last ".", the dot
// being looked for in the file name only.
void SplitExtension(const QString& path, QString& stem, QString& extension) {
  const qsizetype slash = path.lastIndexOf(u'/');
  const qsizetype dot = path.lastIndexOf(u'.');
  if (dot > slash) {
    stem = path.left(dot);
    extension = path.mid(dot + 1).toLower();
  } else {
    stem = path;
    extension.clear();
  }
}

// Sends the progress of the reading or writing done while it lives to the
// host, and the end of it when it goes.
class HostProgress {
 public:
  HostProgress(IDocumentHost& host, IDocumentHost::Work work)
      : m_host(host),
        m_work(work),
        m_scope([&host, work](double done) { return host.WorkProgress(work, done); }) {}
  ~HostProgress() { m_host.WorkProgress(m_work, -1); }
  HostProgress(const HostProgress&) = delete;
  HostProgress& operator=(const HostProgress&) = delete;
  bool Cancelled() const { return m_scope.Cancelled(); }

 private:
  IDocumentHost& m_host;
  IDocumentHost::Work m_work;
  qimg::ProgressScope m_scope;
};

QString NumberedName(const QString& folderAndName, qint64 n, const QString& extension) {
  QString name = folderAndName + QStringLiteral("_%1").arg(n, 4, 10, QLatin1Char('0'));
  if (!extension.isEmpty()) name += u'.' + extension;
  return name;
}
}  // namespace

bool CQuiltorDoc::ReadPicture(const QString& path, CISImageEx& picture) {
  return picture.Load(LocalPath(path)) == kISOk && picture.HasPixels() &&
         picture.m_bitsPerPixel == 24;
}

void CQuiltorDoc::AdoptMainImage(CISImageEx& loaded, const QString& path) {
  m_mergeSession.DropAll();
  m_mainImage.TakeOver(loaded);
  m_mainImagePath = path;
  ClearHistory();
  SetJournalBase(path);  // any journal of the picture before ends
  LoadShadowImage();
  m_displayRefresh = 1;
  OpenLedger(path);
}

void CQuiltorDoc::LoadMainImage(const QString& path) {
  CISImageEx loaded;
  if (ReadPicture(path, loaded)) AdoptMainImage(loaded, path);
}

bool CQuiltorDoc::OpenMainImage(const QString& path) {
  // An unreadable file, or an opening cancelled, leaves the document as it was.
  CISImageEx loaded;
  bool read, cancelled;
  {
    HostProgress progress(m_host, IDocumentHost::Work::Opening);
    read = ReadPicture(path, loaded);
    cancelled = progress.Cancelled();
  }
  if (!read || cancelled) {
    if (!cancelled) Log(QStringLiteral("Error: Can't read image: ") + path);
    return false;
  }
  // Logged before the shadow is fitted to the new size.
  Log(QStringLiteral("Load BG: %1 (%2,%3)").arg(path).arg(loaded.m_width).arg(loaded.m_height));
  AdoptMainImage(loaded, path);
  SetTitle(QFileInfo(path).fileName());
  return true;
}

bool CQuiltorDoc::SaveMainImage(const QString& requested) {
  QString path = requested;
  const bool numbered = !path.isEmpty();
  if (numbered) {
    Log(QStringLiteral("Saving image"));
  } else {
    QString proposed = m_title;
    for (qsizetype i = 0; i < proposed.size(); ++i)
      if (proposed[i] == u':' || proposed[i] == u'/' || proposed[i] == u'\\') {
        proposed.truncate(i);
        break;
      }
    proposed.truncate(256);
    path = m_host.GetSaveFileName(QStringLiteral("Save Image"),
                                  QStringLiteral("PNG File (*.png)|*.png|JPG File (*.jpg)|*.jpg||"),
                                  QStringLiteral("*.png"), proposed,
                                  ReadSetting(m_services.settings, Settings::kSaveFolder));
    if (path.isEmpty()) return false;
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash >= 0) WriteSetting(m_services.settings, Settings::kSaveFolder, path.left(slash));
  }
  if (!m_mainImage.HasPixels()) return false;

  bool written = false;
  {
    HostProgress progress(m_host, IDocumentHost::Work::Saving);
    if (!numbered) {
      // The dialog has asked before replacing an existing file.
      written = m_mainImage.SaveFile(LocalPath(path),
                                     CISImageEx::FileTypeFromExtension(LocalPath(path))) == kISOk;
    } else {
      written = SaveNumbered(path);
    }
  }
  if (!written) {
    Log(QStringLiteral("Error: Can't save image: ") + path);
    return true;
  }
  Log(QStringLiteral("Saved: ") + path);
  // The work is safe in the file just written: further changes journal against it.
  SetJournalBase(path);
  SetModifiedFlag(false);
  return true;
}

// Writes the main image under path if no file has that name, else under the
// next free numbered name beside it; never replaces a file. path becomes the
// name written (or the last one tried).
bool CQuiltorDoc::SaveNumbered(QString& path) {
  QString stem, extension;
  SplitExtension(path, stem, extension);
  qint64 n = 1;
  const qsizetype slash = stem.lastIndexOf(u'/');
  const qsizetype underscore = stem.lastIndexOf(u'_');
  if (underscore > slash) {
    qint64 number = 0;
    // Digits beyond the fifteenth are not read, so the number cannot overflow.
    for (qsizetype i = underscore + 1;
         i < stem.size() && i <= underscore + 15 && stem[i] >= u'0' && stem[i] <= u'9'; ++i)
      number = number * 10 + (stem[i].unicode() - u'0');
    if (number >= 1) {
      stem.truncate(underscore);
      n = number + 1;
    }
  }
  // A name without an extension names no file type: it is numbered as PNG
  // (name_0001.png), and the bare name itself is never written.
  const bool bare = extension.isEmpty();
  if (bare) extension = QStringLiteral("png");
  // The first name free now; taken for certain only by the claim below.
  QString candidate = bare ? NumberedName(stem, n++, extension) : path;
  while (FileExists(candidate)) candidate = NumberedName(stem, n++, extension);

  const uint32_t type =
      CISImageEx::FileTypeFromExtension(LocalPath(QStringLiteral("x.") + extension));
  path = candidate;
  if (type == kFileNone) return false;
  // One written file takes the first name that is still free at its turn.
  const uint32_t r =
      m_mainImage.SaveFile(LocalPath(candidate), type, qimg::SaveMode::kNoReplace, [&] {
        candidate = NumberedName(stem, n++, extension);
        return LocalPath(candidate);
      });
  path = candidate;
  return r == kISOk;
}

// --- the framework's side

bool CQuiltorDoc::SaveModified() {
  if (!m_modified) return true;
  const QString name = m_pathName.isEmpty() ? m_title : m_pathName;
  switch (m_host.MessageBox(QStringLiteral("Save changes to %1?").arg(name),
                            IDocumentHost::Buttons::YesNoCancel)) {
    case IDocumentHost::Answer::Yes:
      FileSave();
      // A save that failed or was cancelled keeps the document open.
      return !m_modified;
    case IDocumentHost::Answer::No: return true;
    default: return false;
  }
}

bool CQuiltorDoc::FileNew() {
  if (!SaveModified()) return false;
  m_pathName.clear();
  SetModifiedFlag(false);
  NewDocument();
  SetTitle(QStringLiteral("Untitled"));
  return true;
}

bool CQuiltorDoc::FileOpen(const QString& path) {
  if (!SaveModified()) return false;
  if (!OpenMainImage(path)) return false;
  SetModifiedFlag(false);
  SetPathName(path);
  return true;
}

bool CQuiltorDoc::FileSave() { return SaveMainImage(m_pathName); }

bool CQuiltorDoc::FileSaveAs() { return SaveMainImage(QString()); }
