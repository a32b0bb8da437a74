#include "app/RecentFileList.h"

#include <QFileInfo>

#include "document/SettingsStore.h"

namespace {
const QString kSection = QStringLiteral("Recent File List");

QString EntryName(int index) { return QStringLiteral("File%1").arg(index + 1); }

bool SameFile(const QString& a, const QString& b) {
  return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}
}  // namespace

void CRecentFileList::Load(const CSettingsStore& settings) {
  m_entries.clear();
  for (int i = 0; i < kSize; ++i) {
    const QString path = settings.GetProfileString(kSection, EntryName(i), QString());
    if (!path.isEmpty()) m_entries.append(path);
  }
}

void CRecentFileList::Save(CSettingsStore& settings) const {
  for (int i = 0; i < kSize; ++i)
    settings.WriteProfileString(kSection, EntryName(i),
                                i < m_entries.size() ? m_entries[i] : QString());
}

void CRecentFileList::Add(const QString& path) {
  if (path.isEmpty()) return;
  Remove(path);
  m_entries.prepend(QFileInfo(path).absoluteFilePath());
  while (m_entries.size() > kSize) m_entries.removeLast();
}

void CRecentFileList::Remove(const QString& path) {
  m_entries.removeIf([&](const QString& entry) { return SameFile(entry, path); });
}

QString CRecentFileList::MenuText(int index) const {
  if (index < 0 || index >= m_entries.size()) return {};
  QString shown = m_entries[index];
  constexpr int kMaxShown = 60;
  if (shown.size() > kMaxShown) {
    const QString name = QFileInfo(shown).fileName();
    const qsizetype keep = qMax<qsizetype>(0, kMaxShown - name.size() - 4);
    shown = shown.left(keep) + QStringLiteral(".../") + name;
  }
  shown.replace(u'&', QStringLiteral("&&"));
  return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}
