// Auto Import ("Settings"/"AutoImport", off by default): while it is on and
// the square is locked or merging, the img2img folder is watched, and every
// PNG that appears there after the lock is imported as Quick Import would,
// once it is complete (its size unchanged for 300 ms and its last chunk
// IEND). Files that were there at the lock are never taken. QtCore only: the
// Slicer pane owns one and gives it its img2img field.
#pragma once

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>

class CQuiltorDoc;
class CSettingsStore;

class CAutoImport {
 public:
  // folder gives the img2img folder field's current text.
  CAutoImport(CQuiltorDoc& doc, CSettingsStore& settings, std::function<QString()> folder);
  CAutoImport(const CAutoImport&) = delete;
  CAutoImport& operator=(const CAutoImport&) = delete;

  bool IsOn() const { return m_on; }
  // Stores the option. Turned on outside a lock it waits for the next lock;
  // turned on during one, the files there now count as already there.
  void SetOn(bool on);
  // Told when the option turns itself off (a missing folder).
  void SetOnChanged(std::function<void(bool on)> changed) { m_onChanged = std::move(changed); }
  // Whether the folder is being watched now.
  bool IsWatching() const { return m_watching; }

  // One step: follows the document's lock, lists the folder when the watcher
  // saw a change or a second has passed, and imports the files that became
  // complete. The timers call it.
  void Poll();

  // Whether the file at path ends with a PNG's IEND chunk.
  static bool EndsWithIend(const QString& path);

  static constexpr int kStableMs = 300;
  static constexpr int kRescanMs = 1000;
  static constexpr int kTickMs = 100;

 private:
  struct Candidate {
    qint64 size = -1;
    qint64 modified = 0;
    qint64 stableSince = 0;   // clock time of the last change seen
    bool incomplete = false;  // stable, but without IEND: waits for a change
  };

  bool ShouldWatch() const;
  void StartWatching();
  void StopWatching();
  bool FolderMissing();
  void Scan();
  void Observe(const QString& name, qint64 size, qint64 modified);
  void ImportCompleteFiles();

  CQuiltorDoc& m_doc;
  CSettingsStore& m_settings;
  std::function<QString()> m_folderField;
  std::function<void(bool)> m_onChanged;
  bool m_on = false;
  bool m_watching = false;
  bool m_importing = false;  // an import (and any question it asks) under way
  bool m_scanWanted = false;
  QString m_folder;       // watched, with a final separator
  QSet<QString> m_known;  // there at the lock, or taken already
  QHash<QString, Candidate> m_candidates;
  QElapsedTimer m_clock;
  qint64 m_lastScan = 0;
  QFileSystemWatcher m_watcher;
  QTimer m_tick;
};
