// The ledger of a whole-picture campaign: a JSON file beside the picture,
// "NAME.quiltor.json", listing every exported slice (file, square, angle,
// zoom, time) and, once merged, when and from which returned file. It is
// written whole and atomically after every change, so a killed program
// loses nothing, and found again for the picture and its numbered saves.
#pragma once

#include <QDateTime>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

struct LedgerSlice {
  QString file;  // the exported file's name
  bool rotating = false;
  int x = 0, y = 0, width = 0, height = 0, angle = 0, zoom = 1;
  QDateTime exported;
  QDateTime merged;  // invalid until merged
  QString returned;  // the returned file's path once merged
  // The square's corners in picture pixels, turned by the angle about its
  // centre as the rotating square is; and whether a point lies inside it.
  std::array<QPointF, 4> Corners() const;
  bool Contains(QPointF point) const;
  bool SameSquare(const LedgerSlice& o) const {
    return rotating == o.rotating && x == o.x && y == o.y && width == o.width &&
           height == o.height && (!rotating || angle == o.angle);
  }
};

class CCampaignLedger {
 public:
  using LogLine = std::function<void(const QString&)>;

  // The ledger's path for a picture: its numbered saves ("NAME_0007.png")
  // share the ledger of NAME.
  static QString PathFor(const QString& picturePath);

  // Reads the picture's ledger, or starts an empty one (written with the
  // first slice). A ledger that can't be read is renamed aside to ".broken"
  // with a log line; it never keeps the picture from opening.
  void Open(const QString& picturePath, int width, int height, const LogLine& log);
  void Close();
  bool IsOpen() const { return !m_path.isEmpty(); }
  const QString& Path() const { return m_path; }
  const std::vector<LedgerSlice>& Slices() const { return m_slices; }
  // The Slicer's history: the file names, " \u2713" after a merged one's.
  QStringList HistoryNames() const;
  // The newest slice whose square holds the point; null when none does.
  const LedgerSlice* SliceAt(QPointF point) const;

  void NoteExport(const LedgerSlice& slice);
  // The newest not yet merged slice of that square (else the newest of it)
  // is marked merged from returned.
  void NoteMerged(const LedgerSlice& square, const QString& returned);

 private:
  bool Read(const QByteArray& bytes);
  void Write() const;

  QString m_path;
  QString m_picture;
  int m_width = 0, m_height = 0;
  std::vector<LedgerSlice> m_slices;
};
