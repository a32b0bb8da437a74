// Import Returned Slices: every file whose name carries one of our slice
// names is laid back on its square, merged as a single import would be with
// the full mask and applied, one undoable step per file. Several files for
// one square: the newest wins. Squares go from the oldest export to the
// newest, so where they overlap the later one lies on top.
#pragma once

#include <QDateTime>
#include <QStringList>
#include <vector>

#include "document/CampaignJob.h"
#include "document/ReturnedName.h"

class CBatchImport : public ICampaignJob {
 public:
  explicit CBatchImport(CQuiltorDoc& doc) : m_doc(doc), m_square(doc) {}

  // Files and folders (a folder gives the files in it). false, with the
  // reason logged and nothing changed, when the batch is refused.
  bool Start(const QStringList& paths);
  int Total() const override { return static_cast<int>(m_queue.size()); }
  int Done() const override { return static_cast<int>(m_next); }
  bool Step() override;
  void Finish(bool cancelled) override;
  int Imported() const { return m_imported; }

 private:
  struct Entry {
    QString path;
    ReturnedName name;
    QDateTime modified;
  };
  void Skip(const QString& path, const QString& reason);

  CQuiltorDoc& m_doc;
  CSquareKeeper m_square;
  std::vector<Entry> m_queue;
  size_t m_next = 0;
  QStringList m_skipped;  // log lines, written before the summary
  int m_imported = 0;
};
