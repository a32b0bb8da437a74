#include "document/AutoImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <vector>

#include "document/QuiltorDoc.h"
#include "document/SettingsStore.h"

namespace {

QString WithFinalSeparator(QString folder) {
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

// The PNG files directly in folder (links to files count) with size and
// modification time in milliseconds.
template <class Visit>
void ListPngs(const QString& folder, Visit visit) {
  const QFileInfoList entries =
      QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
  for (const QFileInfo& info : entries) {
    if (!info.fileName().endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) continue;
    visit(info.fileName(), info.size(), info.lastModified().toMSecsSinceEpoch());
  }
}

}  // namespace

CAutoImport::CAutoImport(CQuiltorDoc& doc, CSettingsStore& settings,
                         std::function<QString()> folder)
    : m_doc(doc), m_settings(settings), m_folderField(std::move(folder)) {
  m_clock.start();
  m_tick.setInterval(kTickMs);
  QObject::connect(&m_tick, &QTimer::timeout, &m_tick, [this] { Poll(); });
  QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher, [this] {
    m_scanWanted = true;
    Poll();
  });
  m_on = ReadSetting(m_settings, Settings::kAutoImport) != 0;
  if (m_on) m_tick.start();
}

void CAutoImport::SetOn(bool on) {
  WriteSetting(m_settings, Settings::kAutoImport, on ? 1 : 0);
  if (on == m_on) return;
  m_on = on;
  if (on) {
    m_tick.start();
    Poll();
  } else {
    m_tick.stop();
    StopWatching();
  }
}

bool CAutoImport::ShouldWatch() const {
  return m_on && m_doc.m_mainImage.HasPixels() && (m_doc.m_locked || m_doc.m_merge);
}

// The folder is gone or was never there: said once, and the option goes off.
bool CAutoImport::FolderMissing() {
  const QString field = m_folderField ? m_folderField() : QString();
  if (!field.isEmpty() && QFileInfo(WithFinalSeparator(field)).isDir()) return false;
  m_doc.Host().AddOutputLine(QStringLiteral("Error: Img2img folder does not exist: ") + field);
  SetOn(false);
  if (m_onChanged) m_onChanged(false);
  return true;
}

void CAutoImport::StartWatching() {
  if (FolderMissing()) return;
  m_folder = WithFinalSeparator(m_folderField());
  m_known.clear();
  m_candidates.clear();
  ListPngs(m_folder, [this](const QString& name, qint64, qint64) { m_known.insert(name); });
  m_watcher.addPath(QDir::cleanPath(m_folder));
  m_watching = true;
  m_lastScan = m_clock.elapsed();
  m_scanWanted = false;
}

void CAutoImport::StopWatching() {
  if (!m_watcher.directories().isEmpty()) m_watcher.removePaths(m_watcher.directories());
  m_watching = false;
  m_known.clear();
  m_candidates.clear();
  m_folder.clear();
}

void CAutoImport::Poll() {
  if (m_importing) return;
  if (!ShouldWatch()) {
    if (m_watching) StopWatching();
    return;
  }
  // A new folder typed in counts as a new start: what it holds is old.
  if (m_watching && m_folderField && WithFinalSeparator(m_folderField()) != m_folder)
    StopWatching();
  if (!m_watching) {
    StartWatching();
    return;
  }
  const qint64 now = m_clock.elapsed();
  if (m_scanWanted || now - m_lastScan >= kRescanMs) {
    if (!QFileInfo(m_folder).isDir()) {
      StopWatching();
      FolderMissing();
      return;
    }
    Scan();
  } else {
    // Between listings only the files being watched grow.
    for (auto it = m_candidates.begin(); it != m_candidates.end();) {
      const QFileInfo info(m_folder + it.key());
      if (!info.exists()) {
        it = m_candidates.erase(it);
        continue;
      }
      const QString name = it.key();
      ++it;
      Observe(name, info.size(), info.lastModified().toMSecsSinceEpoch());
    }
  }
  ImportCompleteFiles();
}

void CAutoImport::Scan() {
  m_scanWanted = false;
  m_lastScan = m_clock.elapsed();
  QSet<QString> present;
  ListPngs(m_folder, [&](const QString& name, qint64 size, qint64 modified) {
    if (m_known.contains(name)) return;
    present.insert(name);
    Observe(name, size, modified);
  });
  for (auto it = m_candidates.begin(); it != m_candidates.end();)
    it = present.contains(it.key()) ? std::next(it) : m_candidates.erase(it);
}

void CAutoImport::Observe(const QString& name, qint64 size, qint64 modified) {
  const qint64 now = m_clock.elapsed();
  auto it = m_candidates.find(name);
  if (it == m_candidates.end()) {
    m_candidates.insert(name, Candidate{size, modified, now, false});
    return;
  }
  if (it->size != size || it->modified != modified) *it = Candidate{size, modified, now, false};
}

void CAutoImport::ImportCompleteFiles() {
  const qint64 now = m_clock.elapsed();
  struct Ready {
    QString name;
    qint64 modified;
  };
  std::vector<Ready> ready;
  for (auto it = m_candidates.begin(); it != m_candidates.end(); ++it) {
    Candidate& c = *it;
    if (c.incomplete || now - c.stableSince < kStableMs) continue;
    if (c.size > 0 && EndsWithIend(m_folder + it.key()))
      ready.push_back({it.key(), c.modified});
    else
      c.incomplete = true;  // looked at again once it changes
  }
  // Oldest first: each later file replaces the merge of the one before.
  std::sort(ready.begin(), ready.end(), [](const Ready& a, const Ready& b) {
    return a.modified != b.modified ? a.modified < b.modified : a.name < b.name;
  });
  for (const Ready& r : ready) {
    if (!ShouldWatch() || !m_watching) break;
    m_candidates.remove(r.name);
    m_known.insert(r.name);
    const QString path = m_folder + r.name;
    m_doc.Host().AddOutputLine(QStringLiteral("Auto Import: ") + path);
    // As Quick Import: the folder is remembered, the document decides.
    WriteSetting(m_settings, Settings::kImportPath, m_folder);
    m_importing = true;
    m_doc.ImportFile(path);
    m_importing = false;
  }
}

bool CAutoImport::EndsWithIend(const QString& path) {
  // Length 0, "IEND" and its fixed CRC.
  static const char kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', '\xAE', '\x42', '\x60', '\x82'};
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() < 8 + 12) return false;
  if (!file.seek(file.size() - 12)) return false;
  const QByteArray tail = file.read(12);
  return tail.size() == 12 && std::equal(tail.begin(), tail.end(), kEnd);
}
