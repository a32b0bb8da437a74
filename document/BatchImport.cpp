#include "document/BatchImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <tuple>

namespace {
// The square a name stands for; its export number is not part of it, so a
// square exported twice is still laid once.
using SquareKey = std::tuple<bool, int, int, int, int, int>;
SquareKey KeyOf(const ReturnedName& n) {
  return {n.rotating, n.x, n.y, n.width, n.height, n.rotating ? n.angle : 0};
}
}  // namespace

void CBatchImport::Skip(const QString& path, const QString& reason) {
  m_skipped << QStringLiteral("Skipped: %1 (%2)").arg(path, reason);
}

bool CBatchImport::Start(const QStringList& paths) {
  CQuiltorDoc& d = m_doc;
  if (!d.m_mainImage.HasPixels()) {
    d.Host().AddOutputLine(QStringLiteral("Error: No picture to import the slices into"));
    return false;
  }
  if (d.m_merge || d.m_locked) {
    d.Host().AddOutputLine(QStringLiteral(
        "Error: Import Returned Slices refused: apply or cancel the merge or lock first"));
    return false;
  }
  QStringList files;
  for (const QString& p : paths) {
    const QFileInfo info(p);
    if (!info.isDir()) {
      files << p;
      continue;
    }
    const QDir dir(p);
    for (const QString& f : dir.entryList(QDir::Files, QDir::Name)) files << dir.filePath(f);
  }
  const int64_t pictureWidth = d.m_mainImage.m_width, pictureHeight = d.m_mainImage.m_height;
  std::map<SquareKey, Entry> newest;
  for (const QString& f : files) {
    Entry e{f, ParseReturnedName(f), QFileInfo(f).lastModified()};
    if (!e.name.valid) {
      Skip(f, QStringLiteral("no slice name"));
      continue;
    }
    if (e.name.x >= pictureWidth || e.name.y >= pictureHeight ||
        int64_t{e.name.x} + e.name.width <= 0 || int64_t{e.name.y} + e.name.height <= 0) {
      Skip(f, QStringLiteral("its square lies outside the picture"));
      continue;
    }
    auto [it, inserted] = newest.try_emplace(KeyOf(e.name), e);
    if (inserted) continue;
    Entry& kept = it->second;
    const bool newer =
        e.modified > kept.modified || (e.modified == kept.modified && e.path > kept.path);
    if (newer) std::swap(kept, e);
    Skip(e.path, QStringLiteral("a newer file for its square: ") + kept.path);
  }
  for (auto& [key, e] : newest) m_queue.push_back(std::move(e));
  std::stable_sort(m_queue.begin(), m_queue.end(), [](const Entry& a, const Entry& b) {
    return std::tie(a.name.number, a.modified) < std::tie(b.name.number, b.modified);
  });
  return true;
}

bool CBatchImport::Step() {
  if (m_next >= m_queue.size()) return false;
  const Entry& e = m_queue[m_next++];
  CQuiltorDoc& d = m_doc;
  if (e.name.rotating)
    d.PlaceRotatedSlice(e.name.x, e.name.y, e.name.width, e.name.height, e.name.angle);
  else
    d.PlaceSlice(e.name.x, e.name.y, e.name.width, e.name.height);
  // Only this file's picture is read now: the batch holds one returned
  // slice beside the one the document keeps.
  CISImageEx picture;
  const uint32_t read = picture.Load(QFile::encodeName(e.path).toStdString());
  if (read != kISOk || !picture.HasPixels() || picture.m_bitsPerPixel != 24) {
    Skip(e.path, QStringLiteral("can't read it"));
    return true;
  }
  const QString refused = d.MergeReturnedPicture(picture, e.path);
  if (!refused.isEmpty()) {
    Skip(e.path, refused);
    return true;
  }
  d.ApplyMerge();
  ++m_imported;
  return true;
}

void CBatchImport::Finish(bool cancelled) {
  m_square.Restore();
  IDocumentHost& host = m_doc.Host();
  for (const QString& line : m_skipped) host.AddOutputLine(line);
  if (cancelled)
    host.AddOutputLine(
        QStringLiteral("Cancelled: %1 slices not imported").arg(m_queue.size() - m_next));
  host.AddOutputLine(
      QStringLiteral("Imported %1 slices, skipped %2").arg(m_imported).arg(m_skipped.size()));
  m_doc.Host().Repaint();
}
