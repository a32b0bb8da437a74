// The recovery journal: while the document holds unsaved changes, every
// change to the main image is appended to a file in the per-user state folder
// before the operation returns, so that work survives a crash or a power cut.
//
// A journal names the picture its records apply to (path, size, modification
// time and pixel size), then holds one record per change: the rectangle, its
// 24-bit pixels after the change (raw deflate, level 1) and the slice state.
// Every record is framed with its length and a CRC-32 and flushed with fsync,
// so a cut file still yields every record before the cut. Beside each journal
// a lock file holds the owner's process id and an flock while it runs; a
// journal whose lock nobody holds is an orphan of a program that died.
#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

struct JournalSlice {
  QString folder;
  int counter = 1;
  int x = 0, y = 0, width = 0, height = 0;
  int rotating = 0, angle = 0, zoom = 1;
};

struct JournalBase {
  QString imagePath;     // the file the records apply to
  QString documentPath;  // the document's path name (may be empty)
  int64_t fileSize = -1;
  int64_t fileTimeNs = 0;
  uint32_t width = 0, height = 0;
};

// The size and modification time (nanoseconds) of a file; false when there
// is none.
bool StatJournalFile(const QString& path, int64_t& size, int64_t& timeNs);

struct JournalRecord {
  // kCompact: every change since the journal began, in one rectangle.
  enum Kind : uint8_t { kApply = 1, kUndo = 2, kRedo = 3, kCompact = 4 };
  uint8_t kind = kApply;
  int left = 0, top = 0, right = 0, bottom = 0;  // main-image pixels, exclusive
  JournalSlice slice;
  std::vector<uint8_t> pixels;  // 24-bit rows of the rectangle after the change
};

class CRecoveryJournal {
 public:
  CRecoveryJournal();
  // Closes the files and leaves them; only End removes them.
  ~CRecoveryJournal();
  CRecoveryJournal(const CRecoveryJournal&) = delete;
  CRecoveryJournal& operator=(const CRecoveryJournal&) = delete;

  // QStandardPaths::AppLocalDataLocation + "/recovery".
  static QString DefaultFolder();
  void SetFolder(const QString& folder) { m_folder = folder; }
  QString Folder() const;

  bool IsOpen() const { return m_fd >= 0; }
  const QString& Path() const { return m_path; }

  // Starts a new journal (lock, header, fsync); false when it can't be written.
  bool Begin(const JournalBase& base);
  // Appends one record with rect's pixels read from a 24-bit picture of
  // pictureWidth pixels per row; returns after fsync. false on failure.
  bool Append(uint8_t kind, int left, int top, int right, int bottom, const JournalSlice& slice,
              const uint8_t* picture, int pictureWidth);
  // Bytes in the journal file; 0 when none is open.
  int64_t Size() const;
  // Rewrites the journal as base's header and one kCompact record of rect:
  // into a new file, fsync'd, then renamed over the journal, so that a crash
  // meanwhile leaves the old journal whole. false (the old one still in use)
  // on failure.
  bool Compact(const JournalBase& base, int left, int top, int right, int bottom,
               const JournalSlice& slice, const uint8_t* picture, int pictureWidth);
  // Test hook: runs between writing the compacted file and renaming it.
  static void SetCompactionHook(void (*hook)());
  // The work is saved or given up: the journal and its lock go.
  void End();
  // Closes the files and leaves them as a crash would.
  void Abandon();
  // Continues an orphan journal as this program's own: cut after goodEnd
  // (its last undamaged record), renamed, locked, open for appending.
  bool Adopt(const QString& orphan, int64_t goodEnd);

  // Journals in folder whose program no longer runs, newest first.
  static QStringList Orphans(const QString& folder);
  // Removes a journal and its lock file.
  static void Discard(const QString& journalPath);
  static QString LockPathOf(const QString& journalPath);

 private:
  bool CreateLock(const QString& journalPath);
  void CloseFiles();
  bool WriteAll(const uint8_t* data, size_t size);
  // The file's magic, version and header frame into m_record.
  void EncodeHeader(const JournalBase& base);
  // One framed record appended to m_record; false when it can't be encoded.
  bool EncodeRecord(uint8_t kind, int left, int top, int right, int bottom,
                    const JournalSlice& slice, const uint8_t* picture, int pictureWidth);

  struct CompressorDeleter {
    void operator()(void* c) const;
  };
  std::unique_ptr<void, CompressorDeleter> m_compressor;
  QString m_folder;
  QString m_path;
  int m_fd = -1;
  int m_lockFd = -1;
  std::vector<uint8_t> m_raw;     // the rectangle's rows, gathered
  std::vector<uint8_t> m_record;  // the framed record as written
};

class CJournalReader {
 public:
  // false when the file is not a journal or its header is damaged.
  bool Open(const QString& path);
  const JournalBase& Base() const { return m_base; }
  // The next complete, undamaged record; false at the end of the file or at
  // the first damaged record.
  bool Next(JournalRecord& record);
  // The file offset after the header and the records Next returned.
  int64_t GoodEnd() const { return m_goodEnd; }
  // Whether Next stopped at damage rather than at the end of the file.
  bool Damaged() const { return m_damaged; }

 private:
  bool ReadFrame(uint32_t magic, std::vector<uint8_t>& payload);
  QFile m_file;
  JournalBase m_base;
  int64_t m_goodEnd = 0;
  bool m_damaged = false;
};
