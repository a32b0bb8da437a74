// The recently-used file list of File > Recent File: four entries, newest
// first, kept in "Recent File List"/"File1".."File4".
#pragma once

#include <QString>
#include <QStringList>

class CSettingsStore;

class CRecentFileList {
 public:
  static constexpr int kSize = 4;

  void Load(const CSettingsStore& settings);
  void Save(CSettingsStore& settings) const;
  // Puts path first; an entry for the same file moves up instead of repeating.
  void Add(const QString& path);
  void Remove(const QString& path);
  const QStringList& Entries() const { return m_entries; }
  // The menu text of entry index: "&1 name" with the path shortened for the
  // menu, keeping the file name whole.
  QString MenuText(int index) const;

 private:
  QStringList m_entries;
};
