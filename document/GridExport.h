// Export Slice Grid: every square of a slice grid exported as Export and
// Lock exports it (its coordinates in the name, the ControlNet slice beside
// it, the counter moving on, nothing overwritten), none of them locked.
#pragma once

#include <QStringList>
#include <vector>

#include "document/CampaignJob.h"
#include "document/SliceGrid.h"

class CGridExport : public ICampaignJob {
 public:
  explicit CGridExport(CQuiltorDoc& doc) : m_doc(doc), m_square(doc) {}

  // side: the square in picture pixels (128 and 256 are exported enlarged as
  // the Slicer does); an empty region is the whole picture. false, with the
  // reason logged and nothing written, when the export is refused.
  bool Start(int side, int overlap, QRect region);
  int Total() const override { return static_cast<int>(m_squares.size()); }
  int Done() const override { return static_cast<int>(m_next); }
  bool Step() override;
  void Finish(bool cancelled) override;
  // The exported files' names, in order.
  const QStringList& Names() const { return m_names; }

 private:
  CQuiltorDoc& m_doc;
  CSquareKeeper m_square;
  std::vector<QPoint> m_squares;
  size_t m_next = 0;
  int m_side = 0;
  bool m_failed = false;
  QStringList m_names;
};
